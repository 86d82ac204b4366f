// A folder of the iPod that is a symbolic link: the library still reads through it, but nothing
// is written through it (nor beside it), whether the link was there at the open or came later.

#include "WriteTestSupport.h"
#include "library/DatabasePreflight.h"
#include "support/IPodVolume.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>
#include <memory>

using TestSupport::IPodVolume;
using WriteTests::failureOf;

namespace {

// Each folder libgpod or this program writes into or through, and a thumbnail file libgpod
// appends to; "F.." is the numbered music folder that holds the first song.
const QStringList linkable{QStringLiteral("iPod_Control"),
                           QStringLiteral("iPod_Control/iTunes"),
                           QStringLiteral("iPod_Control/Artwork"),
                           QStringLiteral("iPod_Control/Device"),
                           QStringLiteral("iPod_Control/Music"),
                           QStringLiteral("F.."),
                           QStringLiteral("iPod_Control/Artwork/F1027_1.ithmb")};

using Edit = std::function<void(IPodDatabase&, quint64 first, quint64 second)>;
const std::vector<std::pair<const char*, Edit>> edits{
    {"edit",
     [](IPodDatabase& database, quint64 first, quint64) {
         database.updateTrackMetadata(first, {QStringLiteral("Retitled"), {}, {}, {}, {}});
         database.saveLibrary();
     }},
    {"delete",
     [](IPodDatabase& database, quint64 first, quint64) {
         database.deleteTracks({first});
         database.saveLibrary();
     }},
    {"new playlist",
     [](IPodDatabase& database, quint64, quint64 second) {
         database.createPlaylist(QStringLiteral("New"), {second});
         database.saveLibrary();
     }},
};

class LinkedFolders : public ::testing::Test {
protected:
    // A second-generation nano with two songs with covers, made afresh.
    void makeVolume() {
        volume = std::make_unique<IPodVolume>(QStringLiteral("MA477"));
        volume->addTrack({.title = QStringLiteral("A"),
                          .album = QStringLiteral("One"),
                          .artwork = true,
                          .artworkColor = 0xAA2200});
        volume->addTrack({.title = QStringLiteral("B"),
                          .album = QStringLiteral("Two"),
                          .artwork = true,
                          .artworkColor = 0x0022AA});
        volume->write();
        outside = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(outside->isValid());
    }
    QString folderOf(const QString& kind) const {
        return kind == QLatin1String("F..") ? QFileInfo(volume->trackFile(0)).path() : kind;
    }
    // Moves the folder out of the volume and leaves a link in its place: to it, or to nothing;
    // and back.
    QString movedPlace(const QString& folder) const {
        return outside->filePath(QString(folder).replace(u'/', u'_'));
    }
    void link(const QString& folder, bool dangling) {
        const QString place = volume->path(folder);
        ASSERT_TRUE(QDir().rename(place, movedPlace(folder))) << qPrintable(place);
        ASSERT_TRUE(QFile::link(
            movedPlace(folder) + (dangling ? QStringLiteral("-gone") : QString()), place));
    }
    void unlink(const QString& folder) {
        ASSERT_TRUE(QFile::remove(volume->path(folder)));
        ASSERT_TRUE(QDir().rename(movedPlace(folder), volume->path(folder)));
    }
    // What changed on the volume and in the outside folder, links not followed.
    void snapshot() {
        volumeBefore = TestSupport::snapshotTree(volume->mountPoint());
        outsideBefore = TestSupport::snapshotTree(outside->path());
    }
    QStringList changed() const {
        return TestSupport::differences(volumeBefore,
                                        TestSupport::snapshotTree(volume->mountPoint())) +
               TestSupport::differences(outsideBefore, TestSupport::snapshotTree(outside->path()));
    }

    std::unique_ptr<IPodVolume> volume;
    std::unique_ptr<QTemporaryDir> outside;
    TestSupport::TreeSnapshot volumeBefore;
    TestSupport::TreeSnapshot outsideBefore;
};

} // namespace

TEST_F(LinkedFolders, OpenReadOnlyNamingTheFolderWithTheTracksListedAndWriteNothing) {
    for (const QString& kind : linkable) {
        for (const bool dangling : {false, true}) {
            SCOPED_TRACE(kind.toStdString() + (dangling ? " to nothing" : ""));
            makeVolume();
            const QString folder = folderOf(kind);
            const quint64 first = volume->trackID(0), second = volume->trackID(1);
            link(folder, dangling);
            snapshot();

            // Without the linked iPod_Control or iTunes folder there is no library to read: the
            // open fails, naming the link.
            const bool unreadable = dangling && (kind == QLatin1String("iPod_Control") ||
                                                 kind == QLatin1String("iPod_Control/iTunes"));
            if (!unreadable) {
                // As the window reads it: by the helper, sent back whole.
                DatabasePreflight::forgetReadDatabases();
                const auto read = DatabasePreflight::read(
                    {volume->mountPoint(), std::nullopt, std::nullopt, "volume"});
                ASSERT_TRUE(read);
                EXPECT_EQ(read->writeBlocker, IPodDatabaseError::linkedFolder(folder));
                EXPECT_EQ(read->tracks.size(), 2);
            }
            for (const auto& [name, edit] : edits) {
                SCOPED_TRACE(name);
                try {
                    IPodDatabase database(volume->mountPoint());
                    EXPECT_FALSE(unreadable);
                    EXPECT_EQ(database.writeBlocker(), IPodDatabaseError::linkedFolder(folder));
                    EXPECT_EQ(database.loadTracks().size(), 2);
                    EXPECT_EQ(failureOf([&] { edit(database, first, second); }),
                              IPodDatabaseError::Case::linkedFolder);
                } catch (const IPodDatabaseError& error) {
                    const QString text = error.description(AppLanguage::english);
                    EXPECT_TRUE(unreadable && text.contains(folder)) << qPrintable(text);
                }
            }
            EXPECT_EQ(changed(), QStringList());
        }
    }
    for (const QString& linked : {QStringLiteral("iPod_Control/Music"),
                                  QStringLiteral("iPod_Control/Artwork/F1027_1.ithmb")}) {
        const IPodDatabaseError error = IPodDatabaseError::linkedFolder(linked);
        for (const AppLanguage language : {AppLanguage::english, AppLanguage::simplifiedChinese})
            EXPECT_TRUE(error.description(language).contains(linked));
        EXPECT_EQ(error.description(AppLanguage::english).contains(QLatin1String("not a file")),
                  linked.endsWith(QLatin1String(".ithmb")));
    }
}

// The link comes before the edit, or just before its first write (the session's own
// checkpoint makes it there).
TEST_F(LinkedFolders, AFolderThatBecomesALinkAfterTheOpenIsNotWrittenThrough) {
    for (const QString& kind : linkable) {
        makeVolume();
        const QString folder = folderOf(kind);
        for (const bool atFirstWrite : {false, true}) {
            for (const auto& [name, edit] : edits) {
                SCOPED_TRACE(kind.toStdString() + ", " + name +
                             (atFirstWrite ? " at the first write" : ""));
                bool linked = false;
                const auto makeLink = [&] {
                    if (linked)
                        return;
                    linked = true;
                    link(folder, false);
                    snapshot();
                };
                IPodDatabase database(volume->mountPoint(), std::nullopt, {}, [&] {
                    if (atFirstWrite)
                        makeLink();
                });
                ASSERT_FALSE(database.writeBlocker());
                if (!atFirstWrite)
                    makeLink();
                try {
                    edit(database, volume->trackID(0), volume->trackID(1));
                    ADD_FAILURE() << "saved through the link";
                } catch (const IPodDatabaseError& error) {
                    EXPECT_EQ(
                        error.description(AppLanguage::english),
                        IPodDatabaseError::linkedFolder(folder).description(AppLanguage::english));
                }
                EXPECT_TRUE(linked);
                EXPECT_EQ(changed(), QStringList());
                unlink(folder);
            }
        }
    }
}
