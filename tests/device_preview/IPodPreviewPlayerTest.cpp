// The preview player on audio made by ffmpeg at test time. Where this machine cannot play audio
// (asked of Qt Multimedia directly), the assertions that need playback skip with the reason;
// the failure paths hold everywhere.

#include "appmodel/MediaPreviewPlayer.h"

#include "device/IPodEject.h"
#include "support/AudioFixtures.h"
#include "support/AudioPlayback.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// True when some descriptor of this process is open on path.
bool fileIsOpen(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            return true;
    }
    return false;
}

class IPodPreviewPlayerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(work.isValid()); }

    // A sine tone of the given length, encoded by the ffmpeg CLI.
    QString makeTone(const QString& name, double seconds, const QString& folder = {}) {
        const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        if (ffmpeg.isEmpty())
            return {};
        const QString path = (folder.isEmpty() ? work.path() : folder) + QLatin1Char('/') + name;
        QProcess process;
        process.start(
            ffmpeg,
            {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
             QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
             QStringLiteral("-i"),
             QStringLiteral("sine=frequency=440:sample_rate=44100:duration=%1").arg(seconds),
             QStringLiteral("-ac"), QStringLiteral("2"), path});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            return {};
        return path;
    }

    // Skips unless ffmpeg is installed and this machine can play the audio it made at path.
    static void requirePlayback(const QString& path) {
        if (!TestSupport::hasFFmpegTool())
            GTEST_SKIP() << "ffmpeg is not installed";
        ASSERT_FALSE(path.isEmpty()) << "ffmpeg could not make the test audio";
        if (const auto why = TestSupport::audioPlaybackUnavailable(path))
            GTEST_SKIP() << "this machine cannot play audio: " << qPrintable(*why);
    }

    // Loads path and waits until the player reports it loaded.
    static void loadAndWait(MediaPreviewPlayer& player, const QString& path) {
        QSignalSpy ready(&player, &IPodPreviewPlayer::ready);
        QSignalSpy failed(&player, &IPodPreviewPlayer::failed);
        ASSERT_TRUE(player.load(path));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return ready.count() + failed.count() > 0; }));
        ASSERT_EQ(failed.count(), 0) << "the player could not load audio this machine can play";
        ASSERT_TRUE(player.isLoaded());
    }

    // The same, skipping only where the machine cannot play audio.
    static void loadOrSkip(MediaPreviewPlayer& player, const QString& path) {
        requirePlayback(path);
        if (HasFatalFailure() || IsSkipped())
            return;
        loadAndWait(player, path);
    }

    QTemporaryDir work;
};

TEST_F(IPodPreviewPlayerTest, AMissingFileCreatesNoPlayer) {
    MediaPreviewPlayer player;
    QSignalSpy failed(&player, &IPodPreviewPlayer::failed);
    EXPECT_FALSE(player.load(work.path() + QStringLiteral("/F00/ABCD.mp3")));
    EXPECT_FALSE(player.load(work.path()));
    EXPECT_FALSE(player.hasPlayer());
    EXPECT_FALSE(player.play());
    player.seek(3);
    EXPECT_EQ(player.currentTime(), 0.0);
    EXPECT_EQ(player.duration(), 0.0);
    EXPECT_EQ(failed.count(), 0);
}

TEST_F(IPodPreviewPlayerTest, NoPlayerIsCreatedWithoutAMediaBackend) {
    const QString tone = makeTone(QStringLiteral("tone.mp3"), 1);
    if (tone.isEmpty())
        GTEST_SKIP() << "ffmpeg could not make the test audio";
    const QTemporaryDir noPlugins;
    const QByteArray saved[] = {qgetenv("QT_MEDIA_BACKEND"), qgetenv("GST_PLUGIN_PATH_1_0"),
                                qgetenv("GST_PLUGIN_SYSTEM_PATH_1_0")};
    qunsetenv("QT_MEDIA_BACKEND");
    qunsetenv("GST_PLUGIN_PATH_1_0");
    qputenv("GST_PLUGIN_SYSTEM_PATH_1_0", QFile::encodeName(noPlugins.path()));
    MediaPreviewPlayer player;
    const bool available = MediaPreviewPlayer::backendAvailable();
    const bool loaded = player.load(tone);
    const char* names[] = {"QT_MEDIA_BACKEND", "GST_PLUGIN_PATH_1_0", "GST_PLUGIN_SYSTEM_PATH_1_0"};
    for (int i = 0; i < 3; ++i) {
        if (saved[i].isNull())
            qunsetenv(names[i]);
        else
            qputenv(names[i], saved[i]);
    }
    EXPECT_FALSE(available);
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(player.hasPlayer());
}

TEST_F(IPodPreviewPlayerTest, ADamagedFileFailsCleanly) {
    if (!MediaPreviewPlayer::backendAvailable())
        GTEST_SKIP() << "no Qt Multimedia backend with GStreamer's playbin is installed";
    const QString path = work.path() + QStringLiteral("/ABCD.mp3");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("this is not audio\n").repeated(200));
    }
    MediaPreviewPlayer player;
    QSignalSpy ready(&player, &IPodPreviewPlayer::ready);
    QSignalSpy failed(&player, &IPodPreviewPlayer::failed);
    ASSERT_TRUE(player.load(path));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return failed.count() > 0; }));
    EXPECT_EQ(ready.count(), 0);
    EXPECT_FALSE(player.hasPlayer());
    EXPECT_FALSE(player.play());
    EXPECT_FALSE(fileIsOpen(path));
    EXPECT_EQ(IPodPreviewPlayer::failureMessage(AppLanguage::english),
              QStringLiteral("Could not play this track. Check that its audio file is available "
                             "on the iPod."));
}

TEST_F(IPodPreviewPlayerTest, SeeksAreClampedToTheTrack) {
    MediaPreviewPlayer player;
    loadOrSkip(player, makeTone(QStringLiteral("tone.mp3"), 3));
    if (HasFatalFailure() || IsSkipped())
        return;
    ASSERT_TRUE(TestSupport::waitUntil([&] { return player.duration() > 0; }));
    EXPECT_NEAR(player.duration(), 3.0, 0.3);

    player.seek(1.5);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return std::abs(player.currentTime() - 1.5) < 0.1; }));
    player.seek(-4);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return player.currentTime() == 0.0; }));
    player.seek(1e9);
    EXPECT_TRUE(TestSupport::waitUntil([&] {
        return !player.hasPlayer() || std::abs(player.currentTime() - player.duration()) < 0.05;
    }));
    player.seek(std::nan(""));
}

TEST_F(IPodPreviewPlayerTest, PlaysPausesAndEndsWithoutFailing) {
    MediaPreviewPlayer player;
    loadOrSkip(player, makeTone(QStringLiteral("short.m4a"), 0.6));
    if (HasFatalFailure() || IsSkipped())
        return;
    QSignalSpy finished(&player, &IPodPreviewPlayer::finished);
    QSignalSpy failed(&player, &IPodPreviewPlayer::failed);
    ASSERT_TRUE(player.play());
    EXPECT_TRUE(player.isPlaying());
    player.pause();
    EXPECT_FALSE(player.isPlaying());
    ASSERT_TRUE(player.play());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return finished.count() + failed.count() > 0; }));
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(player.hasPlayer());
    EXPECT_FALSE(player.isPlaying());
}

TEST_F(IPodPreviewPlayerTest, ALaterLoadCancelsTheEarlierOne) {
    const QString first = makeTone(QStringLiteral("first.mp3"), 1);
    const QString second = makeTone(QStringLiteral("second.mp3"), 4);
    // Asked before the first load, so that no event loop runs while it is still loading.
    requirePlayback(second);
    if (HasFatalFailure() || IsSkipped())
        return;
    ASSERT_FALSE(first.isEmpty());
    MediaPreviewPlayer player;
    ASSERT_TRUE(player.load(first));
    QSignalSpy ready(&player, &IPodPreviewPlayer::ready);
    loadAndWait(player, second);
    if (HasFatalFailure())
        return;
    TestSupport::drainEvents();
    EXPECT_EQ(ready.count(), 1);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return player.duration() > 0; }));
    EXPECT_NEAR(player.duration(), 4.0, 0.3);
    EXPECT_FALSE(fileIsOpen(first));
}

TEST_F(IPodPreviewPlayerTest, AStoppedPreviewLeavesTheVolumeFreeToEject) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a volume needs root";
    const QString volume = work.path() + QStringLiteral("/iPod");
    ASSERT_TRUE(QDir().mkpath(volume));
    ASSERT_EQ(
        ::mount("lorvanel-test", QFile::encodeName(volume).constData(), "tmpfs", 0, "size=4m"), 0)
        << std::strerror(errno);
    struct Unmount {
        QString path;
        ~Unmount() { ::umount2(QFile::encodeName(path).constData(), MNT_DETACH); }
    } unmount{volume};

    MediaPreviewPlayer player;
    // Asked on a file off the volume: nothing but the player under test opens the track.
    requirePlayback(makeTone(QStringLiteral("probe.mp3"), 1));
    if (HasFatalFailure() || IsSkipped())
        return;
    const QString track = makeTone(QStringLiteral("track.mp3"), 2, volume);
    ASSERT_FALSE(track.isEmpty());
    loadAndWait(player, track);
    if (HasFatalFailure())
        return;
    player.play();
    player.stop();
    EXPECT_FALSE(player.hasPlayer());
    EXPECT_FALSE(fileIsOpen(track));
    EXPECT_NO_THROW(IPodEject::eject(volume, {}));
}

} // namespace
