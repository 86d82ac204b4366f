// What the library pane shows for each scope, search and library, and how the scoped table's
// sort and selection start over only when its rows change.

#include "PaneFixture.h"

#include "browser/EmptyStatePlaceholder.h"
#include "support/EventLoop.h"

#include <QHeaderView>
#include <QLabel>
#include <QTest>

#include <mutex>

namespace {

Track track(quint64 id, const QString& title, const QString& artist, const QString& album = {}) {
    Track t;
    t.id = id;
    t.title = title;
    t.artist = artist;
    t.album = album;
    t.format = QStringLiteral("MPEG audio file");
    return t;
}

// The library a test serves; it may change between reloads.
struct Served {
    std::mutex mutex;
    IPodLibrary library;
};

class ContentTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        IPodLibrary& library = served->library;
        library.tracks = {track(7, QStringLiteral("Jóga"), QStringLiteral("Björk")),
                          track(8, QStringLiteral("Porcelain"), QStringLiteral("Moby")),
                          track(10, QStringLiteral("Hyper"), QStringLiteral("Someone"),
                                QStringLiteral("Björk Album"))};
        library.playlists = {{1, QStringLiteral("Repeats"), {7, 9, 7}},
                             {2, QStringLiteral("Empty"), {}},
                             {3, QStringLiteral("Gone"), {1, 2}},
                             {4, QStringLiteral("All"), {7, 8, 10}}};
        // A real volume is listed; its library is the one served here.
        const QString path = makeVolume(root + QStringLiteral("/Pod"), {{}});
        std::shared_ptr<Served> s = served;
        open({path}, [s](const IPodDevice&) {
            std::lock_guard lock(s->mutex);
            return s->library;
        });
        waitForLibrary();
    }

    void scope(const LibraryScope& scope, const QString& search = {}) {
        view().setLibraryScope(scope);
        view().setLibrarySearch(search);
    }

    QString placeholderTitle() const { return content().placeholder()->titleLabel()->text(); }

    QList<std::optional<int>> positions(const TrackTableModel& model) const {
        QList<std::optional<int>> out;
        for (int row = 0; row < model.rowCount(); ++row)
            out.append(model.rowAt(row).position);
        return out;
    }

    void clickHeader(TrackTableView& table, TrackColumn column) {
        QHeaderView* header = table.horizontalHeader();
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(table.trackModel()->sectionOf(column)) + 8, 8));
    }

    std::shared_ptr<Served> served = std::make_shared<Served>();
};

using Shown = LibraryContent::Shown;

} // namespace

TEST_F(ContentTest, TheScopeAndTheSearchChooseWhatIsShown) {
    EXPECT_EQ(content().shown(), Shown::allTracksTable);
    EXPECT_EQ(tableIDs(tableModel()), (QList<quint64>{7, 8, 10}));

    // Title or artist, any case and accent; never the album alone.
    scope(LibraryScope::allTracks(), QStringLiteral("BJORK"));
    EXPECT_EQ(tableIDs(tableModel()), (QList<quint64>{7}));
    scope(LibraryScope::allTracks(), QStringLiteral(" \n "));
    EXPECT_EQ(tableIDs(tableModel()), (QList<quint64>{7, 8, 10}));

    // 7, 9, 7 with 9 missing: two rows numbered 1 and 3.
    scope(LibraryScope::playlist(1));
    EXPECT_EQ(content().shown(), Shown::playlistTable);
    EXPECT_EQ(tableIDs(*scopedTable().trackModel()), (QList<quint64>{7, 7}));
    EXPECT_EQ(positions(*scopedTable().trackModel()), (QList<std::optional<int>>{1, 3}));

    // An empty playlist says so, whatever the search.
    scope(LibraryScope::playlist(2), QStringLiteral("x"));
    EXPECT_EQ(content().shown(), Shown::emptyPlaylist);
    EXPECT_EQ(placeholderTitle(), QStringLiteral("This playlist is empty"));

    // A playlist of missing tracks is an empty table, not a placeholder.
    scope(LibraryScope::playlist(3));
    EXPECT_EQ(content().shown(), Shown::playlistTable);
    EXPECT_EQ(scopedTable().trackModel()->rowCount(), 0);
    EXPECT_FALSE(scopedTable().emptyPlaceholder()->isVisible());

    // The third entry alone matches: one row numbered 3; nothing matches: a placeholder.
    scope(LibraryScope::playlist(4), QStringLiteral("hyper"));
    EXPECT_EQ(positions(*scopedTable().trackModel()), (QList<std::optional<int>>{3}));
    scope(LibraryScope::playlist(4), QStringLiteral("zzz"));
    EXPECT_EQ(content().shown(), Shown::noMatchingTracks);
    EXPECT_EQ(placeholderTitle(), QStringLiteral("No Matching Tracks"));

    // A playlist the library does not hold shows all tracks; the browser has its own place.
    scope(LibraryScope::playlist(999));
    EXPECT_EQ(content().shown(), Shown::allTracksTable);
    scope(LibraryScope::browser());
    EXPECT_EQ(content().shown(), Shown::playlistBrowser);
    EXPECT_TRUE(content().playlistBrowserHost()->isVisible());

    // The all-tracks table says why it is empty.
    scope(LibraryScope::allTracks(), QStringLiteral("nothing like it"));
    EXPECT_TRUE(table().emptyPlaceholder()->isVisible());
    EXPECT_EQ(table().emptyPlaceholder()->titleLabel()->text(),
              QStringLiteral("No Matching Tracks"));
}

TEST_F(ContentTest, APlaylistThatLeavesTheLibraryTakesItsScopeBackToAllTracks) {
    scope(LibraryScope::playlist(4));
    ASSERT_EQ(content().shown(), Shown::playlistTable);
    {
        std::lock_guard lock(served->mutex);
        served->library.playlists.removeLast();
    }
    store->reloadSelection();
    waitForLibrary();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return store->library().has_value(); }));
    EXPECT_EQ(view().state().libraryScope, LibraryScope::allTracks());
    EXPECT_EQ(content().shown(), Shown::allTracksTable);
}

TEST_F(ContentTest, TheScopedSortSticksAndStartsOverOnlyWhenTheRowsChange) {
    clickHeader(table(), TrackColumn::artist);
    const TrackSortOrder allTracksOrder = {{TrackColumn::artist, true}};
    EXPECT_EQ(view().state().sortOrder, allTracksOrder);

    scope(LibraryScope::playlist(4));
    clickHeader(scopedTable(), TrackColumn::title);
    // The order is kept: sorting does not count as a change of the rows.
    EXPECT_EQ(view().state().scopedSortOrder, (TrackSortOrder{{TrackColumn::title, true}}));
    EXPECT_EQ(tableIDs(*scopedTable().trackModel()), (QList<quint64>{10, 7, 8}));
    clickHeader(scopedTable(), TrackColumn::title);
    EXPECT_EQ(view().state().scopedSortOrder, (TrackSortOrder{{TrackColumn::title, false}}));
    EXPECT_EQ(tableIDs(*scopedTable().trackModel()), (QList<quint64>{8, 7, 10}));
    view().setScopedTrackSelection({{8, 2}});
    EXPECT_TRUE(scopedTable().selectionModel()->isRowSelected(0, {}));

    // Another playlist starts the scoped table over; the all-tracks table keeps its own.
    scope(LibraryScope::playlist(1));
    EXPECT_TRUE(view().state().scopedSortOrder.empty());
    EXPECT_TRUE(view().state().scopedTrackSelection.isEmpty());
    EXPECT_EQ(view().state().sortOrder, allTracksOrder);
    EXPECT_EQ(scopedTable().horizontalHeader()->sortIndicatorSection(), -1);

    // A search that changes the rows starts it over too.
    clickHeader(scopedTable(), TrackColumn::title);
    EXPECT_FALSE(view().state().scopedSortOrder.empty());
    view().setLibrarySearch(QStringLiteral("bjork"));
    EXPECT_FALSE(view().state().scopedSortOrder.empty()); // the same two rows still match
    scope(LibraryScope::playlist(4), QStringLiteral("o"));
    clickHeader(scopedTable(), TrackColumn::title);
    view().setLibrarySearch(QStringLiteral("moby"));
    EXPECT_TRUE(view().state().scopedSortOrder.empty());
}
