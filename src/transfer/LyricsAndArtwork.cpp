#include "transfer/LyricsAndArtwork.h"

#include "transfer/ExportError.h"
#include "transfer/ImportError.h"
#include "transfer/PictureDecoder.h"

namespace IPodTransfer {

bool hasJPEGSignature(const QByteArray& bytes) {
    return bytes.startsWith(QByteArrayLiteral("\xFF\xD8\xFF"));
}

bool hasPNGSignature(const QByteArray& bytes) {
    return bytes.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1A\n"));
}

std::optional<QString> readLyrics(const AudioFile& file, const AudioMetadata& metadata) {
    const QString own = file.lyrics();
    if (!own.trimmed().isEmpty())
        return own;
    for (const AudioMetadataItem& item : metadata) {
        const QString id = item.identifier().toLower();
        if (id != QLatin1String("vorb/lyrics") && id != QLatin1String("vorb/unsyncedlyrics"))
            continue;
        if (!item.value.trimmed().isEmpty())
            return item.value;
    }
    return std::nullopt;
}

std::optional<QByteArray> artworkData(const AudioFile& file) {
    const std::optional<QByteArray> picture = file.attachedPicture();
    if (!picture)
        return std::nullopt;
    if (picture->isEmpty())
        throw ImportError::unreadableArtwork();
    if (!PictureDecoder::decode(*picture))
        return std::nullopt;
    return picture;
}

EmbeddableArtwork reencodeArtwork(const QByteArray& bytes) {
    if (hasJPEGSignature(bytes))
        return {bytes, true};
    if (hasPNGSignature(bytes))
        return {bytes, false};
    const PictureDecoder::Pixbuf picture = PictureDecoder::decode(bytes);
    if (!picture)
        throw ExportError::artwork();
    QByteArray png = PictureDecoder::encodePNG(picture.get());
    if (png.isEmpty())
        throw ExportError::artwork();
    return {std::move(png), false};
}

AudioCoverArt coverArtMetadataItem(const QByteArray& bytes, bool isJPEG) {
    return AudioCoverArt{bytes, isJPEG};
}

} // namespace IPodTransfer
