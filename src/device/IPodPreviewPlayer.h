#pragma once

// The audio player behind a track preview: one local file at a time, played through Qt
// Multimedia. Every way the player can fail (no media backend, no sound device, a missing or
// damaged file) ends in failed(), never in a crash; the store turns that into its one alert.
// Lives on the thread that created it (the main thread); all signals arrive there.

#include "platform/AppLanguage.h"

#include <QObject>
#include <QString>

#include <memory>

class QAudioOutput;
class QMediaPlayer;

class IPodPreviewPlayer : public QObject {
    Q_OBJECT

public:
    explicit IPodPreviewPlayer(QObject* parent = nullptr);
    ~IPodPreviewPlayer() override;

    // Whether a media backend that can open files is installed. Qt's GStreamer backend crashes
    // when GStreamer has no plugins at all, so no player is created without one.
    static bool backendAvailable();

    // The alert for any preview that cannot play, in the given language.
    static QString failureMessage(AppLanguage language);

    // Drops any current player and starts loading path. Ends in ready() or failed(); false (and
    // no signal) when no player can be created at all: no backend, or no such readable file.
    bool load(const QString& path);

    // Asks the loaded player to play; false when there is none or its media cannot play.
    bool play();
    void pause();

    // Stops and destroys the player (a load in progress is cancelled); no signal follows, and
    // the player holds no file open afterwards.
    void stop();

    // Moves to seconds, clamped to 0 ... duration; nothing without a loaded player.
    void seek(double seconds);

    bool hasPlayer() const { return player != nullptr; }
    bool isLoaded() const { return loaded; }
    bool isPlaying() const;
    // In seconds; 0 without a loaded player.
    double currentTime() const;
    double duration() const;

Q_SIGNALS:
    void ready();
    // The track played to its end.
    void finished();
    // Loading or playback failed (undecodable file, no output); the player is already dropped.
    void failed();

private:
    void handleStatus(quint64 from, int status);
    void fail(quint64 from);

    std::unique_ptr<QMediaPlayer> player;
    std::unique_ptr<QAudioOutput> output;
    bool loaded = false;
    // Bumped by every load and stop, so that queued calls for an older player do nothing.
    quint64 generation = 0;
};
