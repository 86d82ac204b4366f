#include "transfer/AudioInspection.h"

#include "platform/Task.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/AudioFile.h"
#include "transfer/AacConversion.h"
#include "transfer/ImportError.h"
#include "transfer/ImportProgress.h"
#include "transfer/LorvanelCoverArtwork.h"
#include "transfer/LyricsAndArtwork.h"
#include "transfer/PosixError.h"
#include "transfer/TagReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cmath>
#include <limits>
#include <sys/stat.h>

using namespace IPodTransfer;

namespace {

const QString defaultLyrics = QStringLiteral("Welcome to Lorvanel.app");

QString genreOf(const AudioMetadata& metadata) {
    for (const QString& id :
         {MetadataIdentifier::id3ContentType, MetadataIdentifier::iTunesUserGenre,
          MetadataIdentifier::quickTimeGenre}) {
        if (const auto value = metadataString(id, metadata))
            return *value;
    }
    return {};
}

std::int32_t millisecondsOf(double seconds) {
    return std::int32_t(std::max<std::int64_t>(1, roundHalfAway(seconds * 1000)));
}

} // namespace

bool isPassthroughCandidate(const QString& extension, std::uint32_t formatID, int channels,
                            double sampleRate) {
    const bool coding =
        (extension == QLatin1String("mp3") && formatID == AudioFormatID::mpegLayer3) ||
        (extension == QLatin1String("m4a") && formatID == AudioFormatID::mpeg4AAC);
    return coding && (channels == 1 || channels == 2) && sampleRate >= 8000 && sampleRate <= 48000;
}

std::pair<QString, Audio> inspectAudio(const QString& source, const QString& temporaryFolder,
                                       const TransferSettings& settings, bool supportsArtwork,
                                       const FileProgress& progress) {
    const QString extension = QFileInfo(source).suffix().toLower();
    if (!supportedExtensions.contains(extension))
        throw ImportError::unsupportedAudio();
    struct stat st {};
    if (::stat(QFile::encodeName(source).constData(), &st) != 0)
        throw PosixError::fromErrno(source);
    if (!S_ISREG(st.st_mode))
        throw ImportError::unsupportedAudio();

    std::optional<AudioFile> opened;
    try {
        opened.emplace(AudioFile::open(source, [] { return Task::isCancelled(); }));
    } catch (const AudioError& e) {
        // A failing disk or a missing permission is the file's real problem; anything else
        // means we cannot read this kind of file.
        const int code = e.isSystemError() ? -e.ffmpegCode() : 0;
        if (code == EIO || code == EACCES || code == EPERM || code == ENOENT || code == ENOMEM ||
            code == ENXIO || code == ENODEV)
            throw;
        throw ImportError::unsupportedAudio();
    }
    AudioFile& file = *opened;
    if (!file.hasAudio() || file.sampleRate() <= 0 || file.channels() <= 0)
        throw ImportError::unsupportedAudio();
    const double duration = file.durationSeconds();
    if (!std::isfinite(duration) || duration <= 0 ||
        duration * 1000 > double(std::numeric_limits<std::int32_t>::max()))
        throw ImportError::unsupportedAudio();

    const AudioMetadata common = file.commonMetadata();
    const AudioMetadata metadata = file.metadata();
    const FileTags tags = readTags(source, common, metadata, settings.parseFilenameTags);
    const std::optional<QString> lyrics = fileLyrics(file, metadata);
    const QString genre = genreOf(metadata);

    std::optional<QByteArray> artwork;
    if (supportsArtwork) {
        try {
            artwork = artworkData(file);
            if (!artwork)
                artwork = LorvanelCoverArtwork::defaultCoverData();
        } catch (const std::exception&) {
            artwork.reset(); // an unreadable picture is dropped, not the file
        }
    }

    Audio facts;
    facts.title = tags.title;
    facts.artist = tags.artist;
    facts.album = tags.album;
    facts.genre = genre;
    facts.milliseconds = millisecondsOf(duration);
    facts.artwork = artwork;

    const bool passthrough =
        settings.onlyUnsupported && lyrics && tags.tagsComplete &&
        isPassthroughCandidate(extension, file.formatID(), file.channels(), file.sampleRate());
    if (passthrough) {
        facts.sampleRate = std::uint16_t(file.sampleRate());
        const auto rate = file.estimatedDataRate();
        const std::int64_t kbps = rate ? roundHalfAway(double(*rate) / 1000) : 0;
        facts.bitrate =
            (kbps > 0 && kbps <= std::numeric_limits<std::int32_t>::max()) ? std::int32_t(kbps) : 0;
        return {source, facts};
    }

    if (progress)
        progress(ImportStage::convertingAudio, 0);
    const QString output =
        QDir(temporaryFolder)
            .filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                      QStringLiteral(".m4a"));
    const int kbps = TransferSettings::rawValue(settings.bitrate);
    const QList<QPair<QString, QString>> items = {
        {MetadataIdentifier::iTunesSongName, tags.title},
        {MetadataIdentifier::iTunesArtist, tags.artist},
        {MetadataIdentifier::iTunesAlbum, tags.album},
        {MetadataIdentifier::iTunesUserGenre, genre},
        {MetadataIdentifier::iTunesLyrics, lyrics.value_or(defaultLyrics)},
    };
    convertToAAC(file, output, duration, kbps, items, std::nullopt, progress);
    facts.sampleRate = 44100;
    facts.bitrate = kbps;
    return {output, facts};
}
