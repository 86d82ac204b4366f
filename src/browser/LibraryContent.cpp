#include "browser/LibraryContent.h"

#include "browser/CoverFlowContent.h"
#include "browser/EmptyStatePlaceholder.h"
#include "browser/LibraryPaneHeader.h"
#include "browser/LibrarySearch.h"
#include "browser/Surfaces.h"
#include "browser/TrackTableModel.h"
#include "browser/TrackTableView.h"
#include "device/IPodStore.h"

#include <QEvent>
#include <QHash>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QWidget* host(QWidget* parent, const QString& name) {
    auto* widget = new QWidget(parent);
    widget->setObjectName(name);
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return widget;
}

void place(QWidget* host, QWidget* view) {
    QLayout* layout = host->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* old = item->widget())
            old->deleteLater();
        delete item;
    }
    if (view)
        layout->addWidget(view);
}

} // namespace

LibraryContent::LibraryContent(IPodStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store) {
    setObjectName(QStringLiteral("libraryContent"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    header_ = new LibraryPaneHeader(store_, this);
    layout->addWidget(header_);
    layout->addWidget(Surfaces::separator(this));
    stack_ = new QStackedWidget(this);
    layout->addWidget(stack_, 1);

    trackTable_ = new TrackTableView(TrackTableView::Kind::allTracks, stack_);
    scopedTable_ = new TrackTableView(TrackTableView::Kind::scoped, stack_);
    placeholder_ = EmptyStatePlaceholder::inPage(stack_);
    placeholderPage_ = placeholder_->parentWidget();
    browserHost_ = host(stack_, QStringLiteral("playlistBrowserHost"));
    coverFlow_ = new CoverFlowContent(store_, stack_);
    for (QWidget* page : {static_cast<QWidget*>(trackTable_), static_cast<QWidget*>(scopedTable_),
                          placeholderPage_, browserHost_, static_cast<QWidget*>(coverFlow_)})
        stack_->addWidget(page);

    connect(trackTable_, &TrackTableView::selectionChangeRequested, this, [this](const auto& rows) {
        state_.trackSelection = rows;
        Q_EMIT trackSelectionChanged(rows);
    });
    connect(scopedTable_, &TrackTableView::selectionChangeRequested, this,
            [this](const auto& rows) {
                state_.scopedTrackSelection = rows;
                Q_EMIT scopedTrackSelectionChanged(rows);
            });
    connect(trackTable_, &TrackTableView::sortOrderChangeRequested, this,
            [this](const TrackSortOrder& order) {
                state_.sortOrder = order;
                Q_EMIT sortOrderChanged(order);
            });
    connect(scopedTable_, &TrackTableView::sortOrderChangeRequested, this,
            [this](const TrackSortOrder& order) {
                state_.scopedSortOrder = order;
                Q_EMIT scopedSortOrderChanged(order);
            });
    for (TrackTableView* table : {trackTable_, scopedTable_}) {
        connect(table, &TrackTableView::previewRequested, this,
                [this](quint64 trackID) { store_.playPreview(trackID); });
        connect(table, &TrackTableView::deleteRequested, this, &LibraryContent::deleteRequested);
    }

    connect(coverFlow_, &CoverFlowContent::scopedTrackSelectionChanged, this,
            [this](const auto& rows) {
                state_.scopedTrackSelection = rows;
                Q_EMIT scopedTrackSelectionChanged(rows);
            });
    connect(coverFlow_, &CoverFlowContent::scopedSortOrderChanged, this,
            [this](const TrackSortOrder& order) {
                state_.scopedSortOrder = order;
                Q_EMIT scopedSortOrderChanged(order);
            });
    connect(coverFlow_, &CoverFlowContent::scopedTableReset, this, [this] {
        state_.resetScopedTableState();
        Q_EMIT scopedTableReset();
    });
    connect(coverFlow_, &CoverFlowContent::deleteRequested, this, &LibraryContent::deleteRequested);
    connect(coverFlow_, &CoverFlowContent::groupingRequested, this,
            &LibraryContent::coverFlowGroupingRequested);
    connect(coverFlow_, &CoverFlowContent::groupPlaylistRequested, this,
            &LibraryContent::groupPlaylistRequested);

    connect(&store_, &IPodStore::libraryChanged, this, &LibraryContent::storeRowsChanged);
    connect(&store_, &IPodStore::stagedImportTracksChanged, this,
            &LibraryContent::storeRowsChanged);
    // The staged tracks belong to the selection only while it is the busy device.
    connect(&store_, &IPodStore::activeDeviceIDChanged, this, &LibraryContent::storeRowsChanged);
    connect(&store_, &IPodStore::selectionChanged, this, &LibraryContent::storeRowsChanged);
    connect(&store_, &IPodStore::previewTrackIDChanged, this, &LibraryContent::refresh);
    connect(&store_, &IPodStore::isPreviewPlayingChanged, this, &LibraryContent::refresh);
    refresh();
}

void LibraryContent::setState(const MainViewState& state) {
    state_ = state;
    refresh();
}

void LibraryContent::setPlaylistBrowser(QWidget* view) {
    place(browserHost_, view);
}

void LibraryContent::setMenuProvider(
    const std::function<void(QMenu&, const QList<quint64>&)>& provider) {
    trackTable_->setMenuProvider(provider);
    scopedTable_->setMenuProvider(provider);
    coverFlow_->setMenuProvider(provider);
}

TrackTableView* LibraryContent::shownTable() const {
    switch (shown_) {
    case Shown::allTracksTable:
        return trackTable_;
    case Shown::playlistTable:
        return scopedTable_;
    case Shown::coverFlow:
        return coverFlow_->shownTrackTable();
    default:
        return nullptr;
    }
}

QList<quint64> LibraryContent::selectedTrackIDsInTableOrder() const {
    const QSet<quint64> ids = state_.selectedTrackIDs();
    if (TrackTableView* table = shownTable(); table && ids.size() > 1)
        return table->trackIDsInTableOrder(ids);
    return QList<quint64>(ids.cbegin(), ids.cend());
}

void LibraryContent::refreshHeader() {
    header_->setState(state_, selectedTrackIDsInTableOrder());
}

void LibraryContent::storeRowsChanged() {
    ++rowsGeneration_;
    refresh();
}

std::optional<quint64> LibraryContent::playingTrackID() const {
    return store_.isPreviewPlaying() ? store_.previewTrackID() : std::nullopt;
}

// MARK: rows

QList<TrackRow> LibraryContent::playlistContentRows(const QList<quint64>& trackIDs,
                                                    const QList<Track>& tracks,
                                                    const QString& searchText) {
    // The first track of an id wins, should a snapshot ever repeat one.
    QHash<quint64, qsizetype> index;
    index.reserve(tracks.size());
    for (qsizetype i = tracks.size() - 1; i >= 0; --i)
        index.insert(tracks[i].id, i);
    const QString query = LibrarySearch::fold(LibrarySearch::query(searchText));
    QList<TrackRow> rows;
    int position = 0;
    for (quint64 id : trackIDs) {
        ++position;
        const auto found = index.constFind(id);
        if (found == index.cend())
            continue;
        const Track& track = tracks[*found];
        if (!LibrarySearch::matches(track, query))
            continue;
        rows.append({track, position});
    }
    return rows;
}

QList<TrackRow> LibraryContent::playlistRows(const QList<Track>& tracks) {
    QList<TrackRow> rows;
    rows.reserve(tracks.size());
    int position = 0;
    for (const Track& track : tracks)
        rows.append({track, ++position});
    return rows;
}

QList<Track> LibraryContent::searchFiltered(const QList<Track>& tracks, const QString& searchText) {
    const QString query = LibrarySearch::fold(LibrarySearch::query(searchText));
    if (query.isEmpty())
        return tracks;
    QList<Track> kept;
    for (const Track& track : tracks) {
        if (LibrarySearch::matches(track, query))
            kept.append(track);
    }
    return kept;
}

// MARK: content

LibraryContent::Shown LibraryContent::choose(const std::optional<IPodPlaylist>& playlist) const {
    if (state_.libraryScope.kind == LibraryScope::Kind::browser)
        return Shown::playlistBrowser;
    if (playlist)
        return playlist->trackIDs.isEmpty() ? Shown::emptyPlaylist : Shown::playlistTable;
    if (state_.showsCoverFlow)
        return Shown::coverFlow;
    return Shown::allTracksTable;
}

void LibraryContent::refresh() {
    const std::optional<IPodLibrary>& library = store_.library();
    if (!library) {
        shown_ = Shown::none;
        refreshHeader();
        return;
    }
    std::optional<IPodPlaylist> playlist;
    if (state_.libraryScope.kind == LibraryScope::Kind::playlist) {
        for (const IPodPlaylist& candidate : library->playlists) {
            if (candidate.id == state_.libraryScope.playlistID) {
                playlist = candidate;
                break;
            }
        }
    }
    Shown next = choose(playlist);
    bool reset = false;
    switch (next) {
    case Shown::playlistBrowser:
        stack_->setCurrentWidget(browserHost_);
        break;
    case Shown::coverFlow:
        // The library's tracks after the search; the staged placeholders are not among them.
        showCoverFlow([&] { return searchFiltered(library->tracks, state_.librarySearch); });
        break;
    case Shown::emptyPlaylist:
        showPlaceholder(QStringLiteral("music.note.list"), LZ("This playlist is empty"));
        break;
    case Shown::playlistTable:
        if (state_.showsCoverFlow) {
            // The playlist's rows in playlist order, as the covers' tracks.
            showCoverFlow([&] {
                QList<Track> tracks;
                for (const TrackRow& row :
                     playlistContentRows(playlist->trackIDs, library->tracks, state_.librarySearch))
                    tracks.append(row.track);
                return tracks;
            });
            if (coverFlowTracks_.isEmpty() &&
                !LibrarySearch::query(state_.librarySearch).isEmpty()) {
                showPlaceholder(QStringLiteral("magnifyingglass"), LZ("No Matching Tracks"));
                next = Shown::noMatchingTracks;
                break;
            }
            next = Shown::coverFlow;
            break;
        }
        reset = showPlaylist(*playlist);
        if (stack_->currentWidget() == placeholderPage_)
            next = Shown::noMatchingTracks;
        break;
    default:
        showAllTracks();
        break;
    }
    shown_ = next;
    if (reset)
        Q_EMIT scopedTableReset();
    keepSelectionShown();
    refreshHeader();
}

void LibraryContent::keepSelectionShown() {
    // An edit, a reload or a scope can take a selected row out of the list while the selection
    // keeps it; the status line, the action bar and the Delete key would then act on a track the
    // user no longer sees.
    if (shown_ == Shown::none || shown_ == Shown::playlistBrowser)
        return;
    const bool scoped = shown_ != Shown::allTracksTable;
    QSet<TrackRow::ID>& selection = scoped ? state_.scopedTrackSelection : state_.trackSelection;
    if (selection.isEmpty())
        return;
    QSet<TrackRow::ID> kept;
    TrackTableView* table = shownTable();
    if (table) {
        const TrackTableModel& model = *table->trackModel();
        for (int row = 0; row < model.rowCount() && kept.size() < selection.size(); ++row) {
            const TrackRow::ID id = model.rowAt(row).id();
            if (selection.contains(id))
                kept.insert(id);
        }
    }
    if (kept == selection)
        return;
    selection = kept;
    if (table)
        table->setSelectedRows(kept);
    if (scoped)
        Q_EMIT scopedTrackSelectionChanged(kept);
    else
        Q_EMIT trackSelectionChanged(kept);
}

void LibraryContent::showCoverFlow(const std::function<QList<Track>()>& listedTracks) {
    // The list is made again only when the library, the scope or the search changed, not for
    // every change of a selection.
    const auto key = std::make_tuple(rowsGeneration_, state_.libraryScope, state_.librarySearch);
    if (key != coverFlowKey_) {
        coverFlowTracks_ = listedTracks();
        coverFlowKey_ = key;
    }
    coverFlow_->setContent(coverFlowTracks_, state_);
    stack_->setCurrentWidget(coverFlow_);
}

void LibraryContent::showAllTracks() {
    const IPodLibrary& library = *store_.library();
    TrackTableModel* model = trackTable_->trackModel();
    model->batch([&] {
        if (allTracksGeneration_ != rowsGeneration_) {
            model->setTracks(store_.displayedTracks());
            QSet<quint64> staged;
            for (const Track& track : store_.stagedTracksForSelection())
                staged.insert(track.id);
            model->setStagedTrackIDs(staged);
            model->setSupportsRatings(library.supportsRatings);
            model->setStartTrackID(library.resumeTrackID);
            allTracksGeneration_ = rowsGeneration_;
        }
        model->setPlayingTrackID(playingTrackID());
        model->setSearch(state_.librarySearch);
        model->setSortOrder(state_.sortOrder);
    });
    trackTable_->setSelectedRows(state_.trackSelection);
    stack_->setCurrentWidget(trackTable_);
}

bool LibraryContent::showPlaylist(const IPodPlaylist& playlist) {
    const IPodLibrary& library = *store_.library();
    TrackTableModel* model = scopedTable_->trackModel();
    const bool rowsStale = scopedGeneration_ != rowsGeneration_ ||
                           scopedScope_ != state_.libraryScope ||
                           scopedSearch_ != state_.librarySearch;
    QList<TrackRow> rows =
        rowsStale ? playlistContentRows(playlist.trackIDs, library.tracks, state_.librarySearch)
                  : model->givenRows();
    if (rows.isEmpty() && !LibrarySearch::query(state_.librarySearch).isEmpty()) {
        // Keeps what the table was given, so its next appearance starts it over.
        showPlaceholder(QStringLiteral("magnifyingglass"), LZ("No Matching Tracks"));
        return false;
    }
    std::vector<TrackRow::ID> ids;
    ids.reserve(std::size_t(rows.size()));
    for (const TrackRow& row : rows)
        ids.push_back(row.id());
    const bool reset = shown_ != Shown::playlistTable || ids != scopedRowIDs_;
    if (reset) {
        state_.scopedSortOrder.clear();
        state_.scopedTrackSelection.clear();
    }
    scopedRowIDs_ = std::move(ids);
    scopedGeneration_ = rowsGeneration_;
    scopedScope_ = state_.libraryScope;
    scopedSearch_ = state_.librarySearch;
    model->batch([&] {
        if (rowsStale)
            model->setRows(std::move(rows));
        model->setSupportsRatings(library.supportsRatings);
        model->setPlayingTrackID(playingTrackID());
        model->setSortOrder(state_.scopedSortOrder);
    });
    scopedTable_->setSelectedRows(state_.scopedTrackSelection);
    stack_->setCurrentWidget(scopedTable_);
    return reset;
}

void LibraryContent::showPlaceholder(const QString& symbol, const QString& titleKey) {
    placeholderTitleKey_ = titleKey;
    placeholder_->setContent(symbol, localizedString(titleKey, AppLanguages::stored()));
    stack_->setCurrentWidget(placeholderPage_);
}

void LibraryContent::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange && !placeholderTitleKey_.isEmpty())
        placeholder_->setContent(placeholder_->symbol(),
                                 localizedString(placeholderTitleKey_, AppLanguages::stored()));
    QWidget::changeEvent(event);
}
