#pragma once

// The library pane for a loaded library: its header bar, a line, and the body chosen by the
// scope, the search and the view mode: the playlist browser, a playlist's table (or its
// placeholder when it is empty or nothing in it matches), the cover flow of the library or of a
// playlist, or the all-tracks table. It reads the store and the main view's state and reports
// what the user changes; the main view holds the state.

#include "appmodel/MainViewState.h"
#include "library/IPodPlaylist.h"

#include <QList>
#include <QWidget>

#include <functional>
#include <optional>
#include <tuple>
#include <vector>

class CoverFlowContent;
class EmptyStatePlaceholder;
class IPodStore;
class LibraryPaneHeader;
class QMenu;
class QStackedWidget;
class TrackTableView;

class LibraryContent : public QWidget {
    Q_OBJECT

public:
    enum class Shown {
        none, // no library loaded
        playlistBrowser,
        emptyPlaylist,
        noMatchingTracks,
        playlistTable,
        coverFlow,
        allTracksTable,
    };

    explicit LibraryContent(IPodStore& store, QWidget* parent = nullptr);

    // Applies the main view's state; only what changed reaches the tables.
    void setState(const MainViewState& state);
    const MainViewState& state() const { return state_; }

    Shown shown() const { return shown_; }
    LibraryPaneHeader* header() const { return header_; }
    TrackTableView* trackTable() const { return trackTable_; }
    TrackTableView* scopedTrackTable() const { return scopedTable_; }
    CoverFlowContent* coverFlow() const { return coverFlow_; }
    EmptyStatePlaceholder* placeholder() const { return placeholder_; }
    // The table on screen; null for the browser and the placeholders.
    TrackTableView* shownTable() const;
    // The selected track ids in the order the table on screen shows them.
    QList<quint64> selectedTrackIDsInTableOrder() const;
    // The menu of every track table of the pane.
    void setMenuProvider(const std::function<void(QMenu&, const QList<quint64>&)>& provider);

    // The playlist browser is built by its own view and shown here in its turn; until it is set
    // its place stays empty.
    void setPlaylistBrowser(QWidget* view);
    QWidget* playlistBrowserHost() const { return browserHost_; }

    // The rows of a playlist: each entry in order, numbered by its place in the playlist;
    // entries whose track is missing or does not match the search are left out, keeping the
    // numbers of the others.
    static QList<TrackRow> playlistContentRows(const QList<quint64>& trackIDs,
                                               const QList<Track>& tracks,
                                               const QString& searchText);
    // Tracks as rows numbered 1, 2, 3, ... in their order (a cover-flow group).
    static QList<TrackRow> playlistRows(const QList<Track>& tracks);
    // The tracks that match the search, in their order.
    static QList<Track> searchFiltered(const QList<Track>& tracks, const QString& searchText);

Q_SIGNALS:
    void trackSelectionChanged(const QSet<TrackRow::ID>& selection);
    void scopedTrackSelectionChanged(const QSet<TrackRow::ID>& selection);
    void sortOrderChanged(const TrackSortOrder& order);
    void scopedSortOrderChanged(const TrackSortOrder& order);
    // The scoped table appeared or its rows changed: its selection and sort order start over.
    void scopedTableReset();
    void deleteRequested(const QSet<quint64>& trackIDs);
    void coverFlowGroupingRequested(CoverFlowGroup::Grouping grouping);
    void groupPlaylistRequested(const QList<Track>& tracks, const QString& name);

protected:
    void changeEvent(QEvent* event) override;

private:
    void storeRowsChanged();
    void refresh();
    Shown choose(const std::optional<IPodPlaylist>& playlist) const;
    void showAllTracks();
    bool showPlaylist(const IPodPlaylist& playlist);
    void showPlaceholder(const QString& symbol, const QString& titleKey);
    void showCoverFlow(const std::function<QList<Track>()>& listedTracks);
    void refreshHeader();
    // Drops from the selection the actions read the rows the list on screen no longer shows.
    void keepSelectionShown();
    std::optional<quint64> playingTrackID() const;

    IPodStore& store_;
    MainViewState state_;
    Shown shown_ = Shown::none;

    LibraryPaneHeader* header_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    TrackTableView* trackTable_ = nullptr;
    TrackTableView* scopedTable_ = nullptr;
    QWidget* placeholderPage_ = nullptr;
    EmptyStatePlaceholder* placeholder_ = nullptr;
    QWidget* browserHost_ = nullptr;
    CoverFlowContent* coverFlow_ = nullptr;
    QString placeholderTitleKey_;

    // Bumped whenever the store's rows may have changed; each table remembers the last one it
    // took, so state changes alone never rebuild rows.
    quint64 rowsGeneration_ = 1;
    quint64 allTracksGeneration_ = 0;
    quint64 scopedGeneration_ = 0;
    std::optional<std::tuple<quint64, LibraryScope, QString>> coverFlowKey_;
    QList<Track> coverFlowTracks_;
    std::optional<LibraryScope> scopedScope_;
    QString scopedSearch_;
    std::vector<TrackRow::ID> scopedRowIDs_;
};
