#include "TestVolumes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace TestVolumes {

QString whyMountsAreUnavailable() {
    if (::geteuid() != 0)
        return QStringLiteral("mounting needs root");
    for (const char* tool : {"mount", "umount", "losetup", "mkfs.ext4"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty() &&
            QStandardPaths::findExecutable(QString::fromLatin1(tool),
                                           {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
                .isEmpty())
            return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
    }
    return {};
}

QString whyLoopImagesAreUnavailable() {
    if (QString why = whyMountsAreUnavailable(); !why.isEmpty())
        return why;
    if (::access("/dev/loop-control", R_OK | W_OK) != 0)
        return QStringLiteral("loop devices need root outside a user namespace");
    return {};
}

bool run(const QString& program, const QStringList& arguments, QString* output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(
            program, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (path.isEmpty())
        return false;
    process.start(path, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

Mount::~Mount() {
    unmount();
}

std::unique_ptr<Mount> Mount::tmpfs(const QString& path, const QString& options) {
    QDir().mkpath(path);
    std::unique_ptr<Mount> mount(new Mount);
    mount->mountPath = path;
    const QByteArray data = options.toLocal8Bit();
    if (::mount("lorvanel-test", QFile::encodeName(path).constData(), "tmpfs", 0,
                options.isEmpty() ? nullptr : data.constData()) != 0)
        return nullptr;
    mount->mounted = true;
    return mount;
}

std::unique_ptr<Mount> Mount::image(const QString& imagePath, const QString& path,
                                    const QString& loopDevice) {
    QDir().mkpath(path);
    std::unique_ptr<Mount> mount(new Mount);
    mount->mountPath = path;
    QString loop = loopDevice;
    if (loop.isEmpty()) {
        if (!run(QStringLiteral("losetup"),
                 {QStringLiteral("-f"), QStringLiteral("--show"), imagePath}, &loop))
            return nullptr;
    } else if (!run(QStringLiteral("losetup"), {loop, imagePath})) {
        return nullptr;
    }
    mount->loop = loop;
    if (::mount(QFile::encodeName(loop).constData(), QFile::encodeName(path).constData(), "ext4", 0,
                nullptr) != 0) {
        run(QStringLiteral("losetup"), {QStringLiteral("-d"), loop});
        mount->loop.clear();
        return nullptr;
    }
    mount->mounted = true;
    return mount;
}

bool Mount::remount(const QString& options) {
    unsigned long flags = MS_REMOUNT;
    if (options.split(u',').contains(QStringLiteral("ro")))
        flags |= MS_RDONLY;
    return ::mount(nullptr, QFile::encodeName(mountPath).constData(), nullptr, flags, nullptr) == 0;
}

bool Mount::unmount() {
    bool ok = true;
    if (mounted) {
        ok = ::umount2(QFile::encodeName(mountPath).constData(), 0) == 0;
        if (!ok)
            ok = ::umount2(QFile::encodeName(mountPath).constData(), MNT_DETACH) == 0;
        mounted = false;
    }
    if (!loop.isEmpty()) {
        ok = run(QStringLiteral("losetup"), {QStringLiteral("-d"), loop}) && ok;
        loop.clear();
    }
    return ok;
}

bool makeExt4Image(const QString& imagePath) {
    QFile image(imagePath);
    if (!image.open(QIODevice::WriteOnly) || !image.resize(8 * 1024 * 1024))
        return false;
    image.close();
    return run(QStringLiteral("mkfs.ext4"),
               {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-O"),
                QStringLiteral("^has_journal"), imagePath});
}

bool makeIPodTree(const QString& mountPath) {
    return QDir().mkpath(mountPath + QStringLiteral("/iPod_Control/iTunes")) &&
           QDir().mkpath(mountPath + QStringLiteral("/iPod_Control/Device"));
}

QString fillVolume(const QString& folder, qint64 left) {
    const QString path = folder + QStringLiteral("/filler");
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return {};
    const QByteArray chunk(4096, '\0');
    while (::write(fd, chunk.constData(), size_t(chunk.size())) > 0) {
    }
    ::fsync(fd);
    const off_t written = ::lseek(fd, 0, SEEK_END);
    ::ftruncate(fd, std::max<off_t>(0, written - left));
    ::close(fd);
    return path;
}

} // namespace TestVolumes
