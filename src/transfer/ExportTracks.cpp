#include "transfer/ExportTracks.h"

#include "platform/Task.h"
#include "transfer/ExportFileName.h"
#include "transfer/IPodTransfer.h"
#include "transfer/PosixError.h"
#include "transfer/TrackExport.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace IPodTransfer {

namespace {

QString resolvedPath(const QString& path) {
    const QByteArray local = QFile::encodeName(path);
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(local.constData(), nullptr),
                                                     &std::free);
    if (!real)
        throw PosixError::fromErrno(path);
    return QFile::decodeName(real.get());
}

// Removes the work folder and whatever is left in it; links inside are not followed.
void removeWorkFolder(const QString& path) {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(QFile::encodeName(path).toStdString()),
                                ignored);
}

void removeFile(const QString& path) {
    ::unlink(QFile::encodeName(path).constData());
}

// Cancellation and the device identity; either ends the export.
void checkContinue(const TransferDevice& device) {
    Task::checkCancellation();
    if (device.verifyIdentity)
        device.verifyIdentity();
}

} // namespace

QString ExportDestinationError::description(AppLanguage language) const {
    return localizedString(LZ("Choose an export folder outside the iPod."), language);
}

QString checkExportDestination(const QString& destination, const QString& mountPoint) {
    const QString resolved = resolvedPath(destination);
    const QString volume = resolvedPath(mountPoint);
    const QString volumePrefix =
        volume.endsWith(QLatin1Char('/')) ? volume : volume + QLatin1Char('/');
    if (resolved == volume || resolved.startsWith(volumePrefix))
        throw ExportDestinationError();
    // A bind mount shows the iPod's file system under another path.
    struct stat dest {
    }, ipod{};
    if (::stat(QFile::encodeName(resolved).constData(), &dest) != 0)
        throw PosixError::fromErrno(resolved);
    if (::stat(QFile::encodeName(volume).constData(), &ipod) != 0)
        throw PosixError::fromErrno(volume);
    if (dest.st_dev == ipod.st_dev)
        throw ExportDestinationError();
    return resolved;
}

void reportExportProgress(const ExportProgress& progress, const QString& title, int index,
                          int count, double share) {
    if (!progress || count <= 0)
        return;
    progress(ImportProgress{title, ImportStage::exportingSongs, index + 1, count,
                            (share + index) / count});
}

QStringList exportTrackFiles(const QList<IPodDatabase::TrackFile>& tracks,
                             const QHash<quint64, QByteArray>& artwork,
                             const TransferDevice& device, const QString& destination,
                             bool lossless, const ExportProgress& progress) {
    const QString resolved = checkExportDestination(destination, device.mountPoint);
    const QString workFolder = resolved + QLatin1Char('/') + exportWorkFolderPrefix +
                               QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    if (::mkdir(QFile::encodeName(workFolder).constData(), 0700) != 0)
        throw PosixError::fromErrno(workFolder);
    const QString scratch = workFolder + QStringLiteral("/Audio");

    QStringList failures;
    const int count = int(tracks.size());
    try {
        for (int i = 0; i < count; ++i) {
            const IPodDatabase::TrackFile& entry = tracks[i];
            const QString& title = entry.track.title;
            checkContinue(device);
            reportExportProgress(progress, title, i, count, 0);
            try {
                if (!entry.path)
                    std::rethrow_exception(entry.error);
                const auto found = artwork.constFind(entry.track.id);
                const std::optional<QByteArray> trackArtwork =
                    found != artwork.cend() ? std::optional<QByteArray>(*found) : std::nullopt;
                const QString extension =
                    exportTrackFile(*entry.path, scratch, entry.track, trackArtwork, lossless,
                                    device.verifyIdentity, [&](double share) {
                                        reportExportProgress(progress, title, i, count, share);
                                    });
                checkContinue(device);
                exportFileName(scratch, title, *entry.path, extension, resolved);
                removeFile(scratch);
            } catch (const std::exception& error) {
                removeFile(scratch);
                checkContinue(device);
                failures.append(failureLine(title, error));
            }
        }
    } catch (...) {
        removeWorkFolder(workFolder);
        throw;
    }
    removeWorkFolder(workFolder);
    return failures;
}

QStringList exportTracks(const QSet<quint64>& trackIDs, const TransferDevice& device,
                         const QString& destination, bool lossless,
                         const ExportProgress& progress) {
    const std::unique_ptr<IPodDatabase> database = device.openDatabase();
    // The database refuses to resolve an empty selection; there is nothing to list then.
    const QList<IPodDatabase::TrackFile> tracks =
        trackIDs.isEmpty() ? QList<IPodDatabase::TrackFile>() : database->fileURLs(trackIDs);
    // The database is only read; its covers are taken once for the whole export, a few at a
    // time, so that only their PNG is kept.
    QHash<quint64, QByteArray> artwork;
    const QList<quint64> ids = trackIDs.values();
    constexpr qsizetype coversAtOnce = 64;
    for (qsizetype first = 0; device.storedCovers && first < ids.size(); first += coversAtOnce) {
        Task::checkCancellation();
        const QHash<quint64, StoredCover> covers =
            device.storedCovers(ids.mid(first, coversAtOnce));
        for (auto it = covers.cbegin(); it != covers.cend(); ++it) {
            if (QByteArray png = it->png(); !png.isEmpty())
                artwork.insert(it.key(), png);
        }
    }
    return exportTrackFiles(tracks, artwork, device, destination, lossless, progress);
}

} // namespace IPodTransfer
