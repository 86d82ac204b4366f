#include "appmodel/MainViewState.h"

#include <gtest/gtest.h>

namespace {

TrackRow::ID row(quint64 id, std::optional<int> position = std::nullopt) {
    return {id, position};
}

IPodDevice device(const QString& path) {
    IPodDevice d;
    d.id.path = path;
    d.mountPoint = path;
    return d;
}

} // namespace

TEST(MainViewState, StartsOnAllTracksWithTheShuffleSeries) {
    MainViewState state;
    EXPECT_EQ(state.libraryScope, LibraryScope::allTracks());
    EXPECT_EQ(state.startupSeries, StartupSeries::shuffle);
    EXPECT_EQ(state.coverFlowGrouping, CoverFlowGroup::Grouping::albums);
    EXPECT_TRUE(state.librarySearch.isEmpty());
    EXPECT_FALSE(state.showsCoverFlow);
    EXPECT_FALSE(state.pendingConfirmation);
}

TEST(MainViewState, SelectionChangeClearsTheLibraryStateButKeepsGroupingSeriesAndRequests) {
    MainViewState state;
    state.libraryScope = LibraryScope::playlist(42);
    state.trackSelection = {row(1), row(2)};
    state.scopedTrackSelection = {row(3, 1)};
    state.sortOrder = {{TrackColumn::artist, true}};
    state.scopedSortOrder = {{TrackColumn::album, false}};
    state.librarySearch = QStringLiteral("bjork");
    state.showsCoverFlow = true;
    state.coverFlowGrouping = CoverFlowGroup::Grouping::genres;
    state.startupSeries = StartupSeries::nano;
    state.trackEditRequest = TrackEditRequest{};
    state.newPlaylistRequest = NewPlaylistRequest{};
    state.pendingConfirmation = DeviceConfirmation::eject(device(QStringLiteral("/media/a")));
    state.mobileLibrary = MainViewState::MobileLibrary{QStringLiteral("udid"), {}};

    state.resetForSelectionChange();

    EXPECT_EQ(state.libraryScope, LibraryScope::allTracks());
    EXPECT_TRUE(state.trackSelection.isEmpty());
    EXPECT_TRUE(state.scopedTrackSelection.isEmpty());
    EXPECT_TRUE(state.sortOrder.empty());
    EXPECT_TRUE(state.scopedSortOrder.empty());
    EXPECT_TRUE(state.librarySearch.isEmpty());
    EXPECT_FALSE(state.showsCoverFlow);
    EXPECT_FALSE(state.trackEditRequest);
    EXPECT_FALSE(state.mobileLibrary);
    EXPECT_EQ(state.coverFlowGrouping, CoverFlowGroup::Grouping::genres);
    EXPECT_EQ(state.startupSeries, StartupSeries::nano);
    EXPECT_TRUE(state.newPlaylistRequest);
    ASSERT_TRUE(state.pendingConfirmation);
    EXPECT_EQ(state.pendingConfirmation->device().id.path, QStringLiteral("/media/a"));
}

TEST(MainViewState, BlankSearchStaysInTheBrowserALetterLeavesItAndEveryEditClearsSelections) {
    MainViewState state;
    state.libraryScope = LibraryScope::browser();
    state.scopedSortOrder = {{TrackColumn::album, true}};
    state.trackSelection = {row(1)};
    state.scopedTrackSelection = {row(2, 4)};
    state.librarySearch = QStringLiteral(" \n\t ");
    state.librarySearchChanged();
    EXPECT_EQ(state.libraryScope, LibraryScope::browser());
    EXPECT_TRUE(state.trackSelection.isEmpty());
    EXPECT_TRUE(state.scopedTrackSelection.isEmpty());
    EXPECT_EQ(state.scopedSortOrder.size(), 1u);

    state.librarySearch = QStringLiteral(" a");
    state.librarySearchChanged();
    EXPECT_EQ(state.libraryScope, LibraryScope::allTracks());
    EXPECT_TRUE(state.scopedSortOrder.empty());

    // A playlist scope is kept, and the sort orders stay.
    state.libraryScope = LibraryScope::playlist(7);
    state.sortOrder = {{TrackColumn::artist, false}};
    state.scopedSortOrder = {{TrackColumn::album, true}};
    state.trackSelection = {row(5)};
    state.librarySearch = QStringLiteral("b");
    state.librarySearchChanged();
    EXPECT_EQ(state.libraryScope, LibraryScope::playlist(7));
    EXPECT_EQ(state.sortOrder.size(), 1u);
    EXPECT_EQ(state.scopedSortOrder.size(), 1u);
    EXPECT_TRUE(state.trackSelection.isEmpty());
}

TEST(MainViewState, PreviewStopsUnlessTheSelectionIsExactlyThePreviewTrack) {
    EXPECT_FALSE(MainViewState::shouldStopPreview({row(7)}, 7));
    // Two rows of the same track still name one track.
    EXPECT_FALSE(MainViewState::shouldStopPreview({row(7, 1), row(7, 3)}, 7));
    EXPECT_TRUE(MainViewState::shouldStopPreview({row(7), row(9)}, 7));
    EXPECT_TRUE(MainViewState::shouldStopPreview({}, 7));
    EXPECT_TRUE(MainViewState::shouldStopPreview({row(9)}, 7));
    EXPECT_FALSE(MainViewState::shouldStopPreview({row(9)}, std::nullopt));
}

TEST(MainViewState, SelectedTrackIDsFollowTheScopeAndCoverFlow) {
    MainViewState state;
    state.trackSelection = {row(1), row(2)};
    state.scopedTrackSelection = {row(3, 1), row(3, 2), row(4, 3)};
    EXPECT_EQ(state.selectedTrackIDs(), (QSet<quint64>{1, 2}));
    state.showsCoverFlow = true;
    EXPECT_EQ(state.selectedTrackIDs(), (QSet<quint64>{3, 4}));
    state.showsCoverFlow = false;
    state.libraryScope = LibraryScope::playlist(1);
    EXPECT_EQ(state.selectedTrackIDs(), (QSet<quint64>{3, 4}));
    state.libraryScope = LibraryScope::browser();
    EXPECT_TRUE(state.selectedTrackIDs().isEmpty());
}

TEST(MainViewState, DeletedTracksLeaveBothSelectionsAndOthersStay) {
    MainViewState state;
    state.trackSelection = {row(1), row(2), row(3)};
    state.scopedTrackSelection = {row(2, 1), row(2, 5), row(4, 2)};
    state.removeFromSelections({2, 3});
    EXPECT_EQ(state.trackSelection, (QSet<TrackRow::ID>{row(1)}));
    EXPECT_EQ(state.scopedTrackSelection, (QSet<TrackRow::ID>{row(4, 2)}));
}

TEST(MainViewState, RowIdentityTellsPositionsApartAndSortsUnnumberedRowsLast) {
    Track track;
    track.id = 5;
    track.playbackPosition = 9;
    TrackRow first{track, 1}, second{track, 3}, plain{track, std::nullopt};
    EXPECT_NE(first.id(), second.id());
    EXPECT_EQ(QSet<TrackRow::ID>({first.id(), second.id(), first.id()}).size(), 2);
    EXPECT_EQ(first.sortPosition(), 1);
    EXPECT_EQ(plain.sortPosition(), 9);
    track.playbackPosition.reset();
    EXPECT_EQ((TrackRow{track, std::nullopt}).sortPosition(), std::numeric_limits<int>::max());
}

TEST(HighlightedSeries, FollowsTheSelectionInItsOrder) {
    using Sel = SeriesHighlightInput::Selection;
    // No selection: the showcase's series.
    EXPECT_EQ(highlightedSeries({}, StartupSeries::nano), StartupSeries::nano);
    // An unmounted shuffle, and an unmounted product without a model (classic).
    EXPECT_EQ(
        highlightedSeries({Sel::unmounted, IPodModel::shuffle2ProductID, {}}, StartupSeries::nano),
        StartupSeries::shuffle);
    EXPECT_EQ(highlightedSeries({Sel::unmounted, 0x9999, {}}, StartupSeries::nano),
              StartupSeries::classic);
    // A disk without a known model highlights nothing until the model arrives.
    EXPECT_EQ(highlightedSeries({Sel::disk, {}, {}}, StartupSeries::shuffle), std::nullopt);
    IPodModel nano;
    nano.family = IPodModel::Family::nano;
    EXPECT_EQ(highlightedSeries({Sel::disk, {}, nano}, StartupSeries::shuffle),
              StartupSeries::nano);
    EXPECT_EQ(highlightedSeries({Sel::other, {}, {}}, StartupSeries::shuffle), std::nullopt);
}

TEST(MainViewState, ViewModeLeavesTheBrowserAndStartsCoverFlowWithAlbums) {
    MainViewState state;
    state.libraryScope = LibraryScope::browser();
    state.coverFlowGrouping = CoverFlowGroup::Grouping::genres;
    state.scopedTrackSelection = {row(3, 1)};
    state.setViewMode(true);
    EXPECT_EQ(state.libraryScope, LibraryScope::allTracks());
    EXPECT_TRUE(state.showsCoverFlow);
    EXPECT_EQ(state.coverFlowGrouping, CoverFlowGroup::Grouping::albums);
    EXPECT_TRUE(state.scopedTrackSelection.isEmpty());

    // The mode already on keeps the scoped table and the grouping.
    state.coverFlowGrouping = CoverFlowGroup::Grouping::artists;
    state.scopedTrackSelection = {row(3, 1)};
    state.scopedSortOrder = {{TrackColumn::title, false}};
    state.setViewMode(true);
    EXPECT_EQ(state.scopedTrackSelection, (QSet<TrackRow::ID>{row(3, 1)}));
    EXPECT_EQ(state.coverFlowGrouping, CoverFlowGroup::Grouping::artists);

    // A real change starts the scoped table over; turning cover flow off keeps the grouping.
    state.setViewMode(false);
    EXPECT_FALSE(state.showsCoverFlow);
    EXPECT_TRUE(state.scopedTrackSelection.isEmpty());
    EXPECT_TRUE(state.scopedSortOrder.empty());
    EXPECT_EQ(state.coverFlowGrouping, CoverFlowGroup::Grouping::artists);

    // Choosing the browser keeps the view mode as it was.
    state.setViewMode(true);
    state.selectLibraryScope(LibraryScope::browser());
    EXPECT_TRUE(state.showsCoverFlow);
}

TEST(MainViewState, ChoosingTheCurrentScopeAgainKeepsTheScopedTable) {
    MainViewState state;
    state.selectLibraryScope(LibraryScope::playlist(7));
    state.scopedTrackSelection = {row(3, 1)};
    state.scopedSortOrder = {{TrackColumn::artist, true}};
    state.trackSelection = {row(9)};
    state.selectLibraryScope(LibraryScope::playlist(7));
    EXPECT_EQ(state.scopedTrackSelection.size(), 1);
    EXPECT_EQ(state.scopedSortOrder.size(), 1u);
    state.selectLibraryScope(LibraryScope::playlist(8));
    EXPECT_EQ(state.libraryScope, LibraryScope::playlist(8));
    EXPECT_TRUE(state.scopedTrackSelection.isEmpty());
    EXPECT_TRUE(state.scopedSortOrder.empty());
    // The all-tracks table keeps its own selection.
    EXPECT_EQ(state.trackSelection.size(), 1);
}
