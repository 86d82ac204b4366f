#pragma once

// The export of selected tracks off an iPod into a folder on the computer: refused for folders
// on the iPod's own file system, written through a hidden work folder inside the destination so
// that no half-written file ever carries a final name, each file named cleanly and without
// replacing anything, and per-track failures collected without stopping.

#include "transfer/ImportProgress.h"
#include "transfer/TransferDevice.h"
#include "transfer/TransferError.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace IPodTransfer {

using ExportProgress = std::function<void(const ImportProgress&)>;

// The destination lies on the iPod.
class ExportDestinationError : public TransferError {
public:
    using TransferError::description;
    QString description(AppLanguage language) const override;
};

inline const QString exportWorkFolderPrefix = QStringLiteral(".lorvanel-export-");

// Exports the tracks into destination and returns the failure lines ("<title> — <error>") in
// track order. lossless turns WAV files into Apple Lossless M4A files with artwork. Throws the
// database's errors, ExportDestinationError, the destination's file errors (PosixError), the
// identity check's error and CancellationError; files already exported stay.
QStringList exportTracks(const QSet<quint64>& trackIDs, const TransferDevice& device,
                         const QString& destination, bool lossless,
                         const ExportProgress& progress);

// The same with the artwork table given (PNG bytes by track ID) instead of read from the
// database: the part of the export that needs no database.
QStringList exportTrackFiles(const QList<IPodDatabase::TrackFile>& tracks,
                             const QHash<quint64, QByteArray>& artwork,
                             const TransferDevice& device, const QString& destination,
                             bool lossless, const ExportProgress& progress);

// Throws ExportDestinationError when destination (links resolved) is the volume at mountPoint,
// lies inside it or on its file system; returns the resolved destination.
QString checkExportDestination(const QString& destination, const QString& mountPoint);

// Publishes the progress of track index (0-based) of count at share p of that track.
void reportExportProgress(const ExportProgress& progress, const QString& title, int index,
                          int count, double share);

} // namespace IPodTransfer
