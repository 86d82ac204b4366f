// The actions on selected tracks, in the header's bar and in the tables' menu, on the real store:
// what each library allows (editable nano and shuffle, a library whose writes are blocked, a
// running operation, a fifth-generation nano that only imports), the first track taken in table
// order, and an export from the bar into a tmpfs folder.

#include "PaneFixture.h"

#include "TestVolumes.h"

#include "app/DeviceHeader.h"
#include "browser/LibraryPaneHeader.h"
#include "browser/TrackActionBar.h"
#include "browser/TrackActionButtonStyle.h"
#include "support/AudioFixtures.h"
#include "support/EventLoop.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

using TestSupport::TrackSpec;

namespace {

// What the bar and the menu offer for a selection.
struct Offered {
    bool preview = false;
    bool exportSongs = false;
    bool remove = false;
    bool edit = false;
    std::optional<bool> startTrack; // none: no such entry
    bool operator==(const Offered&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Offered& o) {
    return out << "preview " << o.preview << ", export " << o.exportSongs << ", delete " << o.remove
               << ", edit " << o.edit << ", start "
               << (o.startTrack ? (*o.startTrack ? "on" : "off") : "none");
}

class ActionsTest : public PaneTest {
protected:
    TrackActionBar& bar() const { return *content().header()->actionBar(); }

    // Selects the rows and reads what is offered.
    Offered offeredFor(const QList<int>& rows) {
        QSet<TrackRow::ID> selection;
        for (int row : rows)
            selection.insert(tableModel().rowAt(row).id());
        view().setTrackSelection(selection);
        Offered offered;
        offered.preview = bar().previewButton()->isEnabled();
        offered.exportSongs = bar().exportButton()->isEnabled();
        offered.remove = bar().deleteButton()->isEnabled();
        std::unique_ptr<QMenu> menu(table().contextMenuAt(
            table().visualRect(tableModel().index(rows.first(), 1)).center()));
        EXPECT_TRUE(menu);
        if (!menu)
            return offered;
        for (QAction* action : menu->actions()) {
            const QString text = action->text();
            if (text == QStringLiteral("Edit Track Info")) {
                offered.edit = action->isEnabled();
            } else if (text == QStringLiteral("Set iPod Start Track")) {
                offered.startTrack = action->isEnabled();
            } else if (text == QStringLiteral("Export Songs…")) {
                EXPECT_EQ(action->isEnabled(), offered.exportSongs);
            } else if (text == QStringLiteral("Delete From iPod")) {
                EXPECT_EQ(action->isEnabled(), offered.remove);
            }
        }
        return offered;
    }

    const QList<TrackSpec> threeTracks = {{.title = QStringLiteral("Alpha")},
                                          {.title = QStringLiteral("Bravo")},
                                          {.title = QStringLiteral("Charlie")}};
};

} // namespace

TEST_F(ActionsTest, AnEditableNanoHasNoStartTrack) {
    open({makeVolume(root + QStringLiteral("/Nano"), threeTracks)});
    waitForLibrary();
    EXPECT_EQ(offeredFor({0}), (Offered{true, true, true, true, std::nullopt}));
    // Two tracks: no preview, no editing; export and delete take both.
    EXPECT_EQ(offeredFor({0, 1}), (Offered{false, true, true, false, std::nullopt}));
    EXPECT_EQ(bar().previewButton()->text(), QStringLiteral("Play Preview"));
}

TEST_F(ActionsTest, AnEditableShuffleSetsItsStartTrackForOneTrack) {
    open({makeVolume(root + QStringLiteral("/Shuffle"), threeTracks, {}, QStringLiteral("MA546"))});
    waitForLibrary();
    ASSERT_TRUE(store->library()->supportsPlaybackStart);
    EXPECT_EQ(offeredFor({1}), (Offered{true, true, true, true, true}));
    EXPECT_EQ(offeredFor({1, 2}), (Offered{false, true, true, false, false}));
}

TEST_F(ActionsTest, ABlockedLibraryExportsAndPreviewsButNeverWrites) {
    // A shuffle whose database version this system does not write.
    open({makeVolume(root + QStringLiteral("/Shuffle"), threeTracks, {}, QStringLiteral("MA546"),
                     TestSupport::sysInfoExtendedXML({{QStringLiteral("DBVersion"), 3}}))});
    waitForLibrary();
    ASSERT_TRUE(store->library()->writeBlocker);
    EXPECT_EQ(offeredFor({0}), (Offered{true, true, false, false, false}));
    EXPECT_EQ(offeredFor({0, 2}), (Offered{false, true, false, false, false}));
    // Asking anyway changes nothing.
    bar().deleteButton()->click();
    EXPECT_FALSE(view().state().pendingConfirmation);
}

TEST_F(ActionsTest, WhileAnOperationRunsNothingIsOffered) {
    open({makeVolume(root + QStringLiteral("/Nano"), threeTracks)});
    waitForLibrary();
    offeredFor({0});
    IPodStoreTestAccess::setActiveDeviceID(*store, store->selectedDiskID());
    // The bar follows the store at once, without a new selection.
    EXPECT_FALSE(bar().previewButton()->isEnabled());
    EXPECT_FALSE(bar().exportButton()->isEnabled());
    EXPECT_FALSE(bar().deleteButton()->isEnabled());
    EXPECT_EQ(offeredFor({0}), (Offered{}));
    bar().exportTracks({store->library()->tracks[0].id});
    EXPECT_EQ(bar().exportPanel(), nullptr);
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
    EXPECT_EQ(offeredFor({0}), (Offered{true, true, true, true, std::nullopt}));
}

TEST_F(ActionsTest, AFifthGenerationNanoThatOnlyImportsOffersOnlyMP3Files) {
    const QString path = makeVolume(root + QStringLiteral("/Nano5"), threeTracks);
    // The real read, as the store makes it of a nano whose databases allow the test import.
    open({path}, [](const IPodDevice& device) {
        IPodLibrary library = IPodStore::loadLibrary(device);
        library.supportsNano5Import = true;
        library.supportsNano5PlaylistCreation = true;
        library.writeBlocker = IPodDatabaseError::unsupportedDatabase();
        return library;
    });
    waitForLibrary();
    EXPECT_EQ(offeredFor({0}), (Offered{true, true, false, false, std::nullopt}));
    DeviceHeader* header = pane().deviceHeader();
    ASSERT_TRUE(header->addSongsAction()->isEnabled());
    header->addSongsAction()->trigger();
    ASSERT_NE(view().importPanel(), nullptr);
    EXPECT_EQ(view().importPanel()->nameFilters(), (QStringList{"Audio (*.mp3)"}));
    view().importPanel()->reject();
}

TEST_F(ActionsTest, TheFirstTrackIsTheFirstRowShown) {
    open({makeVolume(root + QStringLiteral("/Nano"), threeTracks)});
    waitForLibrary();
    // By title, descending: Charlie, Bravo, Alpha.
    view().setSortOrder({{TrackColumn::title, false}});
    ASSERT_EQ(tableTitles(tableModel()), (QStringList{"Charlie", "Bravo", "Alpha"}));
    offeredFor({2, 0});
    const QList<quint64> shown = tableIDs(tableModel());
    EXPECT_EQ(bar().trackIDs(), (QList<quint64>{shown[0], shown[2]}));
    view().setSortOrder({{TrackColumn::title, true}});
    EXPECT_EQ(bar().trackIDs(), (QList<quint64>{shown[2], shown[0]}));
}

TEST_F(ActionsTest, TheBarExportsTheSelectedTrackIntoAFolderWithTheLosslessOption) {
    if (!TestSupport::hasFFmpegTool())
        GTEST_SKIP() << "the ffmpeg tool is needed for the audio";
    if (const QString why = TestVolumes::whyMountsAreUnavailable(); !why.isEmpty())
        GTEST_SKIP() << qPrintable(why);
    const QString source = root + QStringLiteral("/tone.mp3");
    TestSupport::ToneSpec tone;
    tone.tags.title = QStringLiteral("Tone");
    ASSERT_TRUE(TestSupport::makeTone(source, tone));
    open({makeVolume(root + QStringLiteral("/Nano"), {{.title = QStringLiteral("Tone"),
                                                       .artist = QStringLiteral("Tester"),
                                                       .sourceFile = source}})});
    waitForLibrary();
    const QString destination = root + QStringLiteral("/out");
    auto mount = TestVolumes::Mount::tmpfs(destination, QStringLiteral("size=16m"));
    ASSERT_TRUE(mount);

    offeredFor({0});
    // Cancelling the panel starts nothing.
    QTest::mouseClick(bar().exportButton(), Qt::LeftButton);
    ASSERT_NE(bar().exportPanel(), nullptr);
    bar().exportPanel()->reject();
    EXPECT_FALSE(store->activeDeviceID());

    QTest::mouseClick(bar().exportButton(), Qt::LeftButton);
    QFileDialog* panel = bar().exportPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(panel->labelText(QFileDialog::Accept), QStringLiteral("Export"));
    QCheckBox* lossless = TrackActionBar::losslessOption(panel);
    ASSERT_NE(lossless, nullptr);
    EXPECT_EQ(lossless->text(), QStringLiteral("Export WAV as lossless M4A with artwork"));
    EXPECT_FALSE(lossless->isChecked());
    lossless->setChecked(true);
    panel->setDirectory(destination);
    auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(destination);
    static_cast<QDialog*>(panel)->accept();
    ASSERT_TRUE(store->activeDeviceID().has_value());
    waitForOperation();
    const QStringList exported =
        QDir(destination).entryList({QStringLiteral("*.mp3")}, QDir::Files);
    ASSERT_EQ(exported.size(), 1) << qPrintable(QDir(destination).entryList().join(u','));
    EXPECT_TRUE(exported.first().contains(QStringLiteral("Tone")));
    EXPECT_GT(QFileInfo(QDir(destination).filePath(exported.first())).size(), 1000);
    // No work folder is left behind.
    EXPECT_EQ(
        QDir(destination).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
        1);
}
