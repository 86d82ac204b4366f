#pragma once

// Writes a new Apple M4A file from an audio file through FFmpeg: for a WAV that the user wants
// as a lossless M4A it encodes Apple Lossless; for an M4A it passes the compressed packets
// through unchanged. Either way the new file gets the source's iTunes items, the tags it lacks
// and a cover picture.

#include "library/Track.h"
#include "platform/audio/AudioFile.h"
#include "transfer/LyricsAndArtwork.h"

#include <QString>

#include <functional>

namespace IPodTransfer {

// The share of the current file done, 0 to 1.
using ShareProgress = std::function<void(double share)>;

struct M4AExportTags {
    // The track's own values, used where the file has none.
    Track track;
    // Offered as the album item; written when the file's own album is dropped or missing.
    QString fallbackAlbum;
    // The file has no album: its album items are dropped and the fallback written.
    bool writesAlbum = false;
};

// Writes file's audio as an M4A at outputPath (which must not exist) with the tags and the
// picture as its cover, reporting the share written each time it grew by 0.02. Returns "m4a".
// Throws ExportError::lossless for a WAV that cannot be encoded losslessly (no integer PCM of
// at most 24 bits), ExportError::artwork for a file without audio or duration, the audio
// layer's error, or CancellationError; no output is left on failure.
QString exportLosslessM4A(AudioFile& file, const QString& outputPath, bool losslessConversion,
                          const M4AExportTags& tags, const EmbeddableArtwork& picture,
                          const ShareProgress& progress);

// The iTunes items of a file's metadata that a rewritten M4A keeps (its cover aside).
QList<QPair<QString, QString>> keptITunesItems(const AudioMetadata& metadata);

} // namespace IPodTransfer
