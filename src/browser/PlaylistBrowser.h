#pragma once

// The "Browse Playlists" scope of the library pane: a header with "New Playlist", then a grid of
// tiles, one per playlist of the loaded library in device order (at least 230 wide, wrapping),
// or a placeholder when there are none. A tile opens its playlist; its move buttons, shown only
// on a writable library with two or more playlists, move it through the store's edit.

#include "device/IPodLibrary.h"
#include "platform/AppLanguage.h"

#include <QHash>
#include <QList>
#include <QWidget>

class AdaptiveGridLayout;
class EmptyStatePlaceholder;
class FilledButton;
class IPodStore;
class PlaylistTile;
class QLabel;
class QScrollArea;
class QStackedWidget;

class PlaylistBrowser : public QWidget {
    Q_OBJECT

public:
    static constexpr int minimumTileWidth = 230;
    static constexpr int tileSpacing = 12;

    struct TileSummary {
        qsizetype trackCount = 0;
        double totalDuration = 0;
        bool operator==(const TileSummary&) const = default;
    };

    // Track id -> duration in seconds; where two tracks share an id the first one counts.
    static QHash<quint64, double> playlistDurations(const QList<Track>& tracks);
    // Every entry counts, also ids without a track; those add nothing to the duration.
    static TileSummary tileSummary(const IPodPlaylist& playlist,
                                   const QHash<quint64, double>& durations);
    static QString summaryText(const TileSummary& summary, AppLanguage language);
    static bool showsMoveButtons(const IPodLibrary& library);

    explicit PlaylistBrowser(IPodStore& store, QWidget* parent = nullptr);

    QList<PlaylistTile*> tiles() const { return tiles_; }
    FilledButton* newPlaylistButton() const { return newPlaylist_; }
    QLabel* titleLabel() const { return title_; }
    QLabel* readOnlyLabel() const { return readOnly_; }
    EmptyStatePlaceholder* placeholder() const { return placeholder_; }
    bool showsPlaceholder() const;
    AdaptiveGridLayout* grid() const { return grid_; }

Q_SIGNALS:
    void openPlaylistRequested(quint64 playlistID);
    void newPlaylistRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void rebuild();
    void refreshEnablement();
    void retranslate();

    IPodStore& store_;
    QLabel* title_ = nullptr;
    QLabel* readOnly_ = nullptr;
    FilledButton* newPlaylist_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    EmptyStatePlaceholder* placeholder_ = nullptr;
    QWidget* placeholderPage_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* gridHost_ = nullptr;
    AdaptiveGridLayout* grid_ = nullptr;
    QList<PlaylistTile*> tiles_;
    QList<TileSummary> summaries_; // one per tile
};
