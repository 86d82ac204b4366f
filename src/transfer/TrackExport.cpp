#include "transfer/TrackExport.h"

#include "library/IPodDatabaseError.h"
#include "platform/Task.h"
#include "transfer/ExportError.h"
#include "transfer/ID3TagWriter.h"
#include "transfer/LorvanelCoverArtwork.h"
#include "transfer/TagReader.h"
#include "transfer/WaveInfoWriter.h"

#include <QFileInfo>

namespace IPodTransfer {

namespace {

void copyWhole(const QString& source, const QString& output, const IdentityCheck& verify,
               const ShareProgress& progress) {
    copyFileWithProgress(source, output, verify, {}, 0, [&](double f) {
        if (progress)
            progress(f);
    });
}

QString commonAlbum(const AudioFile& file) {
    return metadataString(MetadataIdentifier::commonAlbumName, file.commonMetadata())
        .value_or(QString());
}

// A WAV copied unchanged gets the album in a new INFO list when it has none anywhere.
void addWaveAlbum(const QString& sourcePath, const QString& output, const Track& track) {
    const std::optional<AudioFile> source = openAudio(sourcePath);
    if (source && !commonAlbum(*source).trimmed().isEmpty())
        return;
    if (parseWaveInfo(output))
        return;
    writeWaveInfo(albumOrDefault(track.album), output,
                  std::make_exception_ptr(IPodDatabaseError::invalidTrack()));
}

} // namespace

std::optional<AudioFile> openAudio(const QString& path) {
    try {
        return AudioFile::open(path, [] { return Task::isCancelled(); });
    } catch (const CancellationError&) {
        throw;
    } catch (const std::exception&) {
        return std::nullopt; // a file FFmpeg cannot open is exported as its bytes
    }
}

QString exportTrackFile(const QString& sourcePath, const QString& outputPath, const Track& track,
                        const std::optional<QByteArray>& artwork, bool lossless,
                        const IdentityCheck& verifyIdentity, const ShareProgress& progress) {
    const QString extension = QFileInfo(sourcePath).suffix().toLower();
    const bool losslessConversion = lossless && extension == QLatin1String("wav");

    if (extension == QLatin1String("wav") && !losslessConversion) {
        copyWhole(sourcePath, outputPath, verifyIdentity, progress);
        addWaveAlbum(sourcePath, outputPath, track);
        return extension;
    }
    const bool isMP3 = extension == QLatin1String("mp3");
    if (!isMP3 && extension != QLatin1String("m4a") && !losslessConversion) {
        copyWhole(sourcePath, outputPath, verifyIdentity, progress);
        return extension;
    }

    std::optional<AudioFile> file = openAudio(sourcePath);
    if (!file || !file->hasAudio()) {
        if (losslessConversion)
            throw ExportError::lossless();
        copyWhole(sourcePath, outputPath, verifyIdentity, progress);
        return extension;
    }

    // The file's own tags.
    std::optional<QByteArray> ownPicture;
    try {
        ownPicture = artworkData(*file);
    } catch (const std::exception&) {
        // An unreadable picture counts as none.
    }
    QString fileAlbum = commonAlbum(*file);
    if (losslessConversion && fileAlbum.isEmpty()) {
        try {
            fileAlbum = parseWaveInfo(sourcePath).value_or(QString());
        } catch (const std::exception&) {
            // A damaged INFO list counts as no album.
        }
    }

    // The album rule.
    const bool hasOwnAlbum = !fileAlbum.trimmed().isEmpty();
    const QString fallbackAlbum = hasOwnAlbum ? fileAlbum : albumOrDefault(track.album);

    // The picture rule.
    QByteArray chosen;
    if (ownPicture) {
        if (!losslessConversion && hasOwnAlbum) {
            copyWhole(sourcePath, outputPath, verifyIdentity, progress);
            return extension;
        }
        chosen = *ownPicture;
    } else if (artwork) {
        chosen = LorvanelCoverArtwork::matchDefaultCover(*artwork).value_or(*artwork);
    } else {
        const std::optional<QByteArray>& cover = LorvanelCoverArtwork::defaultCoverData();
        if (!cover)
            throw ExportError::artwork();
        chosen = *cover;
    }
    const EmbeddableArtwork picture = reencodeArtwork(chosen);

    if (isMP3) {
        const ID3TagResult tag = writeExportID3Tag(
            sourcePath, hasOwnAlbum ? std::nullopt : std::optional<QString>(fallbackAlbum),
            std::make_exception_ptr(ExportError::artwork()), ownPicture, picture.bytes,
            picture.isJPEG);
        copyFileWithProgress(sourcePath, outputPath, verifyIdentity, tag.tag,
                             std::uint64_t(tag.oldTagLength), [&](double f) {
                                 if (progress)
                                     progress(f);
                             });
        return extension;
    }

    M4AExportTags tags;
    tags.track = track;
    tags.fallbackAlbum = fallbackAlbum;
    tags.writesAlbum = !hasOwnAlbum;
    return exportLosslessM4A(*file, outputPath, losslessConversion, tags, picture, progress);
}

} // namespace IPodTransfer
