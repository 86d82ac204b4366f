#include "device/PreviewController.h"

#include "library/IPodDatabase.h"

PreviewController::PreviewController(QObject* parent)
    : QObject(parent)
    , player(IPodPreviewPlayer::make()) {
    if (!player)
        return;
    connect(player.get(), &IPodPreviewPlayer::ready, this, [this] {
        if (trackID_ && !load.isValid())
            startPlayback();
    });
    connect(player.get(), &IPodPreviewPlayer::finished, this, [this] { stop(); });
    connect(player.get(), &IPodPreviewPlayer::failed, this, [this] { fail(); });
}

PreviewController::~PreviewController() = default;

void PreviewController::setTrackID(const std::optional<quint64>& id) {
    trackID_ = id;
    Q_EMIT trackIDChanged();
}

void PreviewController::setPlaying(bool playing) {
    isPlaying_ = playing;
    Q_EMIT isPlayingChanged();
}

void PreviewController::toggle(const IPodDevice& device, quint64 trackID) {
    if (trackID_ != trackID) {
        stop();
        startLoad(device, trackID);
        return;
    }
    if (!isLoaded())
        return; // still loading
    if (isPlaying_) {
        player->pause();
        setPlaying(false);
    } else {
        startPlayback();
    }
}

void PreviewController::startLoad(const IPodDevice& device, quint64 trackID) {
    setTrackID(trackID);
    const quint64 current = ++generation;
    load = Task::run(
        TaskPriority::userInitiated, this,
        [device, trackID] {
            QString path;
            {
                const std::unique_ptr<IPodDatabase> database =
                    device.openDatabase(SessionAccess::reading);
                path = database->fileURL(trackID);
            }
            device.verifyIdentity();
            return path;
        },
        [this, current](std::optional<QString> path, std::exception_ptr) {
            // Whatever stopped the lookup, the user sees the one preview alert.
            if (current != generation)
                return; // stopped or replaced meanwhile
            load = Task();
            if (!path || !player || !player->load(*path)) {
                fail();
                return;
            }
            // Playback starts when the player reports the file loaded.
        });
}

void PreviewController::startPlayback() {
    if (player && player->play()) {
        setPlaying(true);
        return;
    }
    fail();
}

void PreviewController::fail() {
    stop();
    Q_EMIT failed();
}

void PreviewController::stop() {
    ++generation;
    load.cancel();
    load = Task();
    // Destroyed at once, so that no file on the volume stays open (an eject would fail).
    if (player)
        player->stop();
    if (trackID_)
        setTrackID(std::nullopt);
    if (isPlaying_)
        setPlaying(false);
}

std::optional<std::pair<double, double>> PreviewController::times() const {
    if (!isLoaded())
        return std::nullopt;
    return std::make_pair(player->currentTime(), player->duration());
}

void PreviewController::seek(quint64 trackID, double seconds) {
    if (trackID_ == trackID && isLoaded())
        player->seek(seconds);
}
