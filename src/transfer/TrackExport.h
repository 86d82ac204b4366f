#pragma once

// The export of one track off the iPod into a scratch file: what the file lacks and the iPod
// database knows (the album and a cover) is added, while the audio of MP3 and M4A files is
// never changed. A WAV stays a WAV unless the user asked for lossless M4A files.

#include "library/Track.h"
#include "platform/audio/AudioFile.h"
#include "transfer/ChunkedCopy.h"
#include "transfer/M4AExportWriter.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace IPodTransfer {

// The audio file at path, or none when it cannot be read as audio; a cancellation passes through.
std::optional<AudioFile> openAudio(const QString& path);

// Writes the track's file at sourcePath into outputPath (which must not exist) and returns the
// lower-case extension of what it wrote ("mp3", "m4a", "wav" or the source's own). artwork is
// what the database holds for the track. Throws ExportError, the tag writers' and the copy's
// errors, the identity check's error or CancellationError; a partial output may be left for
// the caller to delete.
QString exportTrackFile(const QString& sourcePath, const QString& outputPath, const Track& track,
                        const std::optional<QByteArray>& artwork, bool lossless,
                        const IdentityCheck& verifyIdentity, const ShareProgress& progress);

} // namespace IPodTransfer
