#include "appmodel/MediaPreviewPlayer.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QDir>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

// Where GStreamer looks for its plugins: the environment's lists, else the distribution's folder.
QStringList gstreamerPluginFolders() {
    QStringList folders;
    for (const char* variable : {"GST_PLUGIN_PATH_1_0", "GST_PLUGIN_PATH"})
        folders += qEnvironmentVariable(variable).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    QStringList system;
    for (const char* variable : {"GST_PLUGIN_SYSTEM_PATH_1_0", "GST_PLUGIN_SYSTEM_PATH"})
        system += qEnvironmentVariable(variable).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (system.isEmpty())
        system = {QStringLiteral("/usr/lib/x86_64-linux-gnu/gstreamer-1.0"),
                  QStringLiteral("/usr/lib/aarch64-linux-gnu/gstreamer-1.0"),
                  QStringLiteral("/usr/lib/gstreamer-1.0"),
                  QStringLiteral("/usr/local/lib/gstreamer-1.0")};
    return folders + system;
}

} // namespace

MediaPreviewPlayer::MediaPreviewPlayer(QObject* parent)
    : IPodPreviewPlayer(parent) {
}

MediaPreviewPlayer::~MediaPreviewPlayer() {
    stop();
}

bool MediaPreviewPlayer::backendAvailable() {
    const QString backend = qEnvironmentVariable("QT_MEDIA_BACKEND");
    if (backend == QLatin1String("ffmpeg"))
        return true;
    // playbin (in plugins-base) is what Qt's GStreamer backend builds every player on.
    const QStringList folders = gstreamerPluginFolders();
    return std::any_of(folders.begin(), folders.end(), [](const QString& folder) {
        return QFileInfo(QDir(folder).filePath(QStringLiteral("libgstplayback.so"))).isFile();
    });
}

bool MediaPreviewPlayer::load(const QString& path) {
    stop();
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable() || !backendAvailable())
        return false;
    output = std::make_unique<QAudioOutput>();
    player = std::make_unique<QMediaPlayer>();
    player->setAudioOutput(output.get());
    const quint64 current = generation;
    // Handled by queued calls, so that whoever reacts to our signals may destroy the player
    // without doing so inside one of its own callbacks.
    connect(player.get(), &QMediaPlayer::mediaStatusChanged, this,
            [this, current](QMediaPlayer::MediaStatus status) {
                QMetaObject::invokeMethod(
                    this, [this, current, status] { handleStatus(current, status); },
                    Qt::QueuedConnection);
            });
    connect(player.get(), &QMediaPlayer::errorOccurred, this, [this, current] {
        QMetaObject::invokeMethod(
            this, [this, current] { fail(current); }, Qt::QueuedConnection);
    });
    player->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
    return true;
}

void MediaPreviewPlayer::handleStatus(quint64 from, int status) {
    if (from != generation || !player)
        return;
    switch (status) {
    case QMediaPlayer::LoadedMedia:
    case QMediaPlayer::BufferedMedia:
        if (!loaded) {
            loaded = true;
            Q_EMIT ready();
        }
        break;
    case QMediaPlayer::InvalidMedia:
        fail(from);
        break;
    case QMediaPlayer::EndOfMedia:
        stop();
        Q_EMIT finished();
        break;
    default:
        break;
    }
}

void MediaPreviewPlayer::fail(quint64 from) {
    if (from != generation || !player)
        return;
    stop();
    Q_EMIT failed();
}

bool MediaPreviewPlayer::play() {
    if (!player || !loaded || player->error() != QMediaPlayer::NoError ||
        player->mediaStatus() == QMediaPlayer::InvalidMedia)
        return false;
    // Qt's FFmpeg backend crashes when it starts playing with no sound device; GStreamer picks
    // a sink of its own.
    if (qEnvironmentVariable("QT_MEDIA_BACKEND") == QLatin1String("ffmpeg") &&
        QMediaDevices::defaultAudioOutput().isNull())
        return false;
    player->play();
    return player->playbackState() == QMediaPlayer::PlayingState &&
           player->error() == QMediaPlayer::NoError;
}

void MediaPreviewPlayer::pause() {
    if (player && loaded)
        player->pause();
}

void MediaPreviewPlayer::stop() {
    ++generation;
    loaded = false;
    if (!player)
        return;
    disconnect(player.get(), nullptr, this, nullptr);
    player->stop();
    // An empty source makes the backend release the file now, not when it gets round to it.
    player->setSource(QUrl());
    player.reset();
    output.reset();
}

void MediaPreviewPlayer::seek(double seconds) {
    if (!player || !loaded || std::isnan(seconds))
        return;
    const qint64 target = std::llround(std::clamp(seconds, 0.0, duration()) * 1000.0);
    player->setPosition(target);
}

bool MediaPreviewPlayer::isPlaying() const {
    return player && player->playbackState() == QMediaPlayer::PlayingState;
}

double MediaPreviewPlayer::currentTime() const {
    return player && loaded ? static_cast<double>(player->position()) / 1000.0 : 0.0;
}

double MediaPreviewPlayer::duration() const {
    return player && loaded ? static_cast<double>(std::max<qint64>(player->duration(), 0)) / 1000.0
                            : 0.0;
}
