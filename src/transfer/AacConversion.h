#pragma once

#include "platform/audio/AudioConverter.h"
#include "platform/audio/AudioFile.h"
#include "transfer/IPodTransfer.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace IPodTransfer {

// Converts the file's audio into a new M4A at outputPath: AAC at bitrateKbps, 44,100 Hz, two
// channels, with the metadata pairs (identifier, value) that are not empty and, when given, the
// artwork as its cover. Reports "Converting audio" with 0.75 × the share converted (never more),
// each time that share grew by at least 0.02. Returns the audio written. Throws
// CancellationError, the artwork's ExportError, ImportError::unsupportedAudio for audio that
// cannot be read or decodes to nothing, ImportError::conversionFailed when the encoder fails,
// and the audio layer's error when the system fails a read or write; on any failure no output
// file is left.
ConvertedAudio convertToAAC(AudioFile& file, const QString& outputPath, double durationSeconds,
                            int bitrateKbps, const QList<QPair<QString, QString>>& metadata,
                            const std::optional<QByteArray>& artwork, const FileProgress& progress);

} // namespace IPodTransfer
