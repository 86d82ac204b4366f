// The fifth-generation nano's import on a whole nano volume with real MP3s made by ffmpeg: what
// it takes, what it refuses, what it skips, and that a lost device leaves the volume as it was.

#include "Nano5Volume.h"

#include "support/AudioFixtures.h"
#include "support/IPodVolume.h"
#include "support/VolumeLockHolder.h"

#include "library/IPodDatabase.h"
#include "library/Nano5Commit.h"
#include "library/Nano5Error.h"
#include "library/Nano5Playlist.h"
#include "platform/AppLanguage.h"
#include "platform/Settings.h"
#include "transfer/AudioImport.h"
#include "transfer/ImportError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using Nano5Volume::Volume;

namespace {

const QString dash = QStringLiteral(" \u2014 ");

// The import's folders land in a temporary directory of this process, so that other suites
// running beside it never show up there. Set once: GLib keeps the first one it sees.
void usePrivateTemporaryDirectory() {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/nano5-import-XXXXXX"));
    static const bool set = [] {
        qputenv("TMPDIR", QFile::encodeName(dir.path()));
        return true;
    }();
    ASSERT_TRUE(set && dir.isValid());
}

class Nano5ImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TestSupport::hasFFmpegTool())
            GTEST_SKIP() << "the ffmpeg tool is needed for the audio";
        ASSERT_TRUE(work.isValid());
        usePrivateTemporaryDirectory();
        inTempBefore = importFolders();
        volume = std::make_unique<Volume>();
    }
    void TearDown() override { volume.reset(); }

    static QStringList importFolders() {
        QStringList folders = QDir(QDir::tempPath()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        folders.removeIf([](const QString& name) { return QUuid::fromString(name).isNull(); });
        return folders;
    }
    QStringList leftInTemp() const {
        QStringList left = importFolders();
        left.removeIf([this](const QString& name) { return inTempBefore.contains(name); });
        return left;
    }
    QString input(const QString& name) const {
        QDir().mkpath(QFileInfo(work.filePath(QStringLiteral("in/") + name)).path());
        return work.filePath(QStringLiteral("in/") + name);
    }
    QString tone(const QString& name, int sampleRate = 44100,
                 const QString& codec = QStringLiteral("mp3"), double frequency = 440) const {
        TestSupport::ToneSpec spec;
        spec.seconds = 1.0;
        spec.sampleRate = sampleRate;
        spec.codec = codec;
        spec.frequency = frequency;
        spec.tags.title = QStringLiteral("Night Drive");
        spec.tags.artist = QStringLiteral("The Testers");
        spec.tags.album = QStringLiteral("Roads");
        spec.tags.albumArtist = QStringLiteral("Various");
        const QString path = input(name);
        EXPECT_TRUE(TestSupport::makeTone(path, spec)) << qPrintable(name);
        return path;
    }

    QString mountPoint() const { return QString::fromStdString(volume->mount.string()); }
    IPodTransfer::ImportTarget target() {
        IPodTransfer::ImportTarget device;
        device.mountPoint = mountPoint();
        device.verifyIdentity = [this] {
            if (unplugged)
                throw ImportError::disconnected();
        };
        device.openDatabase = [this] {
            return IPodDatabase::open(mountPoint(), volume->sysInfo,
                                      [] { return std::optional<int>(Nano5Playlist::productID); });
        };
        device.nano5SysInfoExtended = [this] { return std::optional<QByteArray>(volume->sysInfo); };
        return device;
    }
    IPodTransfer::ImportResult run(const QStringList& urls) {
        return IPodTransfer::importNano5Audio(
            urls, target(), volume->sysInfo, false, [this](const ImportProgress& value) {
                progress.append(value);
                if (unplugOnSave && value.stage == ImportStage::savingLibrary)
                    unplugged = true;
            });
    }
    QList<Track> tracks() const {
        const auto session = IPodDatabase::open(mountPoint(), volume->sysInfo, [] {
            return std::optional<int>(Nano5Playlist::productID);
        });
        return session->loadTracks();
    }
    static QString text(const ImportError& error) {
        return error.description(AppLanguages::stored());
    }

    QTemporaryDir work;
    QStringList inTempBefore;
    std::unique_ptr<Volume> volume;
    QList<ImportProgress> progress;
    bool unplugged = false;
    bool unplugOnSave = false;
};

TEST_F(Nano5ImportTest, TakesNativeMP3sAndRefusesTheRest) {
    const QString good = tone(QStringLiteral("good.mp3"));
    const QString wrongRate = tone(QStringLiteral("fast.mp3"), 48000);
    const QString wave = tone(QStringLiteral("plain.wav"), 44100, QStringLiteral("pcm_s16le"));
    const QString aacInside = input(QStringLiteral("disguised.mp3"));
    {
        TestSupport::ToneSpec spec;
        spec.seconds = 1.0;
        spec.codec = QStringLiteral("aac");
        spec.extraArgs = {QStringLiteral("-f"), QStringLiteral("adts")};
        ASSERT_TRUE(TestSupport::makeTone(aacInside, spec));
    }
    const int before = int(tracks().size());

    const QStringList failures = run({wave, good, wrongRate, aacInside}).failures;

    const QString refused = text(ImportError::nano5UnsupportedMP3());
    EXPECT_EQ(failures, QStringList({QStringLiteral("plain.wav") + dash + refused,
                                     QStringLiteral("fast.mp3") + dash + refused,
                                     QStringLiteral("disguised.mp3") + dash + refused}));
    const QList<Track> after = tracks();
    ASSERT_EQ(after.size(), before + 1);
    const Track& added = after.last();
    EXPECT_EQ(added.title, QStringLiteral("Night Drive"));
    EXPECT_EQ(added.artist, QStringLiteral("The Testers"));
    EXPECT_EQ(added.album, QStringLiteral("Roads"));
    EXPECT_EQ(added.albumArtist, QStringLiteral("Various"));
    EXPECT_NEAR(added.duration, 1.0, 0.05);

    // The accepted file's own reports, second of four.
    QList<ImportProgress> forGood;
    for (const ImportProgress& value : std::as_const(progress)) {
        if (value.fileName == QStringLiteral("good.mp3"))
            forGood.append(value);
    }
    EXPECT_EQ(forGood,
              QList<ImportProgress>(
                  {{QStringLiteral("good.mp3"), ImportStage::copying, 2, 4, 0.25},
                   {QStringLiteral("good.mp3"), ImportStage::savingLibrary, 2, 4, 1.75 / 4},
                   {QStringLiteral("good.mp3"), ImportStage::savingLibrary, 2, 4, 0.5}}));
    EXPECT_EQ(leftInTemp(), QStringList());
}

TEST_F(Nano5ImportTest, SkipsFilesAlreadyOnTheDevice) {
    const QString first = tone(QStringLiteral("a/song.mp3"));
    const QString copy = input(QStringLiteral("b/song again.mp3"));
    ASSERT_TRUE(QFile::copy(first, copy));
    const int before = int(tracks().size());

    // The same bytes twice in one run: the second is the file the first just put there.
    const IPodTransfer::ImportResult both = run({first, copy});
    EXPECT_EQ(both.failures, QStringList());
    EXPECT_EQ(both.skippedIdentical, 1);
    EXPECT_EQ(tracks().size(), before + 1);
    EXPECT_EQ(progress.last(), (ImportProgress{QStringLiteral("song again.mp3"),
                                               ImportStage::skippedIdenticalFile, 2, 2, 1.0}));

    // And in a later run, found through the library's own files; a folder gives its MP3s.
    progress.clear();
    const IPodTransfer::ImportResult again = run({input(QStringLiteral("b"))});
    EXPECT_EQ(again.failures, QStringList());
    EXPECT_EQ(again.skippedIdentical, 1);
    EXPECT_EQ(tracks().size(), before + 1);
    ASSERT_EQ(progress.size(), 2);
    EXPECT_EQ(progress.last().stage, ImportStage::skippedIdenticalFile);
    EXPECT_EQ(leftInTemp(), QStringList());
}

TEST_F(Nano5ImportTest, ALostDeviceEndsTheRunWithNothingWritten) {
    const QString song = tone(QStringLiteral("song.mp3"));
    const auto before = volume->contents();
    unplugOnSave = true; // the device goes just before the writer starts
    try {
        run({song, tone(QStringLiteral("other.mp3"), 44100, QStringLiteral("mp3"), 880)});
        ADD_FAILURE() << "the run went on without its device";
    } catch (const ImportError& error) {
        EXPECT_EQ(text(error), text(ImportError::disconnected()));
    }
    EXPECT_EQ(volume->contents(), before);
    EXPECT_EQ(leftInTemp(), QStringList());

    // Gone from the start: not even the recovery runs.
    unplugOnSave = false;
    unplugged = true;
    EXPECT_THROW(run({song}), ImportError);
    EXPECT_EQ(volume->contents(), before);
}

// A folder the import writes into that is a symbolic link, there at the start or made just
// before the nano's writer runs, is named and ends the run; nothing is written, on the volume or
// where the link leads.
TEST_F(Nano5ImportTest, AFolderThatIsALinkIsNamedAndNothingIsWritten) {
    namespace fs = std::filesystem;
    const QString song = tone(QStringLiteral("song.mp3"));
    for (const char* folder : {"iPod_Control/iTunes/iTunes Library.itlp", "iPod_Control/iTunes",
                               "iPod_Control/Music/F00"}) {
        for (const bool atStart : {true, false}) {
            SCOPED_TRACE(std::string(folder) + (atStart ? " at the start" : " at the save"));
            volume = std::make_unique<Volume>();
            QTemporaryDir outside;
            ASSERT_TRUE(outside.isValid());
            const fs::path moved = outside.path().toStdString() + "/moved";
            std::map<std::string, QByteArray> before, outsideBefore;
            const auto link = [&] {
                fs::rename(volume->mount / folder, moved);
                fs::create_symlink(moved, volume->mount / folder);
                before = volume->contents();
                outsideBefore = Nano5Volume::treeContents(moved);
            };
            if (atStart)
                link();
            try {
                IPodTransfer::importNano5Audio(
                    {song}, target(), volume->sysInfo, false, [&](const ImportProgress& value) {
                        if (!atStart && before.empty() && value.stage == ImportStage::savingLibrary)
                            link();
                    });
                ADD_FAILURE() << "the run went on";
            } catch (const ImportError& error) {
                EXPECT_EQ(text(error),
                          text(ImportError::linkedFolder(QString::fromLatin1(folder))));
            }
            EXPECT_EQ(volume->contents(), before);
            EXPECT_EQ(Nano5Volume::treeContents(moved), outsideBefore);
        }
    }
    EXPECT_EQ(leftInTemp(), QStringList());
}

TEST_F(Nano5ImportTest, AnotherProcessWritingToTheDeviceKeepsTheImportAndItsRecoveryOut) {
    const QString song = tone(QStringLiteral("song.mp3"));
    // What a cut transaction left, which the run's recovery would remove.
    Nano5Fixture::writeFile(Nano5Playlist::importTransactionFolder(volume->mount) / "junk", "x");
    const auto before = TestSupport::snapshotTree(mountPoint());
    const std::unique_ptr<QProcess> holder = TestSupport::holdVolumeLockElsewhere(mountPoint());
    ASSERT_TRUE(holder);
    try {
        run({song});
        ADD_FAILURE() << "the run went on";
    } catch (const IPodDatabaseError& error) {
        EXPECT_EQ(error.errorCase(), IPodDatabaseError::Case::deviceInUse);
    }
    EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(mountPoint())),
              QStringList());
    EXPECT_EQ(leftInTemp(), QStringList());
}

TEST_F(Nano5ImportTest, AnEmptyFolderIsAnError) {
    const QString folder = work.filePath(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile(folder + QStringLiteral("/notes.txt")).open(QIODevice::WriteOnly));
    try {
        run({folder});
        ADD_FAILURE() << "an empty import ran";
    } catch (const ImportError& error) {
        EXPECT_EQ(text(error), text(ImportError::emptyAudioFolder()));
    }
}

TEST_F(Nano5ImportTest, TheOrdinaryImportHandsANanoOver) {
    const QString song = tone(QStringLiteral("song.mp3"));
    const int before = int(tracks().size());
    EXPECT_EQ(
        IPodTransfer::importAudio({song}, target(), TransferSettings::defaults(), {}, {}).failures,
        QStringList());
    const QList<Track> after = tracks();
    ASSERT_EQ(after.size(), before + 1);
    EXPECT_EQ(after.last().title, QStringLiteral("Night Drive"));
}

TEST_F(Nano5ImportTest, ADeviceWhoseSignaturesCannotBeVerifiedIsNotWritten) {
    // Neither the checksum file nor the iTunesCDB carries a hash72 we can verify.
    QByteArray cbk = volume->database("Locations.itdb.cbk");
    cbk[20] = static_cast<char>(cbk[20] ^ 0x10);
    Nano5Fixture::writeFile(volume->itlp() / "Locations.itdb.cbk", cbk);
    const QString song = tone(QStringLiteral("song.mp3"));
    const auto before = volume->contents();
    // The refusal reads in the chosen language like every other failure line.
    Settings::shared().setValue(AppLanguages::storageKey(), QStringLiteral("zh-Hans"));
    const QStringList failures =
        IPodTransfer::importAudio({song}, target(), TransferSettings::defaults(), {}, {}).failures;
    Settings::shared().setValue(AppLanguages::storageKey(), QStringLiteral("en"));
    const QString refusal =
        Nano5Error::unsupportedDatabase().description(AppLanguage::simplifiedChinese);
    EXPECT_NE(refusal, Nano5Error::unsupportedDatabase().description(AppLanguage::english));
    EXPECT_EQ(failures, QStringList{QStringLiteral("song.mp3") + dash + refusal});
    EXPECT_EQ(volume->contents(), before);
    EXPECT_EQ(leftInTemp(), QStringList());
}

} // namespace
