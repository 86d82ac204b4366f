// Audio that an import or a tag edit cut short left in the music folders: recorded on the iPod
// before it was written, removed by the next session of that same iPod, and never on another
// volume mounted at its path.

#include "ImportFixture.h"

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
    void mountOneSong() {
        tree = std::make_unique<IPodVolume>(QStringLiteral("MA477"));
        tree->addTrack(
            {.title = QStringLiteral("Song"), .sourceFile = tone(QStringLiteral("song"), 440)});
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
    void saveAnEdit() {
        const std::unique_ptr<IPodDatabase> session = ipod->device().openDatabase();
        ASSERT_TRUE(session->updateTrackMetadata(tree->trackID(0),
                                                 {QStringLiteral("Edited"), {}, {}, {}, {}}));
        session->saveLibrary();
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
    for (const bool lostBeforeTheSave : {false, true}) {
        SCOPED_TRACE(lostBeforeTheSave ? "the iPod lost before the save" : "completed");
        ASSERT_NO_FATAL_FAILURE(mountOneSong());
        const QString old = listedFiles().value(0);
        bool lost = false;
        TransferDevice device = TransferDevice::of(ipod->device());
        const IdentityCheck real = device.verifyIdentity;
        device.verifyIdentity = [&] {
            if (lost)
                throw ImportError::disconnected();
            real();
        };
        try {
            const std::unique_ptr<IPodDatabase> session = ipod->device().openDatabase();
            IPodTransfer::rewriteTrackFile(
                tree->trackID(0), {QStringLiteral("Edited"), {}, QStringLiteral("Album"), {}, {}},
                *session, device, [&](const QString& stage, double) {
                    lost = lost || (lostBeforeTheSave && stage == ImportStage::savingLibrary);
                });
            EXPECT_FALSE(lostBeforeTheSave);
        } catch (const ImportError& error) {
            EXPECT_TRUE(lostBeforeTheSave);
            EXPECT_EQ(error.kind(), ImportError::Case::disconnected);
        }
        // The rewritten file beside the old one, which the library still lists.
        EXPECT_EQ(musicFiles().size(), lostBeforeTheSave ? 2 : 1);
        EXPECT_EQ(listedFiles().contains(old), lostBeforeTheSave);
        EXPECT_EQ(QFile::exists(ipod->mountPoint() + record), lostBeforeTheSave);

        const QStringList listed = listedFiles();
        ASSERT_NO_FATAL_FAILURE(saveAnEdit());
        EXPECT_EQ(musicFiles().join(u' ').toStdString(), listed.join(u' ').toStdString());
        EXPECT_EQ(listedFiles(), listed);
        EXPECT_FALSE(QFile::exists(ipod->mountPoint() + record));
    }
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
