#pragma once

// The preview player that plays sound, through Qt Multimedia. A media player exists only while
// a preview loads or plays, so the object itself holds nothing open.

#include "device/IPodPreviewPlayer.h"

#include <QString>

#include <memory>

class QAudioOutput;
class QMediaPlayer;

class MediaPreviewPlayer : public IPodPreviewPlayer {
    Q_OBJECT

public:
    explicit MediaPreviewPlayer(QObject* parent = nullptr);
    ~MediaPreviewPlayer() override;

    // Whether a media backend that can open files is installed. Qt's GStreamer backend crashes
    // when GStreamer has no plugins at all, so no player is created without one.
    static bool backendAvailable();

    bool load(const QString& path) override;
    bool play() override;
    void pause() override;
    // Destroys the media player, so that it holds no file on the volume open afterwards.
    void stop() override;
    void seek(double seconds) override;

    bool hasPlayer() const { return player != nullptr; }
    bool isLoaded() const override { return loaded; }
    bool isPlaying() const;
    double currentTime() const override;
    double duration() const override;

private:
    void handleStatus(quint64 from, int status);
    void fail(quint64 from);

    std::unique_ptr<QMediaPlayer> player;
    std::unique_ptr<QAudioOutput> output;
    bool loaded = false;
    // Bumped by every load and stop, so that queued calls for an older player do nothing.
    quint64 generation = 0;
};
