#include "support/FatStick.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <sys/mount.h>
#include <unistd.h>

namespace TestSupport {

bool runQuietly(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

FatStick::FatStick(const QString& mountPoint, int sizeMiB)
    : mountPoint_(mountPoint) {
    const QString mkfs = QStandardPaths::findExecutable(
        QStringLiteral("mkfs.vfat"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("fusefat")).isEmpty() ||
        mkfs.isEmpty() || !QFile::exists(QStringLiteral("/dev/fuse"))) {
        skipReason_ = QStringLiteral("needs root, /dev/fuse, fusefat and mkfs.vfat");
        return;
    }
    const QString image = mountPoint + QStringLiteral(".img");
    QFile file(image);
    if (!QDir().mkpath(mountPoint) || !file.open(QIODevice::WriteOnly) ||
        !file.resize(qint64(sizeMiB) << 20)) {
        skipReason_ = QStringLiteral("cannot make the image file");
        return;
    }
    file.close();
    if (!runQuietly(mkfs, {QStringLiteral("-n"), QStringLiteral("STICK"), image})) {
        skipReason_ = QStringLiteral("mkfs.vfat failed");
        return;
    }
    if (!runQuietly(QStringLiteral("fusefat"),
                    {QStringLiteral("-o"), QStringLiteral("rw+"), image, mountPoint})) {
        skipReason_ = QStringLiteral("fusefat cannot mount here");
        return;
    }
    mounted_ = true;
}

FatStick::~FatStick() {
    if (!mounted_)
        return;
    const QByteArray path = QFile::encodeName(mountPoint_);
    // fusefat may still be flushing the last write.
    for (int i = 0; i < 50 && ::umount2(path.constData(), 0) != 0 && errno == EBUSY; ++i)
        QThread::msleep(100);
}

} // namespace TestSupport
