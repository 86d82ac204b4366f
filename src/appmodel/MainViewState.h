#pragma once

// The main window's view state that outlives a single pane: the library scope, the two table
// selections and sort orders, the search text, the pending confirmation and sheet requests, the
// showcase series. Plain values with the rules that change them, so every pane reads and writes
// the same fields.

#include "appmodel/StartupSeries.h"
#include "device/IPodDevice.h"
#include "device/MobileDevice.h"
#include "library/CoverFlowGroup.h"
#include "library/IPodModel.h"
#include "library/Track.h"
#include "library/TrackMetadata.h"

#include <QHashFunctions>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>
#include <variant>
#include <vector>

// Which part of a library the pane shows.
struct LibraryScope {
    enum class Kind {
        playlist,
        allTracks,
        browser,
    };
    Kind kind = Kind::allTracks;
    quint64 playlistID = 0; // for playlist only

    static LibraryScope allTracks() { return {}; }
    static LibraryScope browser() { return {Kind::browser, 0}; }
    static LibraryScope playlist(quint64 id) { return {Kind::playlist, id}; }

    bool operator==(const LibraryScope& other) const {
        return kind == other.kind && (kind != Kind::playlist || playlistID == other.playlistID);
    }
};

// One row of a track table. One track listed twice in a playlist gives two rows.
struct TrackRow {
    struct ID {
        quint64 trackID = 0;
        std::optional<int> position;
        bool operator==(const ID&) const = default;
    };

    Track track;
    std::optional<int> position; // the row's place in a playlist; none in the all-tracks list

    ID id() const { return {track.id, position}; }
    // The "No." column's key: the playlist position, else the playback position, else last.
    int sortPosition() const;
};

size_t qHash(const TrackRow::ID& id, size_t seed = 0) noexcept;

// The columns of the track tables, in their order on screen; rating shows only for libraries
// that keep ratings.
enum class TrackColumn {
    number,
    title,
    artist,
    album,
    genre,
    format,
    rating,
    size,
    duration,
};

// One key of a table's sort order: the column and its direction.
struct TrackSortKey {
    TrackColumn column = TrackColumn::number;
    bool ascending = true;
    bool operator==(const TrackSortKey&) const = default;
};
// The first key decides, later ones break its ties; empty keeps the rows in their given order.
using TrackSortOrder = std::vector<TrackSortKey>;

// What the confirmation in front of an eject or a delete asks about; it keeps the device value
// itself so that confirming acts on the device shown.
struct DeviceConfirmation {
    struct Eject {
        IPodDevice device;
    };
    struct Delete {
        QSet<quint64> ids;
        IPodDevice device;
    };
    std::variant<Eject, Delete> value;

    static DeviceConfirmation eject(const IPodDevice& device) { return {Eject{device}}; }
    static DeviceConfirmation remove(QSet<quint64> ids, const IPodDevice& device) {
        return {Delete{std::move(ids), device}};
    }
    const IPodDevice& device() const;
};

struct TrackEditRequest {
    quint64 id = 0; // the track's id
    IPodDevice::ID deviceID;
    TrackMetadata metadata;
    QList<QString> genres;
};

struct NewPlaylistRequest {
    QUuid id = QUuid::createUuid();
    IPodDevice::ID deviceID;
    QList<Track> tracks;
    QString name;
    bool selectAll = false;
};

struct MainViewState {
    bool isOverTable = false;
    bool isOverDropZone = false;
    bool showsSettings = false;
    StartupSeries startupSeries = StartupSeries::shuffle;
    TrackSortOrder sortOrder;
    TrackSortOrder scopedSortOrder;
    QSet<TrackRow::ID> trackSelection;
    QSet<TrackRow::ID> scopedTrackSelection;
    std::optional<DeviceConfirmation> pendingConfirmation;
    std::optional<NewPlaylistRequest> newPlaylistRequest;
    std::optional<TrackEditRequest> trackEditRequest;
    std::optional<double> previewSeekPosition;
    LibraryScope libraryScope;
    QString librarySearch;
    bool showsCoverFlow = false;
    CoverFlowGroup::Grouping coverFlowGrouping = CoverFlowGroup::Grouping::albums;
    // The iPod touch pane's last song list, with the device it belongs to.
    struct MobileLibrary {
        QString deviceID;
        std::optional<QList<MobileDevice::Song>> songs;
    };
    std::optional<MobileLibrary> mobileLibrary;

    // The track ids the action bar, status line and preview act on.
    QSet<quint64> selectedTrackIDs() const;

    // Back to the all-tracks list, forgetting the scoped table's state; nothing when already
    // there.
    void showAllTracks();

    // The scoped table starts over (another playlist or group, or other rows in it).
    void resetScopedTableState();

    // The view-mode buttons: either one leaves the playlist browser for all tracks; a real change
    // of mode starts the scoped table over, and turning cover flow on starts with albums.
    void setViewMode(bool coverFlow);

    // The scope menu: choosing the current scope again keeps the scoped table's state.
    void selectLibraryScope(const LibraryScope& scope);

    // A playlist scope whose playlist is no longer among the library's goes back to all tracks.
    void validatePlaylistScope(const QList<quint64>& playlistIDs);

    // Every newly selected device starts from the all-tracks list with no search, selection,
    // sort or cover flow. The grouping, the series, a pending confirmation and a new-playlist
    // request stay.
    void resetForSelectionChange();

    // Typing a real query leaves the playlist browser; every edit clears both selections.
    void librarySearchChanged();

    // Whether a changed all-tracks selection stops the preview of previewTrackID.
    static bool shouldStopPreview(const QSet<TrackRow::ID>& newSelection,
                                  std::optional<quint64> previewTrackID);

    // Rows of deleted tracks leave both selections at once.
    void removeFromSelections(const QSet<quint64>& ids);
};

// The series row drawn as current in the sidebar.
struct SeriesHighlightInput {
    enum class Selection {
        none,
        unmounted, // an unmounted iPod the store still lists
        disk,
        other, // any other selection, or an unmounted one the store no longer lists
    };
    Selection selection = Selection::none;
    std::optional<int> unmountedProductID;
    std::optional<IPodModel> diskModel; // the model the store knows for the selected disk
};
std::optional<StartupSeries> highlightedSeries(const SeriesHighlightInput& input,
                                               StartupSeries startupSeries);

// The same three cases in the same order.
StartupSeries seriesForFamily(IPodModel::Family family);
