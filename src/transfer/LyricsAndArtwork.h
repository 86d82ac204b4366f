#pragma once

// What a converted or exported file carries besides its text tags: its lyrics and its picture.

#include "platform/audio/AudioConverter.h"
#include "platform/audio/AudioFile.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace IPodTransfer {

// The file's own lyrics (ID3 USLT, iTunes lyrics) when they are not blank, else the first
// non-blank Vorbis LYRICS or UNSYNCEDLYRICS comment, as found (untrimmed). Never throws.
std::optional<QString> readLyrics(const AudioFile& file, const AudioMetadata& metadata);
// The same rule under the name the inspection uses.
inline std::optional<QString> fileLyrics(const AudioFile& file, const AudioMetadata& metadata) {
    return readLyrics(file, metadata);
}

// The file's first picture when gdk-pixbuf can decode it; none when there is no picture or it
// does not decode (or is too large to be a cover). Throws ImportError::unreadableArtwork when
// the picture holds no bytes.
std::optional<QByteArray> artworkData(const AudioFile& file);

struct EmbeddableArtwork {
    QByteArray bytes;
    bool isJPEG = false;
};

// JPEG and PNG bytes as they are; any other picture re-encoded as PNG. Throws
// ExportError::artwork when it cannot be.
EmbeddableArtwork reencodeArtwork(const QByteArray& bytes);

// The iTunes cover-art item of an M4A file.
AudioCoverArt coverArtMetadataItem(const QByteArray& bytes, bool isJPEG);

bool hasJPEGSignature(const QByteArray& bytes);
bool hasPNGSignature(const QByteArray& bytes);

} // namespace IPodTransfer
