#pragma once

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
// each time that share grew by at least 0.02. Throws CancellationError, the artwork's
// ExportError, ImportError::conversionFailed, or the audio layer's error; on any failure no
// output file is left.
void convertToAAC(AudioFile& file, const QString& outputPath, double durationSeconds,
                  int bitrateKbps, const QList<QPair<QString, QString>>& metadata,
                  const std::optional<QByteArray>& artwork, const FileProgress& progress);

} // namespace IPodTransfer
