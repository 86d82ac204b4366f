#include "transfer/TrackRewrite.h"

#include "platform/Task.h"
#include "platform/audio/AudioConverter.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/FFmpegHandles.h"
#include "transfer/AacConversion.h"
#include "transfer/ChunkedCopy.h"
#include "transfer/ID3TagWriter.h"
#include "transfer/ImportProgress.h"
#include "transfer/LorvanelCoverArtwork.h"
#include "transfer/LyricsAndArtwork.h"
#include "transfer/M4AExportWriter.h"
#include "transfer/TrackExport.h"
#include "transfer/TransferSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <unistd.h>

namespace IPodTransfer {

namespace {

// Whether the file is gone.
bool removePath(const QString& path) {
    return path.isEmpty() || ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
}

// Whether a file of the volume may be removed: it is still the same iPod, and no folder of it
// has become a link since the session opened.
bool mayRemoveFiles(const TransferDevice& device) {
    try {
        if (device.verifyIdentity)
            device.verifyIdentity();
        return !IPodDatabase::linkedLibraryFolder(device.mountPoint);
    } catch (...) {
        return false; // any failure of the check means the volume is not known to be ours
    }
}

// Exactly one track, and that one audio: a cover picture is no track of its own, but a real
// video stream or a second audio stream is.
bool hasOneAudioTrack(const AudioFile& file) {
    if (!file.hasAudio())
        return false;
    const AVFormatContext* ic = file.context();
    int tracks = 0;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC)
            continue;
        const AVMediaType type = st->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO ||
            type == AVMEDIA_TYPE_SUBTITLE)
            ++tracks;
    }
    return tracks == 1;
}

// The file's new M4A audio with its own iTunes items, the missing album and lyrics and its
// own picture; the compressed samples are copied unchanged.
void rewrapM4A(AudioFile& file, const AudioMetadata& metadata, const QString& outputPath,
               double duration, bool addAlbum, const QString& album, bool addLyrics,
               const FileProgress& progress) {
    AudioWriterSettings settings;
    for (const auto& item : keptITunesItems(metadata)) {
        if (addLyrics && item.first == MetadataIdentifier::iTunesLyrics)
            continue;
        if (addAlbum && item.first == MetadataIdentifier::iTunesAlbum)
            continue;
        settings.metadata.append(item);
    }
    if (addAlbum)
        if (const auto item = makeMetadataItem(MetadataIdentifier::iTunesAlbum, album))
            settings.metadata.append(*item);
    if (addLyrics)
        if (const auto item = makeMetadataItem(MetadataIdentifier::iTunesLyrics, rewriteLyrics))
            settings.metadata.append(*item);
    // The picture is a stream of its own here, not an item: carry it over explicitly.
    if (const std::optional<QByteArray> own = artworkData(file)) {
        const EmbeddableArtwork cover = reencodeArtwork(*own);
        settings.cover = coverArtMetadataItem(cover.bytes, cover.isJPEG);
    }

    if (progress)
        progress(ImportStage::preparingAudio, 0);
    double last = 0;
    const auto onTime = [&](double seconds) {
        const double share = std::clamp(seconds / duration, 0.0, 1.0);
        if (share - last >= 0.02) {
            last = share;
            if (progress)
                progress(ImportStage::preparingAudio, 0.75 * share);
        }
    };
    try {
        AudioConverter::rewrap(file, outputPath, settings, onTime,
                               [] { return Task::isCancelled(); });
    } catch (const AudioError& e) {
        if (e.kind() == AudioError::Kind::noAudio || e.kind() == AudioError::Kind::unsupported)
            throw ImportError::unsupportedAudio();
        throw;
    }
}

QString temporaryM4A() {
    return QDir::tempPath() + QLatin1Char('/') +
           QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".m4a");
}

} // namespace

std::optional<QPair<QString, QString>> makeMetadataItem(const QString& identifier,
                                                        const QString& text) {
    if (text.isEmpty())
        return std::nullopt;
    return QPair<QString, QString>(identifier, text);
}

void reencodeEditedTrack(AudioFile& file, const QString& outputPath, double durationSeconds,
                         int bitrateKbps, const QList<QPair<QString, QString>>& metadata,
                         const std::optional<QByteArray>& artwork, const FileProgress& progress) {
    convertToAAC(file, outputPath, durationSeconds, bitrateKbps, metadata, artwork, progress);
}

void rewriteTrackFile(quint64 trackID, const TrackMetadata& edited, IPodDatabase& database,
                      const TransferDevice& device, const FileProgress& progress) {
    const auto report = [&](const QString& stage, double fraction) {
        if (progress)
            progress(stage, fraction);
    };
    const auto verify = [&] {
        if (device.verifyIdentity)
            device.verifyIdentity();
        IPodDatabase::refuseLinkedFolders(device.mountPoint);
    };

    TrackMetadata metadata = edited;
    metadata.album = albumOrDefault(metadata.album);
    const bool changed = database.updateTrackMetadata(trackID, metadata);

    const auto saveEdit = [&](bool artworkChanged) {
        if (!changed && !artworkChanged)
            return;
        report(ImportStage::savingLibrary, 0.98);
        Task::checkCancellation();
        verify();
        database.saveLibrary();
    };

    // Whatever keeps the file from being looked at leaves only the edit to save.
    QString fileURL;
    try {
        fileURL = database.fileURL(trackID);
    } catch (const CancellationError&) {
        throw;
    } catch (const std::exception&) {
        return saveEdit(false);
    }
    const QString extension = QFileInfo(fileURL).suffix().toLower();
    if (!supportedExtensions.contains(extension))
        return saveEdit(false);
    std::optional<AudioFile> file = openAudio(fileURL);
    if (!file || !hasOneAudioTrack(*file) || file->chapterCount() > 0)
        return saveEdit(false);

    const AudioMetadata fileMetadata = file->metadata();
    const AudioMetadata common = file->commonMetadata();
    const std::optional<QString> fileLyrics = readLyrics(*file, fileMetadata);

    std::optional<QByteArray> artwork;
    // A cover is given where the track has none, or where the stored one is damaged: found so
    // by the volume's cover process, and again by a new one decoding it alone, as a fault of the
    // first (a bad read from the disk) is not the cover's. One that could not be looked at is
    // left as it is.
    const auto needsCover = [&] {
        if (!database.hasStoredArtwork(trackID))
            return true;
        return device.storedCovers && device.storedCoverAlone &&
               device.storedCovers({trackID}).value(trackID).state == StoredCover::State::damaged &&
               device.storedCoverAlone(trackID).state == StoredCover::State::damaged;
    };
    if (database.supportsArtwork() && needsCover()) {
        try {
            artwork = artworkData(*file);
            if (!artwork)
                artwork = LorvanelCoverArtwork::defaultCoverData();
        } catch (const std::exception&) {
            artwork.reset(); // an unreadable picture is dropped, not the edit
        }
    }

    const bool albumBlank = metadataString(MetadataIdentifier::commonAlbumName, common)
                                .value_or(QString())
                                .trimmed()
                                .isEmpty();
    const bool isMP3 = extension == QLatin1String("mp3");
    const bool isM4A = extension == QLatin1String("m4a");
    if (fileLyrics && !(albumBlank && (isMP3 || isM4A))) {
        const bool artworkChanged =
            database.registerCopiedFile(trackID, artwork, std::nullopt, std::nullopt);
        return saveEdit(artworkChanged);
    }

    // The new file is copied only when it fits beside the old one and the save after it fits
    // too (the old one goes only after that save): its place on the iPod, or nothing written.
    const auto placeFor = [&](const QString& source, qint64 bytes) {
        const QString place = database.destinationFilename(source);
        if (database.roomForRewrittenFile(bytes, place, artwork) != IPodDatabase::TrackRoom::enough)
            throw ImportError::noRoomForEdit();
        return place;
    };
    QString destination; // recorded on the iPod before anything is written there
    QString newFile;     // once the copy is whole
    QString tempFile;
    std::optional<qint32> bitrate;
    bool committed = false;
    try {
        if (isMP3) {
            const ID3TagResult tag = writeID3Tag(
                fileURL, albumBlank ? std::optional<QString>(metadata.album) : std::nullopt,
                std::make_exception_ptr(ImportError::unsupportedAudio()), !fileLyrics);
            destination = placeFor(fileURL, qint64(tag.tag.size()) + QFileInfo(fileURL).size() -
                                                tag.oldTagLength);
            database.recordPendingFile(destination);
            report(ImportStage::copying, 0);
            copyFileWithProgress(fileURL, destination, verify, tag.tag,
                                 std::uint64_t(tag.oldTagLength),
                                 ChunkedCopy::rewriteOfMP3(progress));
            newFile = destination;
        } else {
            tempFile = temporaryM4A();
            const double duration = file->durationSeconds();
            if (!std::isfinite(duration) || duration <= 0)
                throw ImportError::unsupportedAudio();
            if (isM4A) {
                rewrapM4A(*file, fileMetadata, tempFile, duration, albumBlank, metadata.album,
                          !fileLyrics, progress);
            } else {
                const int kbps = TransferSettings::rawValue(TransferSettings::load().bitrate);
                QList<QPair<QString, QString>> pairs;
                const QPair<QString, QString> wanted[] = {
                    {MetadataIdentifier::iTunesSongName, metadata.title},
                    {MetadataIdentifier::iTunesArtist, metadata.artist},
                    {MetadataIdentifier::iTunesAlbum, metadata.album},
                    {MetadataIdentifier::iTunesAlbumArtist, metadata.albumArtist},
                    {MetadataIdentifier::iTunesUserGenre, metadata.genre},
                    {MetadataIdentifier::iTunesLyrics, rewriteLyrics},
                };
                for (const auto& [identifier, text] : wanted)
                    if (const auto item = makeMetadataItem(identifier, text))
                        pairs.append(*item);
                const std::optional<QByteArray> cover = artworkData(*file);
                report(ImportStage::convertingAudio, 0);
                reencodeEditedTrack(*file, tempFile, duration, kbps, pairs, cover, progress);
                bitrate = kbps;
            }
            destination = placeFor(tempFile, QFileInfo(tempFile).size());
            database.recordPendingFile(destination);
            report(ImportStage::copying, 0.75);
            // The copy goes on from where the preparation ended, so the bar never runs back.
            copyFileWithProgress(tempFile, destination, verify, {}, 0,
                                 ChunkedCopy::rewriteAfterReencoding(progress));
            newFile = destination;
            removePath(tempFile);
            tempFile.clear();
        }

        if (!database.registerCopiedFile(trackID, artwork, newFile, bitrate) && !changed) {
            if (mayRemoveFiles(device) && removePath(newFile))
                database.forgetPendingFiles({newFile});
            return;
        }
        report(ImportStage::savingLibrary, 0.98);
        Task::checkCancellation();
        verify();
        committed = true;
        database.saveLibrary();
    } catch (...) {
        removePath(tempFile);
        // A copy that failed took its partial file away itself, unless the volume changed.
        if (!committed && !destination.isEmpty() && mayRemoveFiles(device) &&
            (newFile.isEmpty() || removePath(newFile)))
            database.forgetPendingFiles({destination});
        throw;
    }

    // The old file goes only when no track refers to it any more.
    if (newFile.isEmpty() || newFile == fileURL || !QFileInfo::exists(newFile))
        return;
    const QString old = fileURL.toLower();
    const QSet<QString> inUse = database.allTrackFileURLs();
    if (std::any_of(inUse.cbegin(), inUse.cend(),
                    [&](const QString& url) { return url.toLower() == old; }))
        return;
    if (mayRemoveFiles(device))
        removePath(fileURL);
}

} // namespace IPodTransfer
