#include "ExportTestSupport.h"

#include "device/IPodDevice.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace ExportTest {

QByteArray audioMD5(const QString& path, bool packets) {
    QProcess process;
    QStringList args{QStringLiteral("-nostdin"),
                     QStringLiteral("-loglevel"),
                     QStringLiteral("error"),
                     QStringLiteral("-i"),
                     path,
                     QStringLiteral("-map"),
                     QStringLiteral("0:a:0")};
    if (packets)
        args << QStringLiteral("-c") << QStringLiteral("copy");
    else
        args << QStringLiteral("-c:a") << QStringLiteral("pcm_s32le");
    args << QStringLiteral("-f") << QStringLiteral("md5") << QStringLiteral("-");
    process.start(QStringLiteral("ffmpeg"), args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput().trimmed();
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

TransferDevice deviceAt(const QString& mountPoint) {
    const std::optional<IPodDevice> device = IPodDevice::fromMountPoint(mountPoint);
    if (!device) {
        ADD_FAILURE() << "no iPod at " << mountPoint.toStdString();
        return {};
    }
    return TransferDevice::of(*device);
}

void Fixture::SetUp() {
    if (!TestSupport::hasFFmpegTool())
        GTEST_SKIP() << "the ffmpeg tool is not installed";
    ASSERT_TRUE(dir.isValid());
    ipodFileSystem = std::make_unique<TmpfsMount>(dir.filePath(QStringLiteral("ipodfs")), 64 << 20);
    if (!ipodFileSystem->isMounted())
        GTEST_SKIP() << "needs root to mount the iPod's own file system";
    // The volume's temporary folder is made on that file system.
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(ipodFileSystem->path()));
    volume = std::make_unique<TestSupport::IPodVolume>(QStringLiteral("MA477"));
    if (oldTemp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTemp);
}

QString Fixture::tone(const QString& name, const TestSupport::ToneSpec& s) {
    const QString p = path(name);
    EXPECT_TRUE(TestSupport::makeTone(p, s)) << name.toStdString();
    return p;
}

TestSupport::ToneSpec Fixture::spec(const QString& codec, double seconds) {
    TestSupport::ToneSpec s;
    s.codec = codec;
    s.seconds = seconds;
    return s;
}

int Fixture::addTrack(const QString& title, const QString& source, const QString& album,
                      bool artwork) {
    TestSupport::TrackSpec t;
    t.title = title;
    t.artist = QStringLiteral("Artist");
    t.album = album;
    t.sourceFile = source;
    t.extension = QFileInfo(source).suffix();
    t.filetype = t.extension == QLatin1String("mp3") ? QStringLiteral("MPEG audio file")
                                                     : QStringLiteral("AAC audio file");
    t.artwork = artwork;
    return volume->addTrack(t);
}

QString Fixture::cover(const QString& colour) {
    const QString p = path(QStringLiteral("cover-%1.png").arg(colour));
    if (!QFile::exists(p)) {
        EXPECT_TRUE(TestSupport::makePicture(p, 64, 64, colour));
    }
    return p;
}

} // namespace ExportTest
