// The playlist browser in the library pane on the real store: tiles in device order, moves
// through the store's edit read back with libgpod, the ends and a busy store disabling the
// buttons, opening a playlist, and the read-only and empty libraries.

#include "PaneFixture.h"
#include "ReopenedDatabase.h"

#include "browser/EmptyStatePlaceholder.h"
#include "browser/FilledButton.h"
#include "browser/PlaylistBrowser.h"
#include "browser/PlaylistTile.h"
#include "library/IPodDatabaseError.h"
#include "support/EventLoop.h"

#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <mutex>

namespace {

class BrowserTest : public PaneTest {
protected:
    PlaylistBrowser& browser() const { return *pane().findChild<PlaylistBrowser*>(); }

    QStringList tileNames() const {
        QStringList names;
        for (PlaylistTile* tile : browser().tiles())
            names.append(tile->content().name);
        return names;
    }

    // (up enabled, down enabled) of each tile.
    QList<QPair<bool, bool>> moveStates() const {
        QList<QPair<bool, bool>> states;
        for (PlaylistTile* tile : browser().tiles())
            states.append({tile->moveUpButton()->isEnabled(), tile->moveDownButton()->isEnabled()});
        return states;
    }
};

} // namespace

TEST_F(BrowserTest, MovesGoThroughTheStoreAndAreReadBackInTheirNewOrder) {
    const QString path = makeVolume(root + QStringLiteral("/Pod"),
                                    {{.title = QStringLiteral("One"), .tracklenMs = 61000},
                                     {.title = QStringLiteral("Two"), .tracklenMs = 4000}},
                                    {{QStringLiteral("Road"), {0, 1}},
                                     {QStringLiteral("Gym"), {1}},
                                     {QStringLiteral("Sleep"), {}}});
    open({path});
    waitForLibrary();
    view().setLibraryScope(LibraryScope::browser());
    EXPECT_EQ(content().shown(), LibraryContent::Shown::playlistBrowser);
    ASSERT_TRUE(browser().isVisible());
    EXPECT_EQ(tileNames(), (QStringList{"Road", "Gym", "Sleep"}));
    EXPECT_EQ(browser().tiles()[0]->content().summary, QStringLiteral("2 tracks · 01:05"));
    EXPECT_EQ(browser().tiles()[2]->content().summary, QStringLiteral("0 tracks · 00:00"));
    EXPECT_GE(browser().tiles()[0]->width(), PlaylistBrowser::minimumTileWidth);
    EXPECT_EQ(browser().tiles()[0]->height(), PlaylistTile::tileHeight);
    EXPECT_EQ(browser().tiles()[0]->toolTip(), QStringLiteral("Road"));
    EXPECT_EQ(browser().tiles()[1]->moveUpButton()->accessibleName(),
              QStringLiteral("Gym · Move Up"));
    EXPECT_EQ(browser().tiles()[0]->textTrailingPadding(), 38);
    EXPECT_EQ(moveStates(), (QList<QPair<bool, bool>>{{false, true}, {true, true}, {true, false}}));
    EXPECT_FALSE(browser().readOnlyLabel()->isVisible());
    EXPECT_TRUE(browser().newPlaylistButton()->isEnabled());

    QTest::mouseClick(browser().tiles()[1]->moveUpButton(), Qt::LeftButton);
    // While the edit runs nothing else may move, and no playlist may be made.
    EXPECT_TRUE(store->activeDeviceID());
    EXPECT_EQ(moveStates(),
              (QList<QPair<bool, bool>>{{false, false}, {false, false}, {false, false}}));
    EXPECT_FALSE(browser().newPlaylistButton()->isEnabled());
    waitForOperation();
    EXPECT_FALSE(store->alert()) << qPrintable(store->alert().value_or(QString()));
    EXPECT_EQ(tileNames(), (QStringList{"Gym", "Road", "Sleep"}));
    EXPECT_EQ(moveStates(), (QList<QPair<bool, bool>>{{false, true}, {true, true}, {true, false}}));

    QTest::mouseClick(browser().tiles()[1]->moveDownButton(), Qt::LeftButton);
    waitForOperation();
    EXPECT_EQ(tileNames(), (QStringList{"Gym", "Sleep", "Road"}));
    const ReopenedDatabase::Contents reopened = ReopenedDatabase::read(path);
    ASSERT_TRUE(reopened.parsed);
    QStringList names;
    for (const auto& playlist : reopened.playlists)
        names.append(playlist.name);
    EXPECT_EQ(names, (QStringList{"Gym", "Sleep", "Road"}));
    EXPECT_EQ(reopened.playlists[2].trackIDs.size(), 2);
}

TEST_F(BrowserTest, ATileOpensItsPlaylistAndKeepsItsTableWhenOpenedAgain) {
    const QString path =
        makeVolume(root + QStringLiteral("/Pod"),
                   {{.title = QStringLiteral("One")}, {.title = QStringLiteral("Two")}},
                   {{QStringLiteral("Road"), {0, 1}}, {QStringLiteral("Gym"), {1}}});
    open({path});
    waitForLibrary();
    view().setLibraryScope(LibraryScope::browser());
    const quint64 road = browser().tiles()[0]->content().playlistID;
    view().setScopedTrackSelection({TrackRow::ID{1, 1}});
    QTest::mouseClick(browser().tiles()[0], Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(view().state().libraryScope, LibraryScope::playlist(road));
    EXPECT_TRUE(view().state().scopedTrackSelection.isEmpty());
    EXPECT_EQ(content().shown(), LibraryContent::Shown::playlistTable);

    // The same playlist once more: its table's selection (of a row it shows) stays.
    const TrackRow::ID first = scopedTable().trackModel()->rowAt(0).id();
    view().setScopedTrackSelection({first});
    view().openPlaylist(road);
    EXPECT_EQ(view().state().scopedTrackSelection, QSet<TrackRow::ID>{first});
}

TEST_F(BrowserTest, AReadOnlyLibraryHasNoMoveButtonsAndAnEmptyOneAPlaceholder) {
    const QString path = makeVolume(root + QStringLiteral("/Pod"), {{}});
    // Loads run in the background; the library they serve changes under the lock.
    struct Served {
        std::mutex mutex;
        IPodLibrary library;
    };
    auto served = std::make_shared<Served>();
    served->library.tracks = {Track{}};
    served->library.tracks[0].id = 5;
    served->library.playlists = {{1, QStringLiteral("A"), {5, 6}}, {2, QStringLiteral("B"), {}}};
    served->library.writeBlocker = IPodDatabaseError::unsupportedDatabase();
    open({path}, [served](const IPodDevice&) {
        std::lock_guard lock(served->mutex);
        return served->library;
    });
    waitForLibrary();
    view().setLibraryScope(LibraryScope::browser());
    ASSERT_EQ(browser().tiles().size(), 2);
    for (PlaylistTile* tile : browser().tiles()) {
        EXPECT_FALSE(tile->moveUpButton()->isVisible());
        EXPECT_FALSE(tile->moveDownButton()->isVisible());
        EXPECT_EQ(tile->textTrailingPadding(), 0);
    }
    EXPECT_TRUE(browser().readOnlyLabel()->isVisible());
    EXPECT_EQ(browser().readOnlyLabel()->text(), QStringLiteral("This device is read-only"));
    EXPECT_FALSE(browser().newPlaylistButton()->isEnabled());
    // Nothing happens when the disabled button is clicked.
    QTest::mouseClick(browser().newPlaylistButton(), Qt::LeftButton);
    EXPECT_FALSE(view().state().newPlaylistRequest);

    {
        std::lock_guard lock(served->mutex);
        served->library.playlists.clear();
        served->library.writeBlocker.reset();
    }
    store->retryLibraryLoad();
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return store->library() && store->library()->playlists.isEmpty(); }));
    EXPECT_TRUE(browser().showsPlaceholder());
    EXPECT_EQ(browser().placeholder()->titleLabel()->text(),
              QStringLiteral("No playlists on this iPod"));
    EXPECT_TRUE(browser().newPlaylistButton()->isEnabled());
}
