#pragma once

// The rewrite of an edited track: the edited tags go into the iPod database, and the track's
// file is replaced when it lacks lyrics, or when it is an MP3 or M4A whose album tag is blank.
// MP3 files get a new ID3 tag in front of their unchanged audio bytes; M4A files are re-wrapped
// with their samples passed through (never re-encoded, which would turn lossless audio lossy);
// AAC, FLAC and WAV files are converted to AAC at the stored bitrate. The new file is written
// beside the old one, registered in its place, the library saved, and only then the old file
// deleted. A missing or damaged artwork of the track is repaired on the way.

#include "library/IPodDatabase.h"
#include "library/TrackMetadata.h"
#include "platform/audio/AudioFile.h"
#include "transfer/IPodTransfer.h"
#include "transfer/TransferDevice.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace IPodTransfer {

// The lyrics every rewritten file carries.
inline const QString rewriteLyrics = QStringLiteral("Welcome to Lorvanel.app");

// Runs the rewrite on an open session (the caller's, discarded by it afterwards). Reports
// "Preparing audio", "Converting audio", "Copying" and "Saving library" with a fraction of the
// whole. Throws the database's errors, ImportError, file and audio errors and
// CancellationError; until the library is saved a new file is removed again (unless the iPod
// is gone: it is recorded on the iPod, and the next session removes it), and the old file is
// only removed after a successful save.
void rewriteTrackFile(quint64 trackID, const TrackMetadata& metadata, IPodDatabase& database,
                      const TransferDevice& device, const FileProgress& progress);

// One metadata pair for a rewritten file; none for an empty text.
std::optional<QPair<QString, QString>> makeMetadataItem(const QString& identifier,
                                                        const QString& text);

// Converts an edited AAC, FLAC or WAV track's audio to an AAC M4A at bitrateKbps with only the
// given pairs (empty ones skipped) and, when given, the artwork as its cover. Reports
// "Converting audio" with 0.75 × the share done. Leaves no output on failure.
void reencodeEditedTrack(AudioFile& file, const QString& outputPath, double durationSeconds,
                         int bitrateKbps, const QList<QPair<QString, QString>>& metadata,
                         const std::optional<QByteArray>& artwork, const FileProgress& progress);

} // namespace IPodTransfer
