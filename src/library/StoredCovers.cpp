#include "library/StoredCovers.h"

#include "library/CoverProcessProtocol.h"
#include "library/GLibHandles.h"
#include "platform/OwnedFd.h"
#include "platform/Task.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using State = StoredCover::State;
namespace Protocol = CoverProcessProtocol;

// How long a process that closed its socket may take to be gone: its exit follows at once.
constexpr std::chrono::seconds exitWait{5};

// The signals a process gets from its own code: a bad access, an abort (a sanitizer's report
// among them), a trap (GLib's fatal errors), an illegal instruction or arithmetic.
bool isFaultSignal(int signal) {
    for (const int fault : {SIGSEGV, SIGBUS, SIGABRT, SIGTRAP, SIGILL, SIGFPE})
        if (signal == fault)
            return true;
    return false;
}

// The started cover processes whose temporary folder is not removed yet, wherever they went:
// endAll waits for them all, also for one ended a moment before without waiting. Never
// destroyed, as a waiting thread may outlive the statics.
struct Unreaped {
    std::mutex lock;
    std::condition_variable changed;
    int count = 0;
};

Unreaped& unreaped() {
    static Unreaped* instance = new Unreaped;
    return *instance;
}

// A cover process's temporary folder, "lorvanel-covers-XXXXXX" in TMPDIR. A lock on the file
// "lock" in it is taken as it is made and held by its owner and by the process, which inherits
// it, until the folder is removed: one whose lock can be taken was left by runs that are gone.
const QByteArray folderPrefix = "lorvanel-covers-";
constexpr char lockName[] = "lock";
// The descriptor the process holds the lock on.
constexpr int inheritedLock = STDERR_FILENO + 1;

struct CoverFolder {
    QByteArray path;
    OwnedFd lock;
};

bool isSameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A new folder, locked; none when it could not be made or locked (the process then makes its
// temporary folders in TMPDIR itself).
std::shared_ptr<CoverFolder> makeCoverFolder() {
    QByteArray path = QFile::encodeName(QDir::tempPath()) + '/' + folderPrefix + "XXXXXX";
    if (!::mkdtemp(path.data()))
        return nullptr;
    const QByteArray lockPath = path + '/' + lockName;
    OwnedFd lock(
        ::open(lockPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    struct stat locked {};
    struct stat named {};
    // A start's sweep that took the folder in the moment before it was locked removes it.
    if (!lock.isValid() || ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0 ||
        ::fstat(lock.get(), &locked) != 0 || ::lstat(lockPath.constData(), &named) != 0 ||
        !isSameFile(locked, named)) {
        if (lock.isValid()) {
            std::error_code ignored;
            std::filesystem::remove_all(path.toStdString(), ignored);
        } else {
            ::rmdir(path.constData());
        }
        return nullptr;
    }
    return std::make_shared<CoverFolder>(CoverFolder{path, std::move(lock)});
}

// One started cover process. Its exit is waited for by a thread of its own, which then removes
// its temporary folder; until then it may be killed (never after: its id may be reused).
class Child {
public:
    ~Child() { end(); }

    static std::shared_ptr<Child> start(const DatabasePreflight::Request& request,
                                        const StoredCovers::Limits& limits,
                                        const QByteArray& files);

    // Kills the process (and anything in its group); on purpose, or because it broke a limit.
    void end(bool onPurpose = false) {
        endedOnPurpose_ = endedOnPurpose_ || onPurpose;
        const std::lock_guard lock(exit_->lock);
        if (!exit_->reaped) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
        }
    }
    // Waits a little for the end to be complete (the folder removed).
    void awaitExit(std::chrono::milliseconds bound) {
        std::unique_lock lock(exit_->lock);
        exit_->changed.wait_for(lock, bound, [this] { return exit_->reaped; });
    }
    bool hasExited() const {
        const std::lock_guard lock(exit_->lock);
        return exit_->reaped;
    }
    bool wasEndedOnPurpose() const { return endedOnPurpose_; }
    // Whether the process, which closed its socket, ended of a fault of its own: a fault signal
    // or the helper's exit when its memory ran out. Not when it was killed (by us or anyone
    // else), exited otherwise or is not gone within the wait.
    bool endedByFault() const {
        std::unique_lock lock(exit_->lock);
        exit_->changed.wait_for(lock, exitWait, [this] { return exit_->reaped; });
        if (!exit_->reaped)
            return false;
        if (exit_->code == CLD_EXITED)
            return exit_->status == DatabasePreflight::outOfMemoryExit;
        return (exit_->code == CLD_KILLED || exit_->code == CLD_DUMPED) &&
               isFaultSignal(exit_->status);
    }
    pid_t processID() const { return pid_; }
    const QByteArray& files() const { return files_; }
    int socket() const { return socket_.get(); }
    Clock::time_point started() const { return started_; }
    bool ready = false;

private:
    struct Exit {
        std::mutex lock;
        std::condition_variable changed;
        bool reaped = false;
        // How it ended, as waitid says: CLD_EXITED with the exit status, else the signal.
        int code = 0;
        int status = 0;
    };
    pid_t pid_ = -1;
    OwnedFd socket_;
    QByteArray files_;
    Clock::time_point started_;
    std::shared_ptr<Exit> exit_ = std::make_shared<Exit>();
    std::atomic<bool> endedOnPurpose_ = false;
};

std::shared_ptr<Child> Child::start(const DatabasePreflight::Request& request,
                                    const StoredCovers::Limits& limits, const QByteArray& files) {
    // Absolute: the process starts in the root folder, so that it never keeps a volume busy.
    const QString found = DatabasePreflight::helperPath();
    if (found.isEmpty())
        return nullptr;
    const QString helper = QFileInfo(found).absoluteFilePath();
    // The process's temporary folders (a forced model's private mount point) go into one of
    // our own, removed once it has ended, whatever became of it.
    const std::shared_ptr<CoverFolder> scratch = makeCoverFolder();
    const QByteArray scratchPath = scratch ? scratch->path : QByteArray();
    const int scratchLock = scratch ? scratch->lock.get() : -1;
    const auto removeScratch = [scratch] {
        if (!scratch)
            return;
        std::error_code ignored;
        std::filesystem::remove_all(scratch->path.toStdString(), ignored);
        scratch->lock.reset(); // only once it is gone
    };

    // Everything the new process needs, made before fork: after it only plain system calls.
    std::vector<QByteArray> arguments{
        QFile::encodeName(helper),
        "--covers",
        "--mount",
        QFile::encodeName(QFileInfo(request.mountPoint).absoluteFilePath()),
        "--memory-bytes",
        QByteArray::number(limits.memoryBytes),
        "--open-cpu-seconds",
        QByteArray::number(std::max(limits.openCPUSeconds, 1)),
        "--cover-cpu-seconds",
        QByteArray::number(std::max(limits.coverCPUSeconds, 1)),
        "--idle-seconds",
        QByteArray::number(qint64(limits.idle.count()))};
    if (request.productID)
        arguments.insert(arguments.end(), {"--product-id", QByteArray::number(*request.productID)});
    if (request.sysInfoExtended)
        arguments.emplace_back("--sysinfo-extended");
    std::vector<QByteArray> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (scratchPath.isEmpty() || !QByteArray(*entry).startsWith("TMPDIR="))
            environment.emplace_back(*entry);
    }
    if (!scratchPath.isEmpty())
        environment.push_back("TMPDIR=" + scratchPath);
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (QByteArray& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    rlimit cpu{};
    ::getrlimit(RLIMIT_CPU, &cpu);
    // Only the soft limit: the process raises it per cover (a limit it can never pass again
    // would end a healthy process some covers later).
    cpu.rlim_cur = rlim_t(std::max(limits.openCPUSeconds, 1));
    if (cpu.rlim_max != RLIM_INFINITY)
        cpu.rlim_cur = std::min(cpu.rlim_cur, cpu.rlim_max);

    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        removeScratch();
        return nullptr;
    }
    OwnedFd ours(ends[0]);
    OwnedFd theirs(ends[1]);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // In a group of its own, the process goes with anything it started.
        ::setpgid(0, 0);
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::setrlimit(RLIMIT_CPU, &cpu);
        const int channel = ::fcntl(ends[1], F_DUPFD_CLOEXEC, 3);
        if (channel < 0 || ::dup2(channel, STDIN_FILENO) < 0 || ::dup2(channel, STDOUT_FILENO) < 0)
            ::_exit(127);
        // The folder's lock, held for as long as the process lives, whatever becomes of us.
        if (scratchLock >= 0 &&
            (scratchLock == inheritedLock ? ::fcntl(inheritedLock, F_SETFD, 0)
                                          : ::dup2(scratchLock, inheritedLock)) < 0)
            ::_exit(127);
        // Nothing else of this process's: a pipe another thread left open would not see its end
        // while the long-lived cover process holds it.
        ::close_range(scratchLock >= 0 ? inheritedLock + 1 : inheritedLock, ~0U, 0);
        if (::chdir("/") != 0)
            ::_exit(127);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    theirs.reset();
    if (pid < 0) {
        removeScratch();
        return nullptr;
    }
    ::fcntl(ours.get(), F_SETFL, ::fcntl(ours.get(), F_GETFL) | O_NONBLOCK);

    auto child = std::make_shared<Child>();
    child->pid_ = pid;
    child->socket_ = std::move(ours);
    child->files_ = files;
    child->started_ = Clock::now();
    {
        const std::lock_guard lock(unreaped().lock);
        ++unreaped().count;
    }
    std::thread([pid, exit = child->exit_, removeScratch] {
        siginfo_t info{};
        // Waits without reaping, so that the id stays the process's until it is marked gone.
        while (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
        }
        {
            const std::lock_guard lock(exit->lock);
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            removeScratch();
            exit->reaped = true;
            exit->code = info.si_code;
            exit->status = info.si_status;
        }
        exit->changed.notify_all();
        {
            const std::lock_guard lock(unreaped().lock);
            --unreaped().count;
        }
        unreaped().changed.notify_all();
    }).detach();
    return child;
}

// closed: the process broke off; late: it ran too long; unexpected: it said something else.
enum class Transfer { done, closed, late, unexpected };

// Moves all of buffer through the nonblocking socket before the deadline.
template <typename Step>
Transfer transfer(int socket, short event, char* buffer, qsizetype size, Clock::time_point deadline,
                  Step step) {
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n = step(socket, buffer + done, size_t(size - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return Transfer::closed;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return Transfer::late;
        pollfd wait{socket, event, 0};
        ::poll(&wait, 1, int(std::min<qint64>(left.count() + 1, 1000)));
    }
    return Transfer::done;
}

Transfer receive(int socket, char* buffer, qsizetype size, Clock::time_point deadline) {
    return transfer(socket, POLLIN, buffer, size, deadline,
                    [](int fd, char* at, size_t n) { return ::recv(fd, at, n, 0); });
}

Transfer send(int socket, QByteArray bytes, Clock::time_point deadline) {
    return transfer(socket, POLLOUT, bytes.data(), bytes.size(), deadline,
                    [](int fd, char* at, size_t n) { return ::send(fd, at, n, MSG_NOSIGNAL); });
}

// The process's 'R' once it has opened the database; closed when it could not.
Transfer awaitReady(Child& child, const StoredCovers::Limits& limits) {
    const Clock::time_point deadline = child.started() + limits.openWallClock;
    // Looked at in short steps: a cancelled read leaves the process starting for the next one.
    while (true) {
        if (Task::isCancelled())
            return Transfer::late;
        char answer = 0;
        const Transfer got =
            receive(child.socket(), &answer, 1,
                    std::min(deadline, Clock::now() + std::chrono::milliseconds(50)));
        if (got == Transfer::done)
            return answer == Protocol::ready ? Transfer::done : Transfer::closed;
        if (got == Transfer::closed || Clock::now() >= deadline)
            return got;
    }
}

struct Answer {
    Transfer outcome = Transfer::unexpected;
    StoredCover cover;
};

// One answer, checked: the id asked, a known state, an image of sane size and exactly its
// bytes. Else why there is none.
Answer receiveAnswer(int socket, quint64 id, Clock::time_point deadline) {
    char head[13];
    if (const Transfer got = receive(socket, head, sizeof head, deadline); got != Transfer::done)
        return {got, {}};
    if (Protocol::u64At(head) != id)
        return {};
    StoredCover cover;
    switch (Protocol::State(quint8(head[8]))) {
    case Protocol::State::none:
        cover.state = State::none;
        break;
    case Protocol::State::damaged:
        cover.state = State::damaged;
        break;
    case Protocol::State::image:
        cover.state = State::image;
        break;
    default:
        return {};
    }
    const quint32 width = Protocol::u32At(head + 9);
    if (cover.state != State::image)
        return width == 0 ? Answer{Transfer::done, cover} : Answer{};
    char heightBytes[4];
    if (const Transfer got = receive(socket, heightBytes, 4, deadline); got != Transfer::done)
        return {got, {}};
    const quint32 height = Protocol::u32At(heightBytes);
    const std::optional<qsizetype> bytes = Protocol::pixelBytes(width, height);
    if (!bytes)
        return {};
    cover.width = int(width);
    cover.height = int(height);
    cover.pixels.resize(*bytes);
    if (const Transfer got = receive(socket, cover.pixels.data(), *bytes, deadline);
        got != Transfer::done)
        return {got, {}};
    return {Transfer::done, cover};
}

// The cover process of one volume as one set of arguments opens it.
struct Volume {
    QByteArray identity;
    // One request at a time.
    QMutex requests;
    // The process, also ended from other threads.
    std::mutex childLock;
    std::shared_ptr<Child> child;
    // The covers whose decoding ended a process by a fault, for these files: not asked again
    // (but by readAlone).
    QByteArray damagedFiles;
    QSet<quint64> damaged;

    std::shared_ptr<Child> current() {
        const std::lock_guard lock(childLock);
        return child;
    }
    void replace(std::shared_ptr<Child> next) {
        std::shared_ptr<Child> old;
        {
            const std::lock_guard lock(childLock);
            old = std::exchange(child, std::move(next));
        }
        if (old)
            old->end();
    }
};

class Registry {
public:
    ~Registry() {
        endWhere([](const Volume&) { return true; }, true);
    }

    std::shared_ptr<Volume> volume(const DatabasePreflight::Request& request) {
        QByteArray key = request.volumeIdentity + '\0' + QFile::encodeName(request.mountPoint);
        key += '\0' + (request.productID ? QByteArray::number(*request.productID) : "none") + '\0';
        if (request.sysInfoExtended)
            key += QCryptographicHash::hash(*request.sysInfoExtended, QCryptographicHash::Sha256);
        const std::lock_guard locker(lock);
        std::shared_ptr<Volume>& found = volumes[key];
        if (!found) {
            found = std::make_shared<Volume>();
            found->identity = request.volumeIdentity;
        }
        return found;
    }

    // Waits for the processes to be gone only when asked: a volume that went may hold a process
    // in a read that does not end at once.
    template <typename Predicate> void endWhere(Predicate matches, bool wait) {
        std::vector<std::shared_ptr<Child>> ended;
        {
            const std::lock_guard locker(lock);
            for (auto it = volumes.begin(); it != volumes.end();) {
                if (!matches(*it->second)) {
                    ++it;
                    continue;
                }
                const std::lock_guard childLocker(it->second->childLock);
                if (it->second->child)
                    ended.push_back(std::exchange(it->second->child, nullptr));
                it = volumes.erase(it);
            }
        }
        for (const auto& child : ended)
            child->end(true);
        // No helper and no temporary folder left behind.
        for (const auto& child : ended) {
            if (wait)
                child->awaitExit(std::chrono::seconds(2));
        }
    }

private:
    std::mutex lock;
    std::map<QByteArray, std::shared_ptr<Volume>> volumes;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

QByteArray descriptionBytes(const QByteArray& description) {
    QByteArray bytes;
    Protocol::appendU32(bytes, quint32(description.size()));
    return bytes + description;
}

QByteArray requestBytes(const QList<quint64>& ids) {
    QByteArray bytes;
    Protocol::appendU32(bytes, quint32(ids.size()));
    for (const quint64 id : ids)
        Protocol::appendU64(bytes, id);
    return bytes;
}

} // namespace

QByteArray StoredCover::png(int compressionLevel) const {
    if (state != State::image ||
        Protocol::pixelBytes(quint32(width), quint32(height)) != pixels.size())
        return {};
    const GLibHandles::ObjectPtr<GdkPixbuf> pixbuf(gdk_pixbuf_new_from_data(
        reinterpret_cast<const guchar*>(pixels.constData()), GDK_COLORSPACE_RGB, FALSE, 8, width,
        height, width * Protocol::bytesPerPixel, nullptr, nullptr));
    if (!pixbuf)
        return {};
    const QByteArray level = QByteArray::number(std::clamp(compressionLevel, 0, 9));
    char* keys[] = {const_cast<char*>("compression"), nullptr};
    char* values[] = {const_cast<char*>(level.constData()), nullptr};
    const bool leveled = compressionLevel >= 0;
    gchar* raw = nullptr;
    gsize length = 0;
    const bool saved =
        gdk_pixbuf_save_to_bufferv(pixbuf.get(), &raw, &length, "png", leveled ? keys : nullptr,
                                   leveled ? values : nullptr, nullptr);
    const GLibHandles::CharPtr buffer(raw);
    if (!saved || !buffer)
        return {};
    return QByteArray(buffer.get(), qsizetype(length));
}

namespace {

// The covers from the volume's process; with alone, from a new one asked for them first, the
// covers found damaged before asked again.
QHash<quint64, StoredCover> readCovers(const DatabasePreflight::Request& request,
                                       const QList<quint64>& trackIDs,
                                       const StoredCovers::Limits& limits, bool alone) {
    QHash<quint64, StoredCover> answers;
    QList<quint64> pending;
    for (const quint64 id : trackIDs) {
        if (!answers.contains(id)) {
            answers.insert(id, StoredCover());
            pending.append(id);
        }
    }
    if (pending.isEmpty())
        return answers;
    QByteArray files;
    try {
        files = DatabasePreflight::fingerprint(request);
    } catch (...) {
        return answers;
    }
    const std::shared_ptr<Volume> volume = registry().volume(request);
    const QMutexLocker locker(&volume->requests);
    if (volume->damagedFiles != files) {
        volume->damagedFiles = files;
        volume->damaged.clear();
    }
    if (alone) {
        volume->replace(nullptr);
    } else {
        pending.removeIf([&](quint64 id) {
            if (!volume->damaged.contains(id))
                return false;
            answers[id].state = State::damaged;
            return true;
        });
    }

    // A process that has answered before may have ended since (idle, or killed): one that
    // breaks off before taking the request is replaced once. A new one that does gives up.
    bool mayRetry = !alone;
    while (!pending.isEmpty()) {
        std::shared_ptr<Child> child = volume->current();
        if (child && (child->hasExited() || child->files() != files)) {
            volume->replace(nullptr);
            child.reset();
        }
        const bool fresh = !child;
        if (fresh) {
            if (Task::isCancelled())
                break;
            child = Child::start(request, limits, files);
            if (!child)
                break;
            volume->replace(child);
            // The description read from the device goes first, as the process awaits it.
            if (request.sysInfoExtended &&
                send(child->socket(), descriptionBytes(*request.sysInfoExtended),
                     child->started() + limits.openWallClock) != Transfer::done) {
                volume->replace(nullptr);
                break;
            }
        }
        if (!child->ready) {
            const Transfer ready = awaitReady(*child, limits);
            if (ready != Transfer::done) {
                // Still opening when cancelled: it serves the next read.
                if (!(ready == Transfer::late && Task::isCancelled()))
                    volume->replace(nullptr);
                break;
            }
            child->ready = true;
        }

        const QList<quint64> asked =
            pending.first(std::min<qsizetype>(pending.size(), Protocol::maxIDs));
        const Clock::time_point taken = Clock::now() + limits.coverWallClock;
        char count[4];
        if (send(child->socket(), requestBytes(asked), taken) != Transfer::done ||
            receive(child->socket(), count, 4, taken) != Transfer::done ||
            Protocol::u32At(count) != quint32(asked.size())) {
            volume->replace(nullptr);
            if (fresh || !mayRetry || child->wasEndedOnPurpose())
                break;
            mayRetry = false;
            continue;
        }
        mayRetry = false;
        if (limits.requestTaken)
            limits.requestTaken(int(child->processID()));
        for (const quint64 id : asked) {
            const Answer answer =
                receiveAnswer(child->socket(), id, Clock::now() + limits.coverWallClock);
            if (answer.outcome == Transfer::done) {
                pending.removeFirst();
                answers[id] = answer.cover;
                volume->damaged.remove(id);
                continue;
            }
            if (child->wasEndedOnPurpose()) {
                pending.clear();
                break;
            }
            pending.removeFirst();
            // It broke off on this cover: damaged only when it died of a fault of its own. One
            // that overran, was stopped or killed, or said something else tells nothing of the
            // cover, which stays unknown. The rest goes to a new process.
            if (answer.outcome == Transfer::closed && child->endedByFault()) {
                answers[id].state = State::damaged;
                volume->damaged.insert(id);
            }
            volume->replace(nullptr);
            break;
        }
    }
    return answers;
}

} // namespace

QHash<quint64, StoredCover> StoredCovers::read(const DatabasePreflight::Request& request,
                                               const QList<quint64>& trackIDs) {
    return read(request, trackIDs, Limits());
}

QHash<quint64, StoredCover> StoredCovers::read(const DatabasePreflight::Request& request,
                                               const QList<quint64>& trackIDs,
                                               const Limits& limits) {
    return readCovers(request, trackIDs, limits, false);
}

StoredCover StoredCovers::readAlone(const DatabasePreflight::Request& request, quint64 trackID) {
    return readAlone(request, trackID, Limits());
}

StoredCover StoredCovers::readAlone(const DatabasePreflight::Request& request, quint64 trackID,
                                    const Limits& limits) {
    return readCovers(request, {trackID}, limits, true).value(trackID);
}

void StoredCovers::endFor(const QByteArray& volumeIdentity) {
    registry().endWhere(
        [&volumeIdentity](const Volume& volume) { return volume.identity == volumeIdentity; },
        false);
}

void StoredCovers::endAllBut(const QSet<QByteArray>& volumeIdentities) {
    registry().endWhere(
        [&volumeIdentities](const Volume& volume) {
            return !volumeIdentities.contains(volume.identity);
        },
        false);
}

void StoredCovers::endAll() {
    registry().endWhere([](const Volume&) { return true; }, false);
    // No helper and no temporary folder left behind, also of the processes ended before.
    std::unique_lock lock(unreaped().lock);
    unreaped().changed.wait_for(lock, std::chrono::seconds(2),
                                [] { return unreaped().count == 0; });
}

void StoredCovers::removeFoldersLeftBehind() {
    static const QRegularExpression name(u'^' + QString::fromLatin1(folderPrefix) +
                                         QStringLiteral("[A-Za-z0-9]{6}$"));
    const QByteArray temporary = QFile::encodeName(QDir::tempPath());
    const OwnedFd base(::open(temporary.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!base.isValid())
        return;
    const QStringList entries =
        QDir(QDir::tempPath())
            .entryList({QString::fromLatin1(folderPrefix) + u'*'},
                       QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (Task::isCancelled())
            return;
        if (!name.match(entry).hasMatch())
            continue;
        const QByteArray file = QFile::encodeName(entry);
        // A folder of this user's, reached without following a link.
        const OwnedFd folder(::openat(base.get(), file.constData(),
                                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat status {};
        if (!folder.isValid() || ::fstat(folder.get(), &status) != 0 ||
            status.st_uid != ::geteuid())
            continue;
        // Its lock taken, made here when an older run left none: then no live process uses it,
        // nor can one begin to while the lock is held.
        const OwnedFd lock(::openat(folder.get(), lockName,
                                    O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
        struct stat locked {};
        struct stat named {};
        if (!lock.isValid() || ::fstat(lock.get(), &locked) != 0 || !S_ISREG(locked.st_mode) ||
            ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0 ||
            ::fstatat(base.get(), file.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !isSameFile(status, named))
            continue;
        std::error_code ignored;
        std::filesystem::remove_all((temporary + '/' + file).toStdString(), ignored);
    }
}
