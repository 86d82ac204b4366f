// Audio that an import or a tag edit cut short left in the music folders: recorded on the iPod
// before it was written, removed by the next session of that same iPod, and never on another
// volume mounted at its path.

#include "ImportFixture.h"

#include "device/IPodStore.h"
#include "platform/LocalizedError.h"
#include "transfer/ImportError.h"
#include "transfer/TrackRewrite.h"
#include "transfer/TransferDevice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace ImportTest;
using TestSupport::IPodVolume;

namespace {

const QString record = QStringLiteral("/iPod_Control/iTunes/") + IPodDatabase::pendingFilesRecord;

class PendingAudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const QString why = whyImportsCannotRun(); !why.isEmpty())
            GTEST_SKIP() << qPrintable(why);
        ASSERT_TRUE(work.isValid());
    }
    QString tone(const QString& name, double frequency) const {
        TestSupport::ToneSpec spec;
        spec.seconds = 1.0;
        spec.codec = QStringLiteral("mp3");
        spec.frequency = frequency;
        spec.tags.title = name;
        spec.tags.album = QStringLiteral("Album");
        const QString path = work.filePath(name + QStringLiteral(".mp3"));
        EXPECT_TRUE(TestSupport::makeTone(path, spec));
        return path;
    }
    // A one-song iPod on a mounted volume; the song's file has no lyrics, so an edit rewrites it.
    void mountOneSong() { mountSongs(1); }
    void mountSongs(int count) {
        tree = std::make_unique<IPodVolume>(QStringLiteral("MA477"));
        for (int i = 0; i < count; ++i)
            tree->addTrack({.title = QStringLiteral("Song %1").arg(i),
                            .sourceFile = tone(QStringLiteral("song%1").arg(i), 440 + 110 * i)});
        tree->write();
        ipod = MountedIPod::make(FileSystem::tmpfs, *tree);
        ASSERT_TRUE(ipod);
    }
    QStringList musicFiles() const {
        QStringList files;
        const QDir music(ipod->mountPoint() + QStringLiteral("/iPod_Control/Music"));
        for (const QString& folder : music.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QString& file : QDir(music.filePath(folder)).entryList(QDir::Files))
                files.append(music.filePath(folder) + u'/' + file);
        files.sort();
        return files;
    }
    // The files the library lists, as a fresh session reads them.
    QStringList listedFiles() const {
        QStringList files = IPodDatabase(ipod->mountPoint()).allTrackFileURLs().values();
        files.sort();
        return files;
    }
    // The next operation: a session of the same iPod that saves an edit.
    void saveAnEdit(int track = 0) {
        const std::unique_ptr<IPodDatabase> session = ipod->device().openDatabase();
        ASSERT_TRUE(session->updateTrackMetadata(tree->trackID(track),
                                                 {QStringLiteral("Edited"), {}, {}, {}, {}}));
        session->saveLibrary();
    }
    // The iPod's identity check, failing once lost says so or, with afterTheSave, once the
    // iTunesDB on the volume is no longer the one the session opened.
    IdentityCheck losingCheck(const bool& lost, bool afterTheSave) const {
        const QString path = ipod->mountPoint() + QStringLiteral("/iPod_Control/iTunes/iTunesDB");
        const auto database = [path] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        return [&lost, afterTheSave, database, opened = database(), real = ipod->device()] {
            if (lost || (afterTheSave && database() != opened))
                throw ImportError::disconnected();
            real.verifyIdentity();
        };
    }

    QTemporaryDir work;
    std::unique_ptr<IPodVolume> tree;
    std::unique_ptr<MountedIPod> ipod;
};

} // namespace

TEST_F(PendingAudioTest, AnImportCutShortAfterTheCopyLeavesNothingPastTheNextSave) {
    enum class Cut { none, cancelled, lost };
    const struct {
        const char* what;
        Cut cut;
        bool leavesAFile; // until the next save
    } cases[] = {
        {"completed", Cut::none, false},
        {"cancelled as the save begins", Cut::cancelled, false},
        {"the iPod lost as the save begins", Cut::lost, true},
    };
    const QString source = tone(QStringLiteral("new"), 550);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(mountOneSong());
        const auto lost = std::make_shared<std::atomic<bool>>(false);
        IPodTransfer::ImportTarget target = importTarget(ipod->device());
        target.verifyIdentity = [device = ipod->device(), lost] {
            if (*lost)
                throw ImportError::disconnected(); // as the unplugged iPod's check says
            device.verifyIdentity();
        };
        const Outcome outcome =
            runImport({source}, target, TransferSettings::defaults(), [&](const ImportProgress& p) {
                if (p.stage != ImportStage::savingLibrary)
                    return;
                if (c.cut == Cut::cancelled)
                    Task::currentState()->cancel();
                else if (c.cut == Cut::lost)
                    *lost = true;
            });
        EXPECT_EQ(bool(outcome.error), c.cut != Cut::none);
        EXPECT_EQ(musicFiles().size(), c.cut == Cut::none || c.leavesAFile ? 2 : 1);
        EXPECT_EQ(QFile::exists(ipod->mountPoint() + record), c.leavesAFile);

        const QStringList listed = listedFiles();
        ASSERT_NO_FATAL_FAILURE(saveAnEdit());
        EXPECT_EQ(musicFiles().join(u' ').toStdString(), listed.join(u' ').toStdString());
        EXPECT_EQ(listedFiles(), listed);
        EXPECT_FALSE(QFile::exists(ipod->mountPoint() + record));
    }
}

TEST_F(PendingAudioTest, ATagEditCutShortAfterTheRewriteLeavesNothingPastTheNextSave) {
    enum class Lost { never, beforeTheSave, afterTheSave };
    for (const Lost when : {Lost::never, Lost::beforeTheSave, Lost::afterTheSave}) {
        SCOPED_TRACE(int(when));
        ASSERT_NO_FATAL_FAILURE(mountOneSong());
        const QString old = listedFiles().value(0);
        bool lost = false;
        TransferDevice device = TransferDevice::of(ipod->device());
        device.verifyIdentity = losingCheck(lost, when == Lost::afterTheSave);
        try {
            IPodDatabase session(ipod->mountPoint(), std::nullopt, {}, device.verifyIdentity);
            IPodTransfer::rewriteTrackFile(
                tree->trackID(0), {QStringLiteral("Edited"), {}, QStringLiteral("Album"), {}, {}},
                session, device, [&](const QString& stage, double) {
                    lost = lost ||
                           (when == Lost::beforeTheSave && stage == ImportStage::savingLibrary);
                });
            EXPECT_NE(when, Lost::beforeTheSave);
        } catch (const ImportError& error) {
            EXPECT_EQ(when, Lost::beforeTheSave);
            EXPECT_EQ(error.kind(), ImportError::Case::disconnected);
        }
        // The rewritten file beside the old one, which the library lists until it is saved.
        EXPECT_EQ(musicFiles().size(), when == Lost::never ? 1 : 2);
        EXPECT_EQ(listedFiles().contains(old), when == Lost::beforeTheSave);
        EXPECT_EQ(QFile::exists(ipod->mountPoint() + record), when != Lost::never);

        const QStringList listed = listedFiles();
        ASSERT_NO_FATAL_FAILURE(saveAnEdit());
        EXPECT_EQ(musicFiles().join(u' ').toStdString(), listed.join(u' ').toStdString());
        EXPECT_EQ(listedFiles(), listed);
        EXPECT_FALSE(QFile::exists(ipod->mountPoint() + record));
    }
}

// A tag edit whose rewritten file fits on the iPod but whose save after it does not (the track's
// new cover and the new databases) is refused before the file is written, and nothing on the iPod
// changes; with room for both, the edit is saved and the old file goes.
TEST_F(PendingAudioTest, ATagEditIsRefusedBeforeItsRewriteWhenTheSaveAfterItCannotFit) {
    ASSERT_NO_FATAL_FAILURE(mountOneSong());
    const auto edit = [&] {
        const std::unique_ptr<IPodDatabase> session = ipod->device().openDatabase();
        IPodTransfer::rewriteTrackFile(
            tree->trackID(0), {QStringLiteral("Edited"), {}, QStringLiteral("Album"), {}, {}},
            *session, TransferDevice::of(ipod->device()), {});
    };
    ASSERT_NO_THROW(edit());
    ASSERT_EQ(musicFiles().size(), 1);
    const qint64 rewritten = (QFileInfo(musicFiles().first()).size() + 4095) / 4096 * 4096;
    for (const bool enough : {false, true}) {
        SCOPED_TRACE(enough ? "room for both" : "room for the file only");
        ipod = MountedIPod::make(FileSystem::tmpfs, *tree);
        ASSERT_TRUE(ipod);
        ASSERT_FALSE(
            TestVolumes::fillVolume(ipod->mountPoint(), rewritten + (enough ? 256 << 10 : 8 << 10))
                .isEmpty());
        const QStringList old = musicFiles();
        const auto before = ipod->snapshot();
        QString failure;
        try {
            edit();
        } catch (const std::exception& error) {
            failure = localizedDescription(error, AppLanguage::english);
        }
        EXPECT_EQ(failure.toStdString(),
                  enough ? ""
                         : "There is not enough free space on the iPod to rewrite this song with "
                           "its new details, so the edit was not made. Delete some songs from the "
                           "iPod, then try again.");
        if (enough) {
            EXPECT_EQ(musicFiles(), listedFiles());
            EXPECT_NE(musicFiles(), old);
            EXPECT_EQ(tracksOn(ipod->mountPoint()).value(0).title, QStringLiteral("Edited"));
        } else {
            EXPECT_EQ(TestSupport::differences(before, ipod->snapshot()).join(u' ').toStdString(),
                      "");
        }
    }
}

// The iPod lost right after a delete's save, before the delete removed the track's file: the
// next session removes it.
TEST_F(PendingAudioTest, ADeleteCutShortAfterItsSaveLeavesNothingPastTheNextSave) {
    ASSERT_NO_FATAL_FAILURE(mountSongs(2));
    const QString deleted = IPodDatabase(ipod->mountPoint()).fileURL(tree->trackID(0));
    const bool lost = false;
    const IdentityCheck check = losingCheck(lost, true);
    {
        IPodDatabase session(ipod->mountPoint(), std::nullopt, {}, check);
        const QStringList files = session.deleteTracks({tree->trackID(0)}).values();
        ASSERT_EQ(files, QStringList{deleted});
        session.saveLibrary();
        EXPECT_THROW(IPodStore::removeTrackFiles(files, check), ImportError);
    }
    EXPECT_EQ(musicFiles().size(), 2);
    EXPECT_FALSE(listedFiles().contains(deleted));
    EXPECT_TRUE(QFile::exists(ipod->mountPoint() + record));

    ASSERT_NO_FATAL_FAILURE(saveAnEdit(1));
    EXPECT_EQ(musicFiles(), listedFiles());
    EXPECT_EQ(musicFiles().size(), 1);
    EXPECT_FALSE(QFile::exists(ipod->mountPoint() + record));
}

// A session of one iPod settles nothing on another volume mounted at its path, whenever the
// swap comes; that volume's own session settles its own record.
TEST_F(PendingAudioTest, ARecordIsSettledOnlyOnTheVolumeThatCarriesIt) {
    const QString leftover = QStringLiteral("iPod_Control/Music/F00/libgpod900001.mp3");
    IPodVolume tree(QStringLiteral("MA477"));
    tree.addTrack({.title = QStringLiteral("Song")});
    tree.write();
    tree.writeFile(leftover, "cut short");
    tree.writeFile(record.mid(1), "Lorvanel pending audio 1\n" + leftover.toUtf8() + '\n');
    // 0: before the session settles; 1 to 4: at each of its identity checks.
    for (int swapAt = 0; swapAt <= 4; ++swapAt) {
        SCOPED_TRACE(swapAt);
        ipod = MountedIPod::make(FileSystem::tmpfs, tree);
        ASSERT_TRUE(ipod);
        TestSupport::TreeSnapshot swappedIn;
        // The same files, the same record: only the identity tells them apart.
        const auto swap = [&] {
            ASSERT_TRUE(ipod->swapFor(tree));
            swappedIn = ipod->snapshot();
        };
        std::optional<int> checks;
        IPodDatabase session(ipod->mountPoint(), std::nullopt, {}, [&] {
            if (checks && ++*checks == swapAt)
                swap();
            ipod->device().verifyIdentity();
        });
        checks = 0;
        if (swapAt == 0)
            swap();
        session.settlePendingFiles();
        ASSERT_FALSE(swappedIn.isEmpty());
        EXPECT_EQ(TestSupport::differences(swappedIn, ipod->snapshot()).join(u' ').toStdString(),
                  "");

        const std::optional<IPodDevice> own = IPodDevice::fromMountPoint(ipod->mountPoint());
        ASSERT_TRUE(own);
        own->openDatabase()->settlePendingFiles();
        EXPECT_FALSE(QFile::exists(ipod->mountPoint() + u'/' + leftover));
        EXPECT_TRUE(QFile::exists(ipod->mountPoint() + u'/' + tree.trackFile(0)));
        EXPECT_FALSE(QFile::exists(ipod->mountPoint() + record));
    }
}
