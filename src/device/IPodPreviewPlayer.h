#pragma once

// The audio player behind a track preview, as the store sees it: one local file at a time.
// Every way a player can fail (no media backend, no sound device, a missing or damaged file)
// ends in failed(), never in a crash; the store turns that into its one alert. The player that
// plays sound lives above this layer and is handed in through the factory at start-up; without
// one, every preview fails with that alert. Lives on the main thread; all signals arrive there.

#include "platform/AppLanguage.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class IPodPreviewPlayer : public QObject {
    Q_OBJECT

public:
    using Factory = std::function<std::unique_ptr<IPodPreviewPlayer>()>;

    // Set once at start-up, before the store is made.
    static void setFactory(Factory factory);
    // A new player from the factory; null when none was set.
    static std::unique_ptr<IPodPreviewPlayer> make();

    // The alert for any preview that cannot play, in the given language.
    static QString failureMessage(AppLanguage language);

    // Drops any current player and starts loading path. Ends in ready() or failed(); false (and
    // no signal) when nothing can be loaded at all: no backend, or no such readable file.
    virtual bool load(const QString& path) = 0;
    // Asks the loaded player to play; false when there is none or its media cannot play.
    virtual bool play() = 0;
    virtual void pause() = 0;
    // Stops and lets go of the file (a load in progress is cancelled); no signal follows.
    virtual void stop() = 0;
    // Moves to seconds, clamped to 0 ... duration; nothing without a loaded player.
    virtual void seek(double seconds) = 0;

    virtual bool isLoaded() const = 0;
    // In seconds; 0 without a loaded player.
    virtual double currentTime() const = 0;
    virtual double duration() const = 0;

Q_SIGNALS:
    void ready();
    // The track played to its end.
    void finished();
    // Loading or playback failed (undecodable file, no output); the player is already dropped.
    void failed();

protected:
    using QObject::QObject;
};
