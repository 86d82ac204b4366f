#include "support/AudioPlayback.h"

#include "support/EventLoop.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>

namespace TestSupport {

std::optional<QString> audioPlaybackUnavailable(const QString& audioFile) {
    QMediaPlayer player;
    QAudioOutput output;
    output.setVolume(0);
    player.setAudioOutput(&output);
    QString error;
    QObject::connect(&player, &QMediaPlayer::errorOccurred,
                     [&](QMediaPlayer::Error, const QString& text) {
                         error = text.isEmpty() ? QStringLiteral("playback error") : text;
                     });
    player.setSource(QUrl::fromLocalFile(audioFile));
    player.play();
    const bool playing = waitUntil(
        [&] { return !error.isEmpty() || player.playbackState() == QMediaPlayer::PlayingState; },
        10000);
    player.stop();
    if (!error.isEmpty())
        return error;
    if (!playing)
        return QStringLiteral("the player never started");
    return std::nullopt;
}

} // namespace TestSupport
