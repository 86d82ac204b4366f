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

// The ID3, iTunes and QuickTime genres first, then that of every other tag kind read here.
QString genreOf(const AudioMetadata& metadata) {
    for (const QString& id :
         {MetadataIdentifier::id3ContentType, MetadataIdentifier::iTunesUserGenre,
          MetadataIdentifier::quickTimeGenre, MetadataIdentifier::vorbisGenre,
          MetadataIdentifier::riffInfoGenre, MetadataIdentifier::otherGenre}) {
        if (const auto value = metadataString(id, metadata))
            return *value;
    }
    return {};
}

// How far a header's length may be from the decoded one (priming and padding samples, a
// header rounded to whole frames) before its bit rate is not believed either.
constexpr double maxHeaderLengthError = 0.5;

bool fitsMilliseconds(double seconds) {
    return std::isfinite(seconds) && seconds > 0 &&
           seconds * 1000 <= double(std::numeric_limits<std::int32_t>::max());
}

std::int32_t millisecondsOf(double seconds) {
    return std::int32_t(std::max<std::int64_t>(1, roundHalfAway(seconds * 1000)));
}

// FFmpeg also names damaged data with system error numbers (a broken header as an input/output
// error); only when the file itself cannot be read is the system at fault.
[[noreturn]] void throwOpenFailure(const QString& source, const AudioError& error) {
    if (error.isSystemError()) {
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly))
            throw PosixError(error.ffmpegCode() < 0 ? -error.ffmpegCode() : EIO, source);
        constexpr qint64 block = 1 << 20;
        for (;;) {
            Task::checkCancellation();
            const QByteArray chunk = file.read(block);
            if (file.error() != QFileDevice::NoError)
                throw error;
            if (chunk.isEmpty())
                break;
        }
    }
    throw ImportError::unsupportedAudio();
}

} // namespace

AudioFile openImportedAudio(const QString& source) {
    try {
        return AudioFile::open(source, [] { return Task::isCancelled(); });
    } catch (const AudioError& e) {
        throwOpenFailure(source, e);
    }
}

bool isPassthroughCandidate(const QString& extension, const QString& container,
                            std::uint32_t formatID, int channels, double sampleRate) {
    // The extension must also name the container: raw ADTS or MP3 in a WAV named like this
    // would not play on the iPod.
    const bool coding =
        (extension == QLatin1String("mp3") && container == QLatin1String("mp3") &&
         formatID == AudioFormatID::mpegLayer3) ||
        (extension == QLatin1String("m4a") && container.startsWith(QLatin1String("mov,")) &&
         formatID == AudioFormatID::mpeg4AAC);
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

    AudioFile file = openImportedAudio(source);
    if (!file.hasAudio() || file.sampleRate() <= 0 || file.channels() <= 0)
        throw ImportError::unsupportedAudio();
    // A header without a length (a FLAC that does not give its total) is measured, not refused.
    double duration = file.durationSeconds();
    std::optional<AudioFile::Measured> measured;
    if (!std::isfinite(duration) || duration <= 0) {
        measured = file.measureAudio();
        duration = measured->seconds;
    }
    if (!fitsMilliseconds(duration))
        throw ImportError::unsupportedAudio();

    const AudioMetadata common = file.commonMetadata();
    const AudioMetadata metadata = file.metadata();
    const FileTags tags = readTags(source, common, metadata, settings.parseFilenameTags);
    const std::optional<QString> lyrics = fileLyrics(file, metadata);
    const QString genre = genreOf(metadata);
    const QString albumArtist =
        metadataString(MetadataIdentifier::commonAlbumArtist, common).value_or(QString());

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
    facts.albumArtist = albumArtist;
    facts.genre = genre;
    facts.artwork = artwork;

    const bool passthrough =
        settings.onlyUnsupported && lyrics && tags.tagsComplete &&
        isPassthroughCandidate(extension, file.containerName(), file.formatID(), file.channels(),
                               file.sampleRate());
    // The file goes as it is only when every packet decodes, and its length is what its audio
    // decodes to, not what a missing, cut or false header says. A packet that fails sends it
    // to the conversion, which skips damaged frames as players do.
    const std::optional<AudioFile::Decoded> decoded =
        passthrough ? std::optional(file.decodeAudio()) : std::nullopt;
    if (decoded && decoded->complete) {
        if (!fitsMilliseconds(decoded->seconds))
            throw ImportError::unsupportedAudio(); // no audio at all, like an empty conversion
        // The header's rate (the first frame's, without a Xing header) holds only where its
        // length does.
        const bool headerHolds = !measured && !file.durationNeedsMeasuring() &&
                                 std::abs(duration - decoded->seconds) <= maxHeaderLengthError;
        facts.milliseconds = millisecondsOf(decoded->seconds);
        facts.sampleRate = std::uint16_t(file.sampleRate());
        const auto rate = headerHolds ? file.estimatedDataRate()
                                      : std::optional<std::int64_t>(std::int64_t(std::llround(
                                            double(decoded->bytes) * 8 / decoded->seconds)));
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
        {MetadataIdentifier::iTunesAlbumArtist, albumArtist},
        {MetadataIdentifier::iTunesUserGenre, genre},
        {MetadataIdentifier::iTunesLyrics, lyrics.value_or(defaultLyrics)},
    };
    // The length is that of the audio written, whatever the source's header said.
    const ConvertedAudio written =
        convertToAAC(file, output, duration, kbps, items, std::nullopt, progress);
    if (!fitsMilliseconds(written.seconds())) {
        QFile::remove(output);
        throw ImportError::unsupportedAudio();
    }
    facts.milliseconds = millisecondsOf(written.seconds());
    facts.sampleRate = 44100;
    facts.bitrate = kbps;
    return {output, facts};
}
