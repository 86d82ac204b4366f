// The tag editor and the new-playlist sheet opened the way the window opens them, saved through
// the real store into libgpod volumes, and read back with libgpod and ffprobe.

#include "PaneFixture.h"
#include "ReopenedDatabase.h"
#include "TagTestSupport.h"

#include "app/NewPlaylistSheet.h"
#include "app/SheetSlot.h"
#include "app/TrackEditSheet.h"
#include "browser/FilledButton.h"
#include "browser/NewPlaylistTrackModel.h"
#include "browser/NewPlaylistView.h"
#include "browser/PlaylistBrowser.h"
#include "browser/TrackMetadataEditor.h"
#include "support/AudioFixtures.h"
#include "support/EventLoop.h"

#include <QComboBox>
#include <QDir>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace {

class SheetsTest : public PaneTest {
protected:
    QString tone(const QString& name, const QString& title) {
        const QString dir = root + QStringLiteral("/in");
        QDir().mkpath(dir);
        TestSupport::ToneSpec spec;
        spec.seconds = 1;
        spec.tags.title = title;
        const QString path = dir + QLatin1Char('/') + name;
        EXPECT_TRUE(TestSupport::makeTone(path, spec));
        return path;
    }

    quint64 idOf(const QString& title) const {
        for (const Track& track : store->library()->tracks)
            if (track.title == title)
                return track.id;
        ADD_FAILURE() << "no track " << qPrintable(title);
        return 0;
    }

    NewPlaylistSheet* openNewPlaylistSheet() {
        view().setLibraryScope(LibraryScope::browser());
        auto* browser = pane().findChild<PlaylistBrowser*>();
        EXPECT_TRUE(browser && browser->newPlaylistButton()->isEnabled());
        if (!browser)
            return nullptr;
        QTest::mouseClick(browser->newPlaylistButton(), Qt::LeftButton);
        return qobject_cast<NewPlaylistSheet*>(view().newPlaylistSlot()->current());
    }
};

} // namespace

TEST_F(SheetsTest, ATagEditSavedThroughTheSheetReachesTheDatabaseAndTheFile) {
    if (!TestSupport::hasFFmpegTool() || !TagTest::haveTool(QStringLiteral("ffprobe")))
        GTEST_SKIP() << "the ffmpeg and ffprobe tools are needed";
    const QString title = QStringLiteral("Aurora Vale - Night Song");
    const QString path = makeVolume(
        root + QStringLiteral("/Pod"),
        {{.title = title,
          .genre = QStringLiteral("Pop"),
          .sourceFile = tone(QStringLiteral("night.mp3"), title)},
         {.title = QStringLiteral("Other"), .sourceFile = tone(QStringLiteral("o.mp3"), {})}});
    open({path});
    waitForLibrary();
    const quint64 id = idOf(title);
    const QString oldFile = ReopenedDatabase::read(path).track(id)->filePath;
    ASSERT_TRUE(QFileInfo::exists(oldFile));

    // The track menu's "Edit Track Info" opens the sheet for its request.
    QMenu menu;
    pane().fillTrackMenu(menu, {id});
    ASSERT_FALSE(menu.actions().isEmpty());
    menu.actions().first()->trigger();
    auto* sheet = qobject_cast<TrackEditSheet*>(view().trackEditSlot()->current());
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->width(), 460);
    ASSERT_TRUE(view().state().trackEditRequest);
    TrackMetadataEditor* editor = sheet->editor();
    EXPECT_EQ(editor->genreMenu()->currentText(), QStringLiteral("Pop"));

    // Escape closes it without saving.
    QTest::keyClick(sheet, Qt::Key_Escape);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !view().trackEditSlot()->current(); }));
    EXPECT_FALSE(view().state().trackEditRequest);
    EXPECT_FALSE(store->activeDeviceID());

    menu.actions().first()->trigger();
    sheet = qobject_cast<TrackEditSheet*>(view().trackEditSlot()->current());
    ASSERT_TRUE(sheet);
    editor = sheet->editor();
    QTest::mouseClick(editor->splitButton(), Qt::LeftButton);
    QTest::keyClicks(editor->albumField(), QStringLiteral("Evening"));
    editor->albumArtistField()->setFocus();
    QTest::keyClicks(editor->albumArtistField(), QStringLiteral("  Spaced  "));
    editor->genreMenu()->setCurrentIndex(editor->genreMenu()->findText(QStringLiteral("Rock")));
    // Return presses "Save to iPod" wherever the focus is.
    QTest::keyClick(editor->albumArtistField(), Qt::Key_Return);
    EXPECT_FALSE(view().trackEditSlot()->current());
    EXPECT_FALSE(view().state().trackEditRequest);
    EXPECT_TRUE(store->activeDeviceID());
    waitForOperation();
    EXPECT_FALSE(store->alert()) << qPrintable(store->alert().value_or(QString()));

    const ReopenedDatabase::Contents reopened = ReopenedDatabase::read(path);
    ASSERT_TRUE(reopened.parsed);
    const ReopenedDatabase::Song* song = reopened.track(id);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->title, QStringLiteral("Night Song"));
    EXPECT_EQ(song->artist, QStringLiteral("Aurora Vale"));
    EXPECT_EQ(song->album, QStringLiteral("Evening"));
    EXPECT_EQ(song->albumArtist, QStringLiteral("  Spaced  "));
    EXPECT_EQ(song->genre, QStringLiteral("Rock"));

    // The file had no album and no lyrics, so it was written anew beside the old one, which is
    // gone: the new tag carries the edited album and the lyrics; the iPod reads the other tags
    // from its database.
    EXPECT_NE(song->filePath, oldFile);
    EXPECT_FALSE(QFileInfo::exists(oldFile));
    const QJsonObject format =
        TagTest::ffprobe(song->filePath)[QStringLiteral("format")].toObject();
    const QJsonObject tags = format[QStringLiteral("tags")].toObject();
    EXPECT_EQ(tags[QStringLiteral("album")].toString(), QStringLiteral("Evening"));
    EXPECT_EQ(tags[QStringLiteral("lyrics-eng")].toString(),
              QStringLiteral("Welcome to Lorvanel.app"));
    EXPECT_NEAR(format[QStringLiteral("duration")].toString().toDouble(), 1.0, 0.2);
}

TEST_F(SheetsTest, APlaylistMadeInTheSheetKeepsTheOfferedOrder) {
    const QString path =
        makeVolume(root + QStringLiteral("/Pod"),
                   {{.title = QStringLiteral("Alpha"), .artist = QStringLiteral("Björk")},
                    {.title = QStringLiteral("Beta"), .artist = QStringLiteral("Moby")},
                    {.title = QStringLiteral("Gamma"), .artist = QStringLiteral("Bjork Tribute")},
                    {.title = QStringLiteral("Delta"), .artist = QStringLiteral("Air")},
                    {.title = QStringLiteral("Hidden"), .inMainPlaylist = false}});
    open({path});
    waitForLibrary();
    NewPlaylistSheet* sheet = openNewPlaylistSheet();
    ASSERT_TRUE(sheet);
    NewPlaylistView* sheetView = sheet->view();
    QPushButton* save = sheet->confirmButton();

    // Offered: the tracks the main playlist lists, in its order, none ticked, no name.
    QStringList offered;
    for (const Track& track : sheetView->request().tracks)
        offered.append(track.title);
    EXPECT_EQ(offered, (QStringList{"Alpha", "Beta", "Gamma", "Delta"}));
    EXPECT_TRUE(sheetView->model()->selected().isEmpty());
    EXPECT_FALSE(save->isEnabled());
    QTest::keyClicks(sheetView->nameField(), QStringLiteral(" \t "));
    EXPECT_FALSE(save->isEnabled());
    QTest::keyClicks(sheetView->nameField(), QStringLiteral(" Road Trip "));
    EXPECT_TRUE(save->isEnabled());

    // "bjork" shows both Björk rows; "Select All" ticks those two only.
    QTest::keyClicks(sheetView->searchField(), QStringLiteral("bjork"));
    EXPECT_EQ(sheetView->model()->rowCount(), 2);
    EXPECT_EQ(sheetView->selectAllButton()->text(), QStringLiteral("Select All"));
    QTest::mouseClick(sheetView->selectAllButton(), Qt::LeftButton);
    EXPECT_EQ(sheetView->selectAllButton()->text(), QStringLiteral("Deselect All"));
    // A search that matches nothing: the overlay, and a disabled "Select All".
    sheetView->searchField()->setText(QStringLiteral("zzz"));
    EXPECT_TRUE(sheetView->emptyLabel()->isVisible());
    EXPECT_EQ(sheetView->emptyLabel()->text(), QStringLiteral("No matching tracks"));
    EXPECT_FALSE(sheetView->selectAllButton()->isEnabled());
    EXPECT_EQ(sheetView->selectAllButton()->text(), QStringLiteral("Select All"));
    // Spaces only show everything again; Delta is ticked last but saved in its place.
    sheetView->searchField()->setText(QStringLiteral("   "));
    EXPECT_EQ(sheetView->model()->rowCount(), 4);
    EXPECT_FALSE(sheetView->emptyLabel()->isVisible());
    sheetView->model()->setData(sheetView->model()->index(3, 0), Qt::Checked, Qt::CheckStateRole);
    sheetView->model()->setData(sheetView->model()->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(sheetView->selectedTrackIDs(), (QList<quint64>{idOf("Gamma"), idOf("Delta")}));

    QTest::mouseClick(save, Qt::LeftButton);
    EXPECT_FALSE(view().newPlaylistSlot()->current());
    EXPECT_FALSE(view().state().newPlaylistRequest);
    waitForOperation();
    EXPECT_FALSE(store->alert()) << qPrintable(store->alert().value_or(QString()));
    const ReopenedDatabase::Contents reopened = ReopenedDatabase::read(path);
    ASSERT_TRUE(reopened.parsed);
    ASSERT_EQ(reopened.playlists.size(), 1);
    EXPECT_EQ(reopened.playlists[0].name, QStringLiteral("Road Trip"));
    EXPECT_EQ(reopened.playlists[0].trackIDs, (QList<quint64>{idOf("Gamma"), idOf("Delta")}));
}

TEST_F(SheetsTest, SaveFollowsTheStoreWhileTheSheetIsOpen) {
    const QString path =
        makeVolume(root + QStringLiteral("/Pod"), {{.title = QStringLiteral("Alpha")}});
    open({path});
    waitForLibrary();
    NewPlaylistSheet* sheet = openNewPlaylistSheet();
    ASSERT_TRUE(sheet);
    QTest::keyClicks(sheet->view()->nameField(), QStringLiteral("Mix"));
    QPushButton* save = sheet->confirmButton();
    EXPECT_TRUE(save->isEnabled());

    // An operation on the device closes the way, and its end opens it again.
    IPodStoreTestAccess::setActiveDeviceID(*store, store->selectedDiskID());
    EXPECT_FALSE(save->isEnabled());
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
    EXPECT_TRUE(save->isEnabled());

    // The iPod is unplugged: the selection leaves it, the sheet stays, Save is off for good,
    // and Return does nothing.
    machine->setVolumes({});
    store->refreshDevices();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !store->selectedDiskID(); }));
    EXPECT_EQ(view().newPlaylistSlot()->current(), sheet);
    EXPECT_FALSE(save->isEnabled());
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_EQ(view().newPlaylistSlot()->current(), sheet);
    EXPECT_FALSE(store->activeDeviceID());
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_FALSE(view().state().newPlaylistRequest);
}
