#include "appmodel/MainViewState.h"

#include "library/IPodModel.h"

#include <limits>

int TrackRow::sortPosition() const {
    if (position)
        return *position;
    if (track.playbackPosition)
        return *track.playbackPosition;
    return std::numeric_limits<int>::max();
}

size_t qHash(const TrackRow::ID& id, size_t seed) noexcept {
    return qHashMulti(seed, id.trackID, id.position.has_value(), id.position.value_or(0));
}

const IPodDevice& DeviceConfirmation::device() const {
    return std::visit([](const auto& v) -> const IPodDevice& { return v.device; }, value);
}

namespace {

QSet<quint64> trackIDs(const QSet<TrackRow::ID>& rows) {
    QSet<quint64> ids;
    for (const TrackRow::ID& row : rows)
        ids.insert(row.trackID);
    return ids;
}

void removeRows(QSet<TrackRow::ID>& rows, const QSet<quint64>& ids) {
    for (auto it = rows.begin(); it != rows.end();) {
        if (ids.contains(it->trackID))
            it = rows.erase(it);
        else
            ++it;
    }
}

} // namespace

QSet<quint64> MainViewState::selectedTrackIDs() const {
    switch (libraryScope.kind) {
    case LibraryScope::Kind::browser:
        return {};
    case LibraryScope::Kind::allTracks:
        if (!showsCoverFlow)
            return trackIDs(trackSelection);
        break;
    case LibraryScope::Kind::playlist:
        break;
    }
    return trackIDs(scopedTrackSelection);
}

void MainViewState::showAllTracks() {
    if (libraryScope.kind == LibraryScope::Kind::allTracks)
        return;
    scopedTrackSelection.clear();
    scopedSortOrder.clear();
    libraryScope = LibraryScope::allTracks();
}

void MainViewState::resetScopedTableState() {
    scopedTrackSelection.clear();
    scopedSortOrder.clear();
}

void MainViewState::setViewMode(bool coverFlow) {
    if (libraryScope.kind == LibraryScope::Kind::browser)
        showAllTracks();
    if (coverFlow == showsCoverFlow)
        return;
    resetScopedTableState();
    if (coverFlow)
        coverFlowGrouping = CoverFlowGroup::Grouping::albums;
    showsCoverFlow = coverFlow;
}

void MainViewState::selectLibraryScope(const LibraryScope& scope) {
    if (scope == libraryScope)
        return;
    resetScopedTableState();
    libraryScope = scope;
}

void MainViewState::validatePlaylistScope(const QList<quint64>& playlistIDs) {
    if (libraryScope.kind == LibraryScope::Kind::playlist &&
        !playlistIDs.contains(libraryScope.playlistID))
        showAllTracks();
}

void MainViewState::resetForSelectionChange() {
    mobileLibrary.reset();
    trackSelection.clear();
    sortOrder.clear();
    scopedTrackSelection.clear();
    scopedSortOrder.clear();
    trackEditRequest.reset();
    libraryScope = LibraryScope::allTracks();
    librarySearch.clear();
    showsCoverFlow = false;
}

void MainViewState::librarySearchChanged() {
    if (libraryScope.kind == LibraryScope::Kind::browser && !librarySearch.trimmed().isEmpty())
        showAllTracks();
    trackSelection.clear();
    scopedTrackSelection.clear();
}

bool MainViewState::shouldStopPreview(const QSet<TrackRow::ID>& newSelection,
                                      std::optional<quint64> previewTrackID) {
    if (!previewTrackID)
        return false;
    return trackIDs(newSelection) != QSet<quint64>{*previewTrackID};
}

void MainViewState::removeFromSelections(const QSet<quint64>& ids) {
    removeRows(trackSelection, ids);
    removeRows(scopedTrackSelection, ids);
}

StartupSeries seriesForFamily(IPodModel::Family family) {
    switch (family) {
    case IPodModel::Family::classic:
        return StartupSeries::classic;
    case IPodModel::Family::shuffle:
        return StartupSeries::shuffle;
    case IPodModel::Family::nano:
        return StartupSeries::nano;
    }
    return StartupSeries::classic;
}

std::optional<StartupSeries> highlightedSeries(const SeriesHighlightInput& input,
                                               StartupSeries startupSeries) {
    switch (input.selection) {
    case SeriesHighlightInput::Selection::unmounted: {
        std::optional<IPodModel> model;
        if (input.unmountedProductID)
            model = IPodModel::fromProductID(*input.unmountedProductID, std::nullopt);
        return model ? seriesForFamily(model->family) : StartupSeries(StartupSeries::classic);
    }
    case SeriesHighlightInput::Selection::disk:
        if (input.diskModel)
            return seriesForFamily(input.diskModel->family);
        return std::nullopt;
    case SeriesHighlightInput::Selection::other:
        return std::nullopt;
    case SeriesHighlightInput::Selection::none:
        break;
    }
    return startupSeries;
}
