#include "transfer/AudioImport.h"

#include "library/IPodDatabase.h"
#include "library/Nano5Playlist.h"
#include "platform/Task.h"
#include "transfer/AudioFolderScan.h"
#include "transfer/AudioInspection.h"
#include "transfer/ImportError.h"
#include "transfer/PosixError.h"
#include "transfer/TemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace IPodTransfer {

namespace {

struct FileSize {
    std::optional<qint64> bytes;
    int error = 0; // the error number when the size could not be read
};

FileSize fileSize(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {std::nullopt, errno};
    return {qint64(info.st_size), 0};
}

// Files already on the device or added by this batch, by size; only same-size files are read.
class SizeIndex {
public:
    void add(qint64 size, const QString& path) { bySize[size].append(path); }
    // The first entry with the same bytes, compared in list order.
    bool containsCopyOf(const QString& path, qint64 size) const {
        const auto found = bySize.constFind(size);
        if (found == bySize.constEnd())
            return false;
        for (const QString& candidate : *found) {
            if (contentsEqual(path, candidate))
                return true;
        }
        return false;
    }

private:
    QHash<qint64, QStringList> bySize;
};

// One file's preparation (identical test against the device, inspection and conversion),
// which may run on another thread ahead of the copies. Results are taken in batch order.
struct Preparation {
    enum class Outcome {
        identical, // a copy of a file already on the device
        prepared,  // ready to copy
        failed,
        deferred, // the same bytes as an earlier file of the batch: decided in order
    };

    std::mutex mutex;
    std::condition_variable changed;
    enum class State { pending, running, done } state = State::pending;
    // The latest report of the conversion, passed on when this file's turn comes.
    std::optional<std::pair<QString, double>> report;
    bool reportIsNew = false;

    Outcome outcome = Outcome::failed;
    QString prepared;
    QString converted; // set when prepared is a converted file in the temporary folder
    Audio audio;
    std::exception_ptr error;
    Task task;

    // Moves pending to running; false when someone else took it.
    bool claim() {
        std::lock_guard lock(mutex);
        if (state != State::pending)
            return false;
        state = State::running;
        return true;
    }
    void finish() {
        {
            std::lock_guard lock(mutex);
            state = State::done;
        }
        changed.notify_all();
    }
};

// Removes a converted file of ours; never the user's source.
void removeConvertedFile(QString& converted) {
    if (!converted.isEmpty())
        QFile::remove(converted);
    converted.clear();
}

class ImportRun {
public:
    ImportRun(const ImportTarget& device, const TransferSettings& settings,
              const ImportProgressSink& progress, const TrackAddedSink& trackAdded)
        : device(device)
        , settings(settings)
        , progress(progress)
        , trackAdded(trackAdded) {}

    ImportResult run(const QStringList& urls);

private:
    void publish(const ImportProgress& value) {
        if (progress)
            progress(value);
    }
    void reportFile(const QString& stage, int index, double share) {
        publish({QFileInfo(files[index]).fileName(), stage, index + 1, fileCount,
                 (std::clamp(share, 0.0, 1.0) + index) / fileCount});
    }
    void checkpoint() {
        Task::checkCancellation();
        device.verifyIdentity();
        refuseLinkedFolders();
    }
    // Copies and records go into the iPod's folders, never through a link, even one that
    // appears while the batch runs.
    void refuseLinkedFolders() const {
        if (const std::optional<QString> linked =
                IPodDatabase::linkedLibraryFolder(device.mountPoint))
            throw ImportError::linkedFolder(*linked);
    }
    bool identityHolds() const {
        try {
            device.verifyIdentity();
            return true;
        } catch (...) {
            return false;
        }
    }

    void prepare(int index, Preparation& job, const FileProgress& reporter);
    void startPreparations(int upTo);
    Preparation& awaitPreparation(int index);
    void stopPreparations();
    void removeUnsavedCopies();
    void importFile(int index);

    const ImportTarget& device;
    const TransferSettings& settings;
    const ImportProgressSink& progress;
    const TrackAddedSink& trackAdded;

    QStringList files;
    int fileCount = 0;
    std::vector<FileSize> sourceSizes;
    std::unique_ptr<IPodDatabase> database;
    bool supportsArtwork = false;
    SizeIndex deviceIndex; // the device's files; read by the preparations, never changed
    SizeIndex batchIndex;  // what this batch added
    QString temporaryFolder;
    ImportResult result;
    QStringList unsavedCopies;
    bool saveAttempted = false;
    std::vector<std::shared_ptr<Preparation>> jobs; // one per file begun, in batch order
    int started = 0;
    int width = 1;
};

void ImportRun::prepare(int index, Preparation& job, const FileProgress& reporter) {
    const QString& source = files[index];
    try {
        const std::optional<qint64> size = sourceSizes[index].bytes;
        if (!size)
            throw PosixError(sourceSizes[index].error, source);
        if (deviceIndex.containsCopyOf(source, *size)) {
            job.outcome = Preparation::Outcome::identical;
            return;
        }
        // The same bytes earlier in the batch: whether it is skipped depends on how the earlier
        // file fares, so it waits for its turn rather than being converted for nothing.
        for (int earlier = 0; earlier < index; ++earlier) {
            if (sourceSizes[earlier].bytes == size && contentsEqual(source, files[earlier])) {
                job.outcome = Preparation::Outcome::deferred;
                return;
            }
        }
        auto [prepared, audio] =
            inspectAudio(source, temporaryFolder, settings, supportsArtwork, reporter);
        job.prepared = prepared;
        if (prepared != source)
            job.converted = prepared;
        job.audio = std::move(audio);
        job.outcome = Preparation::Outcome::prepared;
    } catch (...) {
        job.outcome = Preparation::Outcome::failed;
        job.error = std::current_exception();
    }
}

void ImportRun::startPreparations(int upTo) {
    upTo = std::min(upTo, fileCount);
    for (; started < upTo; ++started) {
        auto job = std::make_shared<Preparation>();
        jobs.push_back(job);
        if (width <= 1)
            continue; // prepared in turn by the import itself
        const int index = started;
        job->task = Task::run(TaskPriority::userInitiated, [this, job, index] {
            if (!job->claim())
                return;
            const FileProgress reporter = [job](const QString& stage, double share) {
                {
                    std::lock_guard lock(job->mutex);
                    job->report = {stage, share};
                    job->reportIsNew = true;
                }
                job->changed.notify_all();
            };
            prepare(index, *job, reporter);
            job->finish();
        });
        job->task.linkToCurrent();
    }
}

Preparation& ImportRun::awaitPreparation(int index) {
    Preparation& job = *jobs[std::size_t(index)];
    if (job.claim()) {
        // Not started yet (or no helpers): prepare it here, reporting directly.
        prepare(index, job, [this, index](const QString& stage, double share) {
            reportFile(stage, index, share);
        });
        job.finish();
        return job;
    }
    std::unique_lock lock(job.mutex);
    for (;;) {
        if (job.reportIsNew) {
            const auto [stage, share] = *job.report;
            job.reportIsNew = false;
            lock.unlock();
            reportFile(stage, index, share);
            lock.lock();
            continue;
        }
        if (job.state == Preparation::State::done)
            break;
        job.changed.wait(lock);
    }
    return job;
}

// Ends every preparation before the temporary folder goes: those not begun are taken so that
// they never start; running ones are cancelled and waited for.
void ImportRun::stopPreparations() {
    for (const auto& job : jobs) {
        if (job->claim()) {
            job->finish();
            continue;
        }
        job->task.cancel();
        std::unique_lock lock(job->mutex);
        job->changed.wait(lock, [&] { return job->state == Preparation::State::done; });
    }
    for (const auto& job : jobs)
        removeConvertedFile(job->converted);
    jobs.clear();
}

void ImportRun::removeUnsavedCopies() {
    if (saveAttempted)
        return;
    try {
        device.verifyIdentity();
        refuseLinkedFolders();
    } catch (...) {
        return; // another volume, or a link, may sit at the path now: touch nothing
    }
    QStringList removed;
    for (const QString& copy : unsavedCopies) {
        if (QFile::remove(copy) || !QFileInfo::exists(copy))
            removed.append(copy);
    }
    database->forgetPendingFiles(removed);
}

void ImportRun::importFile(int index) {
    const QString& source = files[index];
    const QString name = QFileInfo(source).fileName();
    startPreparations(index + width);
    Preparation& job = awaitPreparation(index);
    // From here on the converted file is this turn's to remove, whatever happens.
    QString converted = std::exchange(job.converted, QString());
    auto skipped = [&] {
        removeConvertedFile(converted);
        ++result.skippedIdentical;
        publish({name, ImportStage::skippedIdenticalFile, index + 1, fileCount,
                 double(index + 1) / fileCount});
    };
    try {
        if (job.error)
            std::rethrow_exception(job.error);
        const qint64 sourceSize = *sourceSizes[index].bytes;
        if (job.outcome == Preparation::Outcome::identical)
            return skipped();
        if (batchIndex.containsCopyOf(source, sourceSize))
            return skipped();
        if (job.outcome == Preparation::Outcome::deferred) {
            // The earlier file with these bytes did not make it onto the device: prepare it now.
            auto [prepared, audio] =
                inspectAudio(source, temporaryFolder, settings, supportsArtwork,
                             [this, index](const QString& stage, double share) {
                                 reportFile(stage, index, share);
                             });
            job.prepared = prepared;
            if (prepared != source)
                converted = prepared;
            job.audio = std::move(audio);
        }
        const QString prepared = job.prepared;
        const bool isConverted = prepared != source;
        const FileSize preparedSize = isConverted ? fileSize(prepared) : sourceSizes[index];
        if (!preparedSize.bytes)
            throw PosixError(preparedSize.error, prepared);
        if (isConverted && (deviceIndex.containsCopyOf(prepared, *preparedSize.bytes) ||
                            batchIndex.containsCopyOf(prepared, *preparedSize.bytes)))
            return skipped();

        checkpoint();
        const QString destination = database->destinationFilename(prepared);
        const double start = isConverted ? 0.75 : 0.0;
        publish({name, ImportStage::copying, index + 1, fileCount, (index + start) / fileCount});
        // Copied only when the save that lists it fits after it as well.
        const Audio& audio = job.audio;
        if (audio.artwork && !audio.artwork->isEmpty() && database->supportsArtwork())
            if (const std::optional<QString> file = database->shortCoverFile())
                throw ImportError::shortCoverFile(*file);
        switch (database->roomForNewTrack(*preparedSize.bytes, destination, audio.title,
                                          audio.artist, audio.album, audio.albumArtist, audio.genre,
                                          audio.artwork)) {
        case IPodDatabase::TrackRoom::enough:
            break;
        case IPodDatabase::TrackRoom::notForAudio:
            throw PosixError(ENOSPC);
        case IPodDatabase::TrackRoom::notForSave:
            throw ImportError::noRoomForSave();
        }
        // On the iPod before the copy begins: a copy the save never lists goes later.
        database->recordPendingFile(destination);
        try {
            copyFileWithProgress(
                prepared, destination, device.verifyIdentity,
                [this, index](const QString& stage, double share) {
                    reportFile(stage, index, share);
                },
                start);
        } catch (...) {
            // The copy took its partial file away unless the volume changed.
            if (identityHolds())
                database->forgetPendingFiles({destination});
            throw;
        }
        Track track;
        try {
            track = database->registerCopiedFiles(
                destination, audio.title, audio.artist, audio.album, audio.albumArtist, audio.genre,
                audio.milliseconds, audio.sampleRate, audio.bitrate, true, audio.artwork);
        } catch (...) {
            // Nothing would list the copy: take it off again unless the volume changed.
            bool sameDevice = true;
            try {
                device.verifyIdentity();
            } catch (...) {
                sameDevice = false; // the registration's error is the one to report
            }
            if (sameDevice && QFile::remove(destination))
                database->forgetPendingFiles({destination});
            throw;
        }
        unsavedCopies.append(destination);
        batchIndex.add(*preparedSize.bytes, destination);
        if (isConverted)
            batchIndex.add(sourceSize, source);
        job.audio = {};
        if (trackAdded)
            trackAdded(track);
        removeConvertedFile(converted);
    } catch (const CancellationError&) {
        removeConvertedFile(converted);
        throw;
    } catch (const std::exception& error) {
        removeConvertedFile(converted);
        checkpoint(); // a cancel or a lost device ends the batch rather than failing one file
        result.failures.append(failureLine(name, error));
    }
}

ImportResult ImportRun::run(const QStringList& urls) {
    for (const QString& url : urls) {
        const QFileInfo info(url);
        if (info.isDir())
            files += scanAudioFolder(url, supportedExtensions);
        else
            files.append(url);
    }
    fileCount = int(files.size());
    if (fileCount == 0)
        throw ImportError::emptyAudioFolder();
    refuseLinkedFolders();

    database = device.openDatabase();
    database->ensureWritable();
    database->settlePendingFiles();
    supportsArtwork = database->supportsArtwork();
    for (const QString& file : database->allTrackFileURLs()) {
        if (const auto size = fileSize(file).bytes)
            deviceIndex.add(*size, file);
    }
    for (const QString& file : std::as_const(files))
        sourceSizes.push_back(fileSize(file));

    // Removed when the run ends, after the preparations that write into it have stopped.
    const TemporaryFolder temporary;
    temporaryFolder = temporary.path();

    width = importPreparationWidth();
    try {
        for (int index = 0; index < fileCount; ++index) {
            checkpoint();
            importFile(index);
        }
        stopPreparations();
        if (!unsavedCopies.isEmpty()) {
            Task::checkCancellation();
            publish({QString(), ImportStage::savingLibrary, std::nullopt, fileCount, 1.0});
            checkpoint();
            saveAttempted = true;
            try {
                database->saveLibrary();
            } catch (const std::exception& error) {
                throw ImportError::cannotSave(localizedDescription(error));
            }
        }
    } catch (...) {
        stopPreparations();
        removeUnsavedCopies();
        throw;
    }
    return result;
}

} // namespace

int importPreparationWidth() {
    // Conversions run side by side on all but one core; the copies and registrations stay on
    // the import's own thread, in batch order.
    return std::clamp(QThread::idealThreadCount() - 1, 1, 6);
}

bool contentsEqual(const QString& a, const QString& b) {
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly))
        return false;
    if (first.size() != second.size())
        return false;
    constexpr qint64 block = 1 << 20;
    for (;;) {
        const QByteArray x = first.read(block);
        const QByteArray y = second.read(block);
        if (x != y)
            return false;
        if (x.isEmpty())
            return !first.error() && !second.error();
        Task::checkCancellation();
    }
}

ImportResult importAudio(const QStringList& urls, const ImportTarget& device,
                         const TransferSettings& settings, const ImportProgressSink& progress,
                         const TrackAddedSink& trackAdded) {
    if (Nano5Playlist::canImport(device.mountPoint) && device.nano5SysInfoExtended) {
        if (const std::optional<QByteArray> sysInfoExtended = device.nano5SysInfoExtended())
            return importNano5Audio(urls, device, *sysInfoExtended, settings.parseFilenameTags,
                                    progress);
    }
    ImportRun run(device, settings, progress, trackAdded);
    return run.run(urls);
}

} // namespace IPodTransfer
