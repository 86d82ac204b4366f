#pragma once

// One track preview at a time, played from the iPod's volume: the track being previewed (set
// as soon as its load starts), whether it plays, and the player. The track's file is looked up
// on a background task; a stop or a newer preview drops what an older load brings back. Any
// failure stops the preview and is reported once through failed().

#include "device/IPodDevice.h"
#include "device/IPodPreviewPlayer.h"
#include "platform/Task.h"

#include <QObject>

#include <memory>
#include <optional>
#include <utility>

class PreviewController : public QObject {
    Q_OBJECT

public:
    // The player comes from IPodPreviewPlayer's factory; without one every preview fails.
    explicit PreviewController(QObject* parent = nullptr);
    ~PreviewController() override;

    const std::optional<quint64>& trackID() const { return trackID_; }
    bool isPlaying() const { return isPlaying_; }

    // Starts the track of device, or pauses and resumes the track already previewed.
    void toggle(const IPodDevice& device, quint64 trackID);
    // Stops and lets go of the file at once, so that nothing on the volume stays open.
    void stop();
    // (current time, duration) in seconds; none without a loaded player.
    std::optional<std::pair<double, double>> times() const;
    void seek(quint64 trackID, double seconds);

    void setTrackID(const std::optional<quint64>& id);

Q_SIGNALS:
    void trackIDChanged();
    void isPlayingChanged();
    // The preview could not load or play; it has been stopped.
    void failed();

private:
    void startLoad(const IPodDevice& device, quint64 trackID);
    void startPlayback();
    void fail();
    void setPlaying(bool playing);
    bool isLoaded() const { return player && player->isLoaded(); }

    std::unique_ptr<IPodPreviewPlayer> player;
    std::optional<quint64> trackID_;
    bool isPlaying_ = false;
    Task load;
    quint64 generation = 0; // bumped by every start and stop
};
