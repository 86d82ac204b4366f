#include "library/DatabasePreflight.h"

#include "library/DatabaseFiles.h"
#include "library/IPodDatabase.h"
#include "platform/LocalizedError.h"
#include "platform/OwnedFd.h"
#include "platform/ScratchFolder.h"
#include "platform/Task.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How the helper ends.
enum HelperExit : int {
    readCleanly = 0,
    refused = 2,     // the opening threw; the error follows on the pipe
    outOfMemory = 3, // an allocation failed within the memory limit
    notSetUp = 4,    // its arguments, descriptors or pipe failed, not the database
};
static_assert(outOfMemory == DatabasePreflight::outOfMemoryExit);

const char* const helperName = "lorvanel-open-helper";

// What the helper's temporary folders take beyond the description it is given.
constexpr qint64 helperScratchBytes = qint64(64) << 10;

QMutex readDatabasesLock;
QSet<QByteArray>& readDatabases() {
    static QSet<QByteArray> keys;
    return keys;
}

IPodDatabaseError readFailure(const QString& detailKey) {
    return IPodDatabaseError::library(LZ("Read library"),
                                      localizedString(detailKey, AppLanguages::stored()));
}

// The path, inode, mode, size and change times of an entry the opening reads.
void addEntry(QByteArray& key, const QByteArray& path, const struct stat& status) {
    key += path + '\0';
    for (const qint64 value :
         {qint64(status.st_dev), qint64(status.st_ino), qint64(status.st_mode),
          qint64(status.st_size), qint64(status.st_mtim.tv_sec), qint64(status.st_mtim.tv_nsec),
          qint64(status.st_ctim.tv_sec), qint64(status.st_ctim.tv_nsec)})
        key += QByteArray::number(value) + ' ';
}

// --- the helper's side ---------------------------------------------------------------------

// GLib aborts the process when an allocation fails; within the limit that is a memory blow-up.
void onGLibError(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
    if (message && std::strstr(message, "failed to allocate"))
        ::_exit(outOfMemory);
}

void limitMemory(qint64 memoryBytes) {
    if (memoryBytes > 0) {
        // On top of what is mapped now (a sanitizer build maps terabytes of shadow at start).
        unsigned long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%lu", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        const rlim_t mapped = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE));
        const rlimit space{mapped + rlim_t(memoryBytes), mapped + rlim_t(memoryBytes)};
        ::setrlimit(RLIMIT_AS, &space);
    }
    g_log_set_handler("GLib", GLogLevelFlags(G_LOG_LEVEL_ERROR | G_LOG_FLAG_FATAL), onGLibError,
                      nullptr);
    std::set_new_handler([] { ::_exit(outOfMemory); });
}

// Standard error as something the helper can print to (libgpod's warnings go there): the
// parent's when it is open for writing, else /dev/null, so that the descriptor swap below works
// for an application started with its standard error closed. False when neither can be had.
bool usableStandardError() {
    const int flags = ::fcntl(STDERR_FILENO, F_GETFL);
    if (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY)
        return true;
    const int null = ::open("/dev/null", O_WRONLY);
    if (null == STDERR_FILENO)
        return true;
    if (null < 0)
        return false;
    const bool moved = ::dup2(null, STDERR_FILENO) == STDERR_FILENO;
    ::close(null);
    return moved;
}

} // namespace

QString DatabasePreflight::helperPath() {
    const QString named = qEnvironmentVariable("LORVANEL_OPEN_HELPER");
    if (!named.isEmpty())
        return named;
    const QString folder = QCoreApplication::instance()
                               ? QCoreApplication::applicationDirPath()
                               : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    // Installed under libexec; in a build tree beside the application.
    for (const QString& candidate :
         {QDir::cleanPath(folder + QStringLiteral("/" LORVANEL_HELPER_FROM_BINDIR "/") +
                          QLatin1String(helperName)),
          folder + u'/' + QLatin1String(helperName)}) {
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    }
    return QString();
}

void DatabasePreflight::forgetReadDatabases() {
    const QMutexLocker locker(&readDatabasesLock);
    readDatabases().clear();
}

QByteArray DatabasePreflight::fingerprint(const Request& request) {
    QByteArray key = request.volumeIdentity + '\0' + QFile::encodeName(request.mountPoint) + '\0';
    key += request.productID ? QByteArray::number(*request.productID) : QByteArray("none");
    key += '\0';
    if (request.sysInfoExtended)
        key += QCryptographicHash::hash(*request.sysInfoExtended, QCryptographicHash::Sha256);
    key += '\0';
    DatabaseFiles::refuseSpecialFiles(
        request.mountPoint,
        [&key](const QByteArray& path, const struct stat& status) { addEntry(key, path, status); });
    return QCryptographicHash::hash(key, QCryptographicHash::Sha256);
}

void DatabasePreflight::check(const Request& request) {
    check(request, Limits());
}

void DatabasePreflight::check(const Request& request, const Limits& limits) {
    runShared(request, limits, false);
}

std::optional<LibrarySnapshot> DatabasePreflight::read(const Request& request) {
    return read(request, Limits());
}

std::optional<LibrarySnapshot> DatabasePreflight::read(const Request& request,
                                                       const Limits& limits) {
    return runShared(request, limits, true);
}

std::optional<LibrarySnapshot> DatabasePreflight::run(const Request& request, const Limits& limits,
                                                      bool sendsSnapshot) {
    const QByteArray key = fingerprint(request);
    {
        const QMutexLocker locker(&readDatabasesLock);
        if (readDatabases().contains(key))
            return std::nullopt;
    }
    const QString helper = helperPath();
    if (helper.isEmpty())
        throw readFailure(LZ("The library reader of Lorvanel is missing. Reinstall Lorvanel."));

    // The helper's temporary folders (a forced model's private mount point, the classic's dry
    // run) go into one of our own, removed whatever becomes of the helper.
    std::optional<ScratchFolder> scratch;
    scratch.emplace(QStringLiteral("lorvanel-read"),
                    helperScratchBytes + request.sysInfoExtended.value_or(QByteArray()).size());
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (scratch->isValid())
        environment.insert(QStringLiteral("TMPDIR"), scratch->pathText());
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Set between fork and exec, so they hold from the helper's first instruction. The memory
    // limit is the helper's own to set (see limitMemory). In a group of its own, the helper goes
    // with anything it started.
    process.setChildProcessModifier([cpuSeconds = rlim_t(std::max(limits.cpuSeconds, 1))] {
        ::setpgid(0, 0);
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const rlimit cpu{cpuSeconds, cpuSeconds + 2};
        ::setrlimit(RLIMIT_CPU, &cpu);
    });
    QStringList arguments{QStringLiteral("--mount"), request.mountPoint,
                          QStringLiteral("--memory-bytes"), QString::number(limits.memoryBytes)};
    if (request.productID)
        arguments << QStringLiteral("--product-id") << QString::number(*request.productID);
    if (request.sysInfoExtended)
        arguments << QStringLiteral("--sysinfo-extended");
    if (sendsSnapshot)
        arguments << QStringLiteral("--snapshot");
    process.start(helper, arguments);
    if (request.sysInfoExtended)
        process.write(*request.sysInfoExtended);
    process.closeWriteChannel();

    QElapsedTimer elapsed;
    elapsed.start();
    bool tooLong = false;
    bool tooLarge = false;
    while (process.state() != QProcess::NotRunning) {
        // Wakes for each piece of output (read on at once, so the helper never waits on its
        // pipe), at the end, or after a while to look at the clock.
        process.waitForReadyRead(50);
        tooLarge = process.bytesAvailable() > limits.snapshotBytes;
        const bool cancelled = Task::isCancelled();
        tooLong = !cancelled && elapsed.elapsed() > limits.wallClock.count();
        if (process.state() != QProcess::NotRunning && (tooLarge || tooLong || cancelled)) {
            if (const qint64 id = process.processId(); id > 0)
                ::kill(-pid_t(id), SIGKILL);
            process.kill();
            process.waitForFinished(-1);
            break;
        }
    }
    scratch.reset();
    Task::checkCancellation();

    // A helper that is there but could not be started (no process, pipe or descriptor left, or
    // not runnable) says nothing about the database.
    const QString notStarted = LZ("The library reader of Lorvanel could not be started.");
    if (process.error() == QProcess::FailedToStart)
        throw readFailure(
            QFileInfo(helper).isFile()
                ? notStarted
                : LZ("The library reader of Lorvanel is missing. Reinstall Lorvanel."));
    const bool crashed = process.exitStatus() == QProcess::CrashExit;
    // Before the signals: a helper that sent too much was killed for it.
    if (tooLarge || (!crashed && process.exitCode() == outOfMemory))
        throw readFailure(
            LZ("Reading the library needed too much memory. Its database may be damaged."));
    if (tooLong || (crashed && (process.exitCode() == SIGXCPU || process.exitCode() == SIGKILL)))
        throw readFailure(LZ("Reading the library took too long. Its database may be damaged."));
    if (!crashed && process.exitCode() == refused) {
        if (const auto error = LibrarySnapshot::decodedError(process.readAllStandardOutput()))
            throw *error;
    }
    if (!crashed && process.exitCode() == notSetUp)
        throw readFailure(notStarted);
    if (crashed || process.exitCode() != readCleanly)
        throw readFailure(LZ("The library database is damaged and could not be read."));
    std::optional<LibrarySnapshot> snapshot;
    if (sendsSnapshot) {
        snapshot = LibrarySnapshot::decoded(process.readAllStandardOutput());
        if (!snapshot)
            throw readFailure(LZ("The library database is damaged and could not be read."));
    }

    // Remembered only when nothing changed while the helper read.
    if (fingerprint(request) == key) {
        const QMutexLocker locker(&readDatabasesLock);
        readDatabases().insert(key);
    }
    return snapshot;
}

int DatabasePreflight::setUpHelperProcess(qint64 memoryBytes) {
    // libgpod prints its warnings on standard output: the parent's channel gets a descriptor of
    // its own, and anything else printed goes to standard error.
    if (!usableStandardError())
        return -1;
    const int out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (out < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return -1;
    limitMemory(memoryBytes);
    return out;
}

int DatabasePreflight::runHelper(int argc, char** argv) {
    QString mountPoint;
    std::optional<int> productID;
    bool withSysInfoExtended = false;
    bool sendsSnapshot = false;
    qint64 memoryBytes = 0;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        const bool hasValue = i + 1 < argc;
        if (argument == "--mount" && hasValue)
            mountPoint = QFile::decodeName(argv[++i]);
        else if (argument == "--product-id" && hasValue)
            productID = QByteArray(argv[++i]).toInt();
        else if (argument == "--memory-bytes" && hasValue)
            memoryBytes = QByteArray(argv[++i]).toLongLong();
        else if (argument == "--sysinfo-extended")
            withSysInfoExtended = true;
        else if (argument == "--snapshot")
            sendsSnapshot = true;
        else
            return notSetUp;
    }
    if (mountPoint.isEmpty())
        return notSetUp;
    const int out = setUpHelperProcess(memoryBytes);
    if (out < 0)
        return notSetUp;

    std::optional<QByteArray> sysInfoExtended;
    if (withSysInfoExtended) {
        QFile input;
        if (!input.open(stdin, QIODevice::ReadOnly))
            return notSetUp;
        sysInfoExtended = input.readAll();
    }
    int outcome = readCleanly;
    try {
        // Everything a library load reads. Nothing is freed: the process ends right after,
        // and its temporary folder goes with the parent's.
        auto* database = new IPodDatabase(
            mountPoint, sysInfoExtended, [productID] { return productID; }, {}, false,
            SessionAccess::reading);
        const auto* snapshot = new LibrarySnapshot(LibrarySnapshot::read(*database));
        if (sendsSnapshot) {
            // A larger pipe takes the library in fewer pieces.
            ::fcntl(out, F_SETPIPE_SZ, 1 << 20);
            if (!DescriptorIO::writeAll(out, snapshot->encoded()))
                outcome = notSetUp;
        }
    } catch (const IPodDatabaseError& error) {
        DescriptorIO::writeAll(out, LibrarySnapshot::encodedError(error));
        outcome = refused;
    } catch (const std::bad_alloc&) {
        outcome = outOfMemory;
    } catch (const std::exception& error) {
        DescriptorIO::writeAll(out, LibrarySnapshot::encodedError(IPodDatabaseError::library(
                                        LZ("Read library"), localizedDescription(error))));
        outcome = refused;
    }
    // Nothing of this process is needed any more; a leak check at exit would only slow it.
    ::_exit(outcome);
}
