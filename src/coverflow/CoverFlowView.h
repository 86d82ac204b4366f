#pragma once

// The library pane's cover-flow mode: one cover per group of the selected iPod's tracks, the
// shown group's caption over the bottom of the covers, buttons to step between groups and to
// make a playlist of the settled group, and under the covers the track table of the group the
// selection has rested on. Covers are read from the iPod in the background, only for the groups
// around a selection that has rested.

#include "coverflow/CoverCarousel.h"
#include "device/CoverArtworkLoader.h"
#include "device/IPodDevice.h"
#include "library/CoverFlowGroup.h"
#include "platform/Task.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class IPodStore;
class QAbstractButton;
class QLabel;

class CoverFlowView : public QWidget {
    Q_OBJECT

public:
    // Called with the settled group; empty when no playlist may be made (no button then).
    using AddPlaylistAction = std::function<void(const CoverFlowGroup&)>;
    // Makes the table shown under the covers for the settled group's tracks, in group order; the
    // view owns what it returns. Empty: the view's own table.
    using TrackTableBuilder = std::function<QWidget*(const QList<Track>& tracks)>;
    // Shows new values of the same tracks (an edit) in a table the builder made, which keeps its
    // selection and scroll position. Empty: such a table is made afresh.
    using TrackTableUpdater = std::function<void(QWidget* table, const QList<Track>& tracks)>;
    // Reads the covers of the tracks off the main thread (CoverArtworkLoader::loadArtwork).
    using ArtworkReader = std::function<CoverArtworkLoader::Artwork(const IPodDevice& device,
                                                                    const QSet<quint64>& trackIDs)>;

    // How long the selection must rest before the table follows and covers are read.
    static constexpr int settleDelayMs = 180;
    // Covers are read for the settled group and this many on each side.
    static constexpr int windowRadius = 4;
    // Past this many requested keys, what lies outside the current window is forgotten.
    static constexpr int maxRequestedKeys = 48;

    // The store is followed so that covers of a device it no longer selects are dropped.
    CoverFlowView(IPodStore& store, const IPodDevice& device, QList<CoverFlowGroup> groups,
                  QString unknownTitle, AddPlaylistAction addPlaylist = {},
                  TrackTableBuilder trackTable = {}, TrackTableUpdater updateTrackTable = {},
                  QWidget* parent = nullptr);
    ~CoverFlowView() override;

    // New inputs from the pane; the view keeps its selection and the covers it has read.
    void setGroups(QList<CoverFlowGroup> groups);
    void setUnknownTitle(QString title);
    void setAddPlaylist(AddPlaylistAction action);
    // Another reader for the reads that start from now on.
    void setArtworkReader(ArtworkReader reader);
    // Another device: its covers are read afresh, and a read still running for the old one is
    // dropped.
    void setDevice(const IPodDevice& device);

    const IPodDevice& device() const { return device_; }
    const QList<CoverFlowGroup>& groups() const { return groups_; }
    // The selection as the control and the group buttons write it (may lie past the groups).
    int selection() const { return selection_; }
    void setSelection(int selection);
    int settledSelection() const { return settledSelection_; }
    // The selection pulled into the groups; -1 without groups.
    int shownIndex() const;
    // The settled selection pulled down into the groups; -1 without groups.
    int settledIndex() const;
    // Covers read so far, by track id, and the keys whose reading has completed (not those whose
    // stored cover could not be looked at: asked for again right away, once, of a new cover
    // process, and whenever they are shown again).
    const QHash<quint64, QByteArray>& artwork() const { return artwork_; }
    const QSet<quint64>& requested() const { return requested_; }
    bool isReadingArtwork() const { return reading.has_value(); }

    CoverFlowControl* control() const { return control_; }
    QWidget* stage() const { return stage_; }
    QWidget* trackTableWidget() const { return table_; }
    QAbstractButton* addPlaylistButton() const { return addButton; }
    QAbstractButton* previousGroupButton() const { return previousButton; }
    QAbstractButton* nextGroupButton() const { return nextButton; }
    // The caption's title and artist lines.
    QWidget* captionWidget() const { return captionBlock; }
    QString captionTitle() const;
    QString captionArtist() const;

Q_SIGNALS:
    // The selection rested on a group (its index).
    void selectionSettled(int index);
    // Covers read from the device were merged (or trimmed).
    void artworkChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The settle step runs while the view is shown: showing starts it, hiding cancels it.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Request {
        QSet<quint64> window; // the keys of the whole window
        QSet<quint64> wanted; // those not read yet
        int index = 0;
        quint64 generation = 0;
        bool isRetry = false; // of covers that could not be looked at
    };

    void buildStage();
    void layoutStage();
    // The caption's two lines, whatever they hold.
    int reservedCaptionHeight() const;
    void relabel();
    // Re-renders from the inputs and the state.
    void refresh();
    void refreshButtons(int shown);
    void refreshTable();
    // The cover keys of the groups within windowRadius of the index, in group order.
    QList<quint64> windowKeyList(int index) const;
    void restartSettle(int index);
    void settle();
    void requestArtwork(const QSet<quint64>& keys, int index);
    void startReading(const Request& request);
    void finishReading(const Request& request,
                       const std::optional<CoverArtworkLoader::Artwork>& result);
    void cancelReading();
    bool storeSelectsDevice() const;

    IPodStore& store;
    IPodDevice device_;
    QList<CoverFlowGroup> groups_;
    QString unknownTitle_;
    AddPlaylistAction addPlaylist_;
    TrackTableBuilder trackTable_;
    TrackTableUpdater updateTrackTable_;
    ArtworkReader readArtwork;

    int selection_ = 0;
    int settledSelection_ = 0;
    QHash<quint64, QByteArray> artwork_;
    QSet<quint64> requested_;

    CoverCarousel carousel;
    std::unique_ptr<CoverCarousel::Coordinator> coordinator;

    // The settle step: keyed by the shown index, the window's keys and the device, so that a
    // new group list or device starts it again.
    struct SettleKey {
        int index = -1;
        QList<quint64> window;
        IPodDevice::ID device;
        bool operator==(const SettleKey&) const = default;
    };
    std::optional<SettleKey> settleKey;
    int settleTarget = -1;
    QTimer settleTimer;
    // One read at a time: a newer request waits for the running one (cancelled when superseded)
    // and replaces any request still waiting.
    std::optional<Request> reading;
    Task readingTask;
    std::optional<Request> waiting;
    quint64 generation = 0;

    // The tracks the table shows, as they were when it was made or last updated.
    std::optional<QList<Track>> tableTracks;

    QWidget* stage_ = nullptr;
    CoverFlowControl* control_ = nullptr;
    QWidget* shade = nullptr;
    QWidget* captionBlock = nullptr;
    QLabel* captionTitleLabel = nullptr;
    QLabel* captionArtistLabel = nullptr;
    QAbstractButton* addButton = nullptr;
    QWidget* groupButtons = nullptr;
    QAbstractButton* previousButton = nullptr;
    QAbstractButton* nextButton = nullptr;
    QWidget* separator = nullptr;
    QWidget* tableHost = nullptr;
    QWidget* table_ = nullptr;
};
