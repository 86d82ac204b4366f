#include "transfer/AudioFolderScan.h"
#include "transfer/IPodTransfer.h"
#include "transfer/PosixError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

void touch(const QString& p) {
    QDir().mkpath(p.section(QLatin1Char('/'), 0, -2));
    QFile f(p);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

TEST(AudioFolderScan, FindsSupportedRegularFilesInNaturalOrder) {
    QTemporaryDir dir;
    const QString r = dir.path();
    for (const char* name : {"Track 10.mp3", "Track 2.mp3", "b/Song.FLAC", "a/x.m4a", "a/y.aiff",
                             ".hidden.mp3", ".secret/inside.mp3", "notes.txt", "c/d/deep.wav"})
        touch(r + QLatin1Char('/') + QLatin1String(name));
    ASSERT_EQ(::symlink((r + QStringLiteral("/Track 2.mp3")).toLocal8Bit().constData(),
                        (r + QStringLiteral("/link.mp3")).toLocal8Bit().constData()),
              0);
    ASSERT_EQ(::symlink((r + QStringLiteral("/c")).toLocal8Bit().constData(),
                        (r + QStringLiteral("/e")).toLocal8Bit().constData()),
              0);
    QDir().mkpath(r + QStringLiteral("/dir.mp3"));
    const QStringList found = scanAudioFolder(r, IPodTransfer::supportedExtensions);
    QStringList expected;
    for (const char* name :
         {"a/x.m4a", "b/Song.FLAC", "c/d/deep.wav", "Track 2.mp3", "Track 10.mp3"})
        expected << r + QLatin1Char('/') + QLatin1String(name);
    EXPECT_EQ(found, expected);
}

TEST(AudioFolderScan, EmptyAndMissingFolders) {
    QTemporaryDir dir;
    touch(dir.filePath(QStringLiteral("readme.txt")));
    EXPECT_TRUE(scanAudioFolder(dir.path(), IPodTransfer::supportedExtensions).isEmpty());
    EXPECT_THROW(
        scanAudioFolder(dir.filePath(QStringLiteral("gone")), IPodTransfer::supportedExtensions),
        PosixError);
}

} // namespace
