// The record of audio files written into the music folders that no saved library lists yet, and
// its settling: what an import or a rewrite cut short left behind is removed by a later session
// of the same iPod, and only that.
//
// The record lies in the iTunes folder, beside the databases: a header line, then one path
// relative to the mount point per line. A line only counts once its newline is there, so an
// append cut short names nothing; a record that does not begin with the header, is not a regular
// file or is too large names nothing either.

#include "library/IPodDatabase.h"

#include "platform/OwnedFd.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringDecoder>

#include <cerrno>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray recordHeader = QByteArrayLiteral("Lorvanel pending audio 1\n");
constexpr const char* temporaryRecord = ".Lorvanel-Pending-Audio.new";
// Far more than the entries of the largest import; only settling reads the whole record.
constexpr qint64 largestRecord = qint64(8) << 20;

[[noreturn]] void throwErrno(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

// "iPod_Control/Music/Fnn/<name>.mp3" or ".m4a" (any letter case), the name plain: no
// separator, no leading dot, no control character. Nothing else is ever removed.
bool isEntry(const QString& entry) {
    static const QRegularExpression shape(
        QStringLiteral("^iPod_Control/Music/F[0-9]{2}/[^./:\\\\][^/:\\\\]*\\.(mp3|m4a)$"),
        QRegularExpression::CaseInsensitiveOption);
    if (!shape.match(entry).hasMatch() || entry.toUtf8().size() > 4 * 255)
        return false;
    for (const QChar c : entry) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return true;
}

// A folder below the mount point, reached without following any link below it; invalid (errno
// set) when a part is missing or is not a plain folder.
OwnedFd openFolder(const QString& mountPoint, const QStringList& parts) {
    OwnedFd folder(
        ::open(QFile::encodeName(mountPoint).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const QString& part : parts) {
        if (!folder.isValid())
            break;
        folder = OwnedFd(::openat(folder.get(), QFile::encodeName(part).constData(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return folder;
}

// The iTunes folder in whatever letter case libgpod finds it.
OwnedFd openITunesFolder(const QString& mountPoint) {
    QStringList parts = {QStringLiteral("iPod_Control"), QStringLiteral("iTunes")};
    if (GLibHandles::CharPtr found{
            itdb_get_itunes_dir(QFile::encodeName(mountPoint).constData())}) {
        const QString relative = QDir(mountPoint).relativeFilePath(QFile::decodeName(found.get()));
        const QStringList foundParts = relative.split(u'/');
        if (foundParts.size() == 2 && !foundParts.contains(QStringLiteral("..")))
            parts = foundParts;
    }
    return openFolder(mountPoint, parts);
}

struct Record {
    enum class State { absent, sound, damaged } state = State::absent;
    QStringList entries; // the valid ones, each once, in order
    // Every line valid and whole: an entry may be appended.
    bool clean = true;
};

Record readRecord(int folder) {
    Record record;
    OwnedFd file(::openat(folder, IPodDatabase::pendingFilesRecord,
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid()) {
        record.state = errno == ENOENT ? Record::State::absent : Record::State::damaged;
        return record;
    }
    record.state = Record::State::damaged;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > largestRecord)
        return record;
    QByteArray bytes;
    try {
        bytes = file.readUpTo(largestRecord + 1);
    } catch (const std::system_error&) {
        return record;
    }
    if (bytes.size() > largestRecord || !bytes.startsWith(recordHeader))
        return record;
    record.state = Record::State::sound;
    QList<QByteArray> lines = bytes.mid(recordHeader.size()).split('\n');
    if (!lines.takeLast().isEmpty())
        record.clean = false; // an append cut short
    for (const QByteArray& line : std::as_const(lines)) {
        auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString entry = decoder(line);
        if (decoder.hasError() || !isEntry(entry) || record.entries.contains(entry)) {
            record.clean = false;
            continue;
        }
        record.entries.append(entry);
    }
    return record;
}

void syncFolder(int folder) {
    if (::fsync(folder) != 0 && errno != EINVAL)
        throwErrno(errno, "fsync");
}

void writeAll(int fd, const QByteArray& bytes) {
    if (!DescriptorIO::writeAll(fd, bytes))
        throwErrno(errno ? errno : EIO, "write");
}

// Anything but a regular file in the record's place is not ours to replace.
void requireRegularRecord(int folder) {
    struct stat status {};
    if (::fstatat(folder, IPodDatabase::pendingFilesRecord, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(status.st_mode))
        throwErrno(EEXIST, IPodDatabase::pendingFilesRecord);
}

// Replaces the record as a whole (a new file synced, renamed over it, the folder synced), or
// removes it when nothing is left to record.
void writeRecord(int folder, const QStringList& entries) {
    requireRegularRecord(folder);
    if (entries.isEmpty()) {
        if (::unlinkat(folder, IPodDatabase::pendingFilesRecord, 0) != 0 && errno != ENOENT)
            throwErrno(errno, "unlink");
        syncFolder(folder);
        return;
    }
    QByteArray bytes = recordHeader;
    for (const QString& entry : entries)
        bytes += entry.toUtf8() + '\n';
    OwnedFd file(::openat(folder, temporaryRecord,
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          0644));
    if (!file.isValid())
        throwErrno(errno, temporaryRecord);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        throwErrno(EEXIST, temporaryRecord);
    writeAll(file.get(), bytes);
    if (::fsync(file.get()) != 0 || !file.tryClose())
        throwErrno(errno, temporaryRecord);
    if (::renameat(folder, temporaryRecord, folder, IPodDatabase::pendingFilesRecord) != 0)
        throwErrno(errno, "rename");
    syncFolder(folder);
}

// One line more at the end of a sound record whose last line is whole: a single small write,
// synced, whatever the record's length. False (nothing written) when the record is missing or
// not in that state.
bool appendEntry(int folder, const QByteArray& line) {
    OwnedFd file(::openat(folder, IPodDatabase::pendingFilesRecord,
                          O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid())
        return false;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size < recordHeader.size() || status.st_size + line.size() > largestRecord)
        return false;
    try {
        if (file.readAt(0, recordHeader.size()) != recordHeader ||
            file.readAt(status.st_size - 1, 1) != "\n")
            return false;
    } catch (const std::system_error&) {
        return false;
    }
    writeAll(file.get(), line);
    if (::fsync(file.get()) != 0 || !file.tryClose())
        throwErrno(errno, IPodDatabase::pendingFilesRecord);
    return true;
}

// A track's stored path relative to the mount point, lower-cased (":iPod_Control:Music:..." ->
// "ipod_control/music/...").
QString listedKey(const char* ipodPath) {
    QString path = QString::fromUtf8(ipodPath).replace(u':', u'/');
    while (path.startsWith(u'/'))
        path.remove(0, 1);
    return QDir::cleanPath(path).toLower();
}

struct FileIdentity {
    dev_t device;
    ino_t inode;
    bool operator==(const FileIdentity&) const = default;
};

} // namespace

void IPodDatabase::recordPendingFile(const QString& path) {
    ensureWritable();
    const QString file = validatedMusicFileURL(path);
    const QString entry = QDir(mountPoint_).relativeFilePath(file);
    if (!isEntry(entry))
        throw IPodDatabaseError::invalidTrack();
    // Only a file this program is about to make is recorded, never one that is there already.
    struct stat status {};
    if (::lstat(QFile::encodeName(file).constData(), &status) == 0)
        throwErrno(EEXIST, "record");
    checkpoint();
    const OwnedFd folder = openITunesFolder(mountPoint_);
    if (!folder.isValid())
        throwErrno(errno, "iTunes");
    if (appendEntry(folder.get(), entry.toUtf8() + '\n'))
        return;
    // Missing, cut short or damaged: written anew with what it validly names.
    Record record = readRecord(folder.get());
    if (record.state == Record::State::damaged &&
        ::fstatat(folder.get(), pendingFilesRecord, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode) && status.st_size > largestRecord)
        throwErrno(EFBIG, pendingFilesRecord); // entries of ours, perhaps: never dropped
    record.entries.append(entry);
    writeRecord(folder.get(), record.entries);
}

void IPodDatabase::forgetPendingFiles(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    try {
        QStringList entries;
        for (const QString& path : paths)
            entries.append(QDir(mountPoint_).relativeFilePath(QDir::cleanPath(path)));
        checkpoint();
        const OwnedFd folder = openITunesFolder(mountPoint_);
        if (!folder.isValid())
            return;
        Record record = readRecord(folder.get());
        if (record.state != Record::State::sound)
            return;
        const qsizetype before = record.entries.size();
        record.entries.removeIf([&](const QString& entry) { return entries.contains(entry); });
        if (record.entries.size() != before)
            writeRecord(folder.get(), record.entries);
    } catch (...) {
        // The entry stays; a later settling drops it, as its file is gone.
    }
}

void IPodDatabase::settlePendingFiles() {
    try {
        if (writeBlocker_ || !database_)
            return;
        const OwnedFd folder = openITunesFolder(mountPoint_);
        struct stat recorded {};
        if (!folder.isValid() ||
            ::fstatat(folder.get(), pendingFilesRecord, &recorded, AT_SYMLINK_NOFOLLOW) != 0)
            return; // nothing recorded: the usual case, at no cost
        checkpoint();
        const Record record = readRecord(folder.get());
        if (record.state != Record::State::sound)
            return;   // a damaged record names nothing, and is replaced by the next entry
        checkpoint(); // the record read is this iPod's

        QSet<QString> listed;
        for (GList* link = database_->tracks; link; link = link->next) {
            const auto* track = static_cast<const Itdb_Track*>(link->data);
            if (track && track->ipod_path)
                listed.insert(listedKey(track->ipod_path));
        }
        struct Candidate {
            QString entry;
            OwnedFd folder;
            QByteArray name;
            FileIdentity identity;
        };
        std::vector<Candidate> candidates;
        QStringList kept;
        for (const QString& entry : record.entries) {
            if (listed.contains(entry.toLower()))
                continue; // saved: the entry has done its work
            QStringList parts = entry.split(u'/');
            const QByteArray name = QFile::encodeName(parts.takeLast());
            OwnedFd musicFolder = openFolder(mountPoint_, parts);
            if (!musicFolder.isValid()) {
                // Missing, or a link or a file in the way: nothing of ours is there.
                if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR)
                    kept.append(entry); // looked at again next time
                continue;
            }
            struct stat status {};
            if (::fstatat(musicFolder.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT)
                    kept.append(entry);
                continue;
            }
            if (!S_ISREG(status.st_mode))
                continue; // not the file this program wrote: never removed
            candidates.push_back(
                {entry, std::move(musicFolder), name, {status.st_dev, status.st_ino}});
        }

        if (!candidates.empty()) {
            // A track may still reach a candidate under another name (a link, another letter
            // case): compared by the file itself before anything goes.
            const QByteArray mount = QFile::encodeName(mountPoint_);
            for (GList* link = database_->tracks; link && !candidates.empty(); link = link->next) {
                auto* track = static_cast<Itdb_Track*>(link->data);
                if (!track || !track->ipod_path)
                    continue;
                struct stat status {};
                const QByteArray direct =
                    mount + '/' + QByteArray(track->ipod_path).replace(':', '/');
                bool found = ::stat(direct.constData(), &status) == 0;
                if (!found) {
                    GLibHandles::CharPtr onIPod{itdb_filename_on_ipod(track)};
                    found = onIPod && ::stat(onIPod.get(), &status) == 0;
                }
                if (!found)
                    continue;
                const FileIdentity identity{status.st_dev, status.st_ino};
                std::erase_if(candidates,
                              [&](const Candidate& c) { return c.identity == identity; });
            }
            for (const Candidate& candidate : candidates) {
                // Removed only while the volume is known to be the one the session opened.
                if (!checkpoint_) {
                    kept.append(candidate.entry);
                    continue;
                }
                checkpoint_();
                if (::unlinkat(candidate.folder.get(), candidate.name.constData(), 0) != 0 &&
                    errno != ENOENT)
                    kept.append(candidate.entry);
            }
        }

        QStringList remaining = record.entries;
        remaining.removeIf([&](const QString& entry) { return !kept.contains(entry); });
        if (remaining != record.entries || !record.clean) {
            checkpoint();
            writeRecord(folder.get(), remaining);
        }
    } catch (...) {
        // What is not settled now stays recorded for the next session.
    }
}
