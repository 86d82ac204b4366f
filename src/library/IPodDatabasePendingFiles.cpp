// The records this program keeps on the iPod about work under way, and their settling.
//
// The pending record names audio files written into the music folders that no saved library
// lists yet, and the files a save is about to stop listing: whatever an import, a rewrite or a
// delete cut short left behind is removed by a later session of the same iPod once no track
// lists it, and only that. It lies in the iTunes folder, beside the databases: a header line,
// then one path relative to the mount point per line. A line only counts once its newline is
// there, so an append cut short names nothing.
//
// The save record is there while a save is under way and names the files shaped like libgpod's
// temporary databases that were there before it: what a save cut short left is told from a
// copy the user keeps.
//
// A record that does not begin with its header, is not a regular file or is too large names
// nothing; it is never followed, read past its bound or waited on, and when one is to be
// written in its place it is set aside (renamed, never removed), so it holds nothing up.

#include "library/IPodDatabase.h"

#include "platform/OwnedFd.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringDecoder>

#include <cerrno>
#include <cstdio>
#include <map>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray recordHeader = QByteArrayLiteral("Lorvanel pending audio 1\n");
const QByteArray saveRecordHeader = QByteArrayLiteral("Lorvanel save 1\n");
// Far more than the entries of the largest import; only settling reads the whole record.
constexpr qint64 largestRecord = qint64(8) << 20;
// A few names.
constexpr qint64 largestSaveRecord = qint64(1) << 20;

[[noreturn]] void throwErrno(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

// "iPod_Control/Music/Fnn/<name>.<extension>" (any letter case) with the extension of a file
// this program writes (mp3, m4a) or of a music file a delete or a rewrite lets go, the name
// plain: no separator, no leading dot, no control character. Nothing else is ever removed.
bool isEntry(const QString& entry) {
    static const QRegularExpression shape(
        QStringLiteral("^iPod_Control/Music/F[0-9]{2}/[^./:\\\\][^/:\\\\]*\\."
                       "(mp3|m4a|aac|wav|aif|aiff|flac)$"),
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

void syncFolder(int folder) {
    if (::fsync(folder) != 0 && errno != EINVAL)
        throwErrno(errno, "fsync");
}

void writeAll(int fd, const QByteArray& bytes) {
    if (!DescriptorIO::writeAll(fd, bytes))
        throwErrno(errno ? errno : EIO, "write");
}

bool isRegularOrAbsent(int folder, const char* name) {
    struct stat status {};
    return ::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0 || S_ISREG(status.st_mode);
}

struct RecordFile {
    enum class State { absent, usable, unusable } state = State::absent;
    QByteArray bytes;
    qint64 modifiedSeconds = 0; // when it was written, by the volume's clock
};

// A record file's bytes, opened without following a link or waiting on a FIFO and never read
// past largest; unusable when it is anything but a regular file of at most largest bytes that
// begins with header. Throws on a failure that tells nothing of the file (out of descriptors,
// a read error).
RecordFile readRecordFile(int folder, const char* name, const QByteArray& header, qint64 largest) {
    RecordFile record;
    OwnedFd file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid()) {
        switch (errno) {
        case ENOENT:
            return record;
        case ELOOP: // a link
        case ENXIO: // a socket
        case ENODEV:
        case EACCES:
        case EPERM:
            record.state = RecordFile::State::unusable;
            return record;
        default:
            throwErrno(errno, name);
        }
    }
    record.state = RecordFile::State::unusable;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > largest)
        return record;
    QByteArray bytes = file.readUpTo(largest + 1);
    if (bytes.size() > largest || !bytes.startsWith(header))
        return record;
    record.state = RecordFile::State::usable;
    record.bytes = std::move(bytes);
    record.modifiedSeconds = status.st_mtim.tv_sec;
    return record;
}

// Moves what is at name out of the way under a name of its own ("<name>.set-aside-<n>"), as
// it is: never over another file, never following a link.
void setAside(int folder, const char* name) {
    for (int number = 1; number <= 1000; ++number) {
        const QByteArray aside = QByteArray(name) + ".set-aside-" + QByteArray::number(number);
        int result = ::renameat2(folder, name, folder, aside.constData(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            // A file system without the flag: the name is looked at first.
            struct stat status {};
            if (::fstatat(folder, aside.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0)
                continue;
            result = ::renameat(folder, name, folder, aside.constData());
        }
        if (result == 0) {
            syncFolder(folder);
            return;
        }
        if (errno == ENOENT)
            return; // gone meanwhile
        if (errno != EEXIST && errno != ENOTEMPTY)
            throwErrno(errno, "rename");
    }
    throwErrno(EEXIST, name);
}

// Replaces a record file as a whole: a new file synced, renamed over it, the folder synced.
// Anything but a regular file in the way is set aside first.
void writeRecordFile(int folder, const char* name, const QByteArray& bytes) {
    const QByteArray temporary = QByteArray(name) + ".new";
    for (const QByteArray& path : {QByteArray(name), temporary}) {
        if (!isRegularOrAbsent(folder, path.constData()))
            setAside(folder, path.constData());
    }
    OwnedFd file(::openat(folder, temporary.constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          0644));
    if (!file.isValid())
        throwErrno(errno, temporary.constData());
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        throwErrno(EEXIST, temporary.constData());
    try {
        writeAll(file.get(), bytes);
        if (::fsync(file.get()) != 0 || !file.tryClose())
            throwErrno(errno, temporary.constData());
        if (::renameat(folder, temporary.constData(), folder, name) != 0)
            throwErrno(errno, "rename");
    } catch (...) {
        // This file is the one just made: a full disk keeps nothing of it.
        file.reset();
        ::unlinkat(folder, temporary.constData(), 0);
        throw;
    }
    syncFolder(folder);
}

// Removes a record file that is a regular file; anything else there is left alone.
void removeRecordFile(int folder, const char* name) {
    if (!isRegularOrAbsent(folder, name))
        return;
    if (::unlinkat(folder, name, 0) != 0 && errno != ENOENT)
        throwErrno(errno, "unlink");
    syncFolder(folder);
}

struct Record {
    enum class State { absent, sound, unusable } state = State::absent;
    QStringList entries; // the valid ones, each once, in order
    // Every line valid and whole: an entry may be appended.
    bool clean = true;
};

Record readRecord(int folder) {
    Record record;
    const RecordFile file =
        readRecordFile(folder, IPodDatabase::pendingFilesRecord, recordHeader, largestRecord);
    if (file.state != RecordFile::State::usable) {
        if (file.state == RecordFile::State::unusable)
            record.state = Record::State::unusable;
        return record;
    }
    record.state = Record::State::sound;
    QList<QByteArray> lines = file.bytes.mid(recordHeader.size()).split('\n');
    if (!lines.takeLast().isEmpty())
        record.clean = false; // an append cut short
    QSet<QString> seen;
    seen.reserve(lines.size());
    for (const QByteArray& line : std::as_const(lines)) {
        auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString entry = decoder(line);
        if (decoder.hasError() || !isEntry(entry) || seen.contains(entry)) {
            record.clean = false;
            continue;
        }
        seen.insert(entry);
        record.entries.append(entry);
    }
    return record;
}

// The record to add entries to: an unusable one is set aside and a new one begun.
Record writableRecord(int folder) {
    Record record = readRecord(folder);
    if (record.state == Record::State::unusable) {
        setAside(folder, IPodDatabase::pendingFilesRecord);
        record = Record();
    }
    return record;
}

// Replaces the record as a whole, or removes it when nothing is left to record.
void writeRecord(int folder, const QStringList& entries) {
    if (entries.isEmpty())
        return removeRecordFile(folder, IPodDatabase::pendingFilesRecord);
    QByteArray bytes = recordHeader;
    for (const QString& entry : entries)
        bytes += entry.toUtf8() + '\n';
    writeRecordFile(folder, IPodDatabase::pendingFilesRecord, bytes);
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

// Every entry of the databases' folders named like a copy of one of them ("iTunesDB.XXXXXX",
// six letters or digits, any letter case), relative to the mount point.
QStringList databaseCopyShapedFiles(const QString& mountPoint) {
    static const QRegularExpression shape(QStringLiteral("^(itunesdb|itunessd|artworkdb)\\."
                                                         "[a-z0-9]{6}$"),
                                          QRegularExpression::CaseInsensitiveOption);
    QStringList files;
    const QByteArray mount = QFile::encodeName(mountPoint);
    for (gchar* (*folderOf)(const gchar*) : {itdb_get_itunes_dir, itdb_get_artwork_dir}) {
        const GLibHandles::CharPtr folder{folderOf(mount.constData())};
        if (!folder)
            continue;
        const QDir dir(QFile::decodeName(folder.get()));
        const QStringList names =
            dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names) {
            if (shape.match(name).hasMatch())
                files.append(QDir(mountPoint).relativeFilePath(dir.filePath(name)));
        }
    }
    return files;
}

} // namespace

bool IPodDatabase::isOwnRecordName(const QByteArray& name) {
    return name.startsWith(pendingFilesRecord) || name.startsWith(saveRecord);
}

void IPodDatabase::recordPendingFile(const QString& path) {
    ensureWritable();
    const QString file = validatedMusicFileURL(path);
    const QString entry = QDir(mountPoint_).relativeFilePath(file);
    if (!isEntry(entry))
        throw IPodDatabaseError::invalidTrack();
    // Only a file this program is about to make is recorded here, never one that is there
    // already.
    struct stat status {};
    if (::lstat(QFile::encodeName(file).constData(), &status) == 0)
        throwErrno(EEXIST, "record");
    checkpoint();
    const OwnedFd folder = openITunesFolder(mountPoint_);
    if (!folder.isValid())
        throwErrno(errno, "iTunes");
    if (appendEntry(folder.get(), entry.toUtf8() + '\n'))
        return;
    // Missing, cut short or unusable: written anew with what it validly names.
    Record record = writableRecord(folder.get());
    if (!record.entries.contains(entry))
        record.entries.append(entry);
    writeRecord(folder.get(), record.entries);
}

void IPodDatabase::recordReleasedFiles() {
    QStringList entries;
    for (const QSet<QString>* files : {&unusedTrackFiles_, &replacedTrackFiles_}) {
        for (const QString& file : *files) {
            const QString entry = QDir(mountPoint_).relativeFilePath(QDir::cleanPath(file));
            if (isEntry(entry))
                entries.append(entry);
        }
    }
    if (entries.isEmpty())
        return;
    entries.sort();
    try {
        checkpoint();
        const OwnedFd folder = openITunesFolder(mountPoint_);
        if (!folder.isValid())
            return;
        Record record = writableRecord(folder.get());
        QSet<QString> recorded(record.entries.cbegin(), record.entries.cend());
        bool changed = !record.clean;
        for (const QString& entry : std::as_const(entries)) {
            if (!recorded.contains(entry)) {
                recorded.insert(entry);
                record.entries.append(entry);
                changed = true;
            }
        }
        if (changed)
            writeRecord(folder.get(), record.entries);
    } catch (...) {
        // Unrecorded (a full disk, say), they are removed after the save as they always were.
    }
}

void IPodDatabase::forgetPendingFiles(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    try {
        QSet<QString> entries;
        for (const QString& path : paths)
            entries.insert(QDir(mountPoint_).relativeFilePath(QDir::cleanPath(path)));
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
            return;   // an unusable record names nothing; the next entry sets it aside
        checkpoint(); // the record read is this iPod's

        QSet<QString> listed;
        for (GList* link = database_->tracks; link; link = link->next) {
            const auto* track = static_cast<const Itdb_Track*>(link->data);
            if (track && track->ipod_path)
                listed.insert(listedKey(track->ipod_path));
        }
        // Each music folder is opened once: an import spreads thousands of files over a few
        // dozen of them.
        struct Folder {
            OwnedFd fd;
            int error = 0;
        };
        std::map<QString, Folder> folders;
        struct Candidate {
            QString entry;
            int folder;
            QByteArray name;
            bool reached = false; // by a track, under another name
        };
        std::vector<Candidate> candidates;
        QHash<QPair<quint64, quint64>, QList<std::size_t>> byIdentity;
        QSet<QString> kept;
        for (const QString& entry : record.entries) {
            if (listed.contains(entry.toLower()))
                continue; // listed: the entry has done its work
            const qsizetype slash = entry.lastIndexOf(u'/');
            const auto [found, isNew] = folders.try_emplace(entry.left(slash));
            Folder& musicFolder = found->second;
            if (isNew) {
                musicFolder.fd = openFolder(mountPoint_, found->first.split(u'/'));
                musicFolder.error = musicFolder.fd.isValid() ? 0 : errno;
            }
            if (!musicFolder.fd.isValid()) {
                // Missing, or a link or a file in the way: nothing of ours is there.
                if (musicFolder.error != ENOENT && musicFolder.error != ELOOP &&
                    musicFolder.error != ENOTDIR)
                    kept.insert(entry); // looked at again next time
                continue;
            }
            const QByteArray name = QFile::encodeName(entry.mid(slash + 1));
            struct stat status {};
            if (::fstatat(musicFolder.fd.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) !=
                0) {
                if (errno != ENOENT)
                    kept.insert(entry);
                continue;
            }
            if (!S_ISREG(status.st_mode))
                continue; // not a file this program wrote or let go: never removed
            byIdentity[{quint64(status.st_dev), quint64(status.st_ino)}].append(candidates.size());
            candidates.push_back({entry, musicFolder.fd.get(), name});
        }

        if (!candidates.empty()) {
            // A track may still reach a candidate under another name (a link, another letter
            // case): compared by the file itself before anything goes.
            const QByteArray mount = QFile::encodeName(mountPoint_);
            for (GList* link = database_->tracks; link && !byIdentity.isEmpty();
                 link = link->next) {
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
                for (const std::size_t index :
                     byIdentity.take({quint64(status.st_dev), quint64(status.st_ino)}))
                    candidates[index].reached = true;
            }
            for (const Candidate& candidate : candidates) {
                if (candidate.reached)
                    continue;
                // Removed only while the volume is known to be the one the session opened.
                if (!checkpoint_) {
                    kept.insert(candidate.entry);
                    continue;
                }
                checkpoint();
                if (::unlinkat(candidate.folder, candidate.name.constData(), 0) != 0 &&
                    errno != ENOENT)
                    kept.insert(candidate.entry);
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

std::optional<IPodDatabase::CutSave> IPodDatabase::cutSave() const {
    try {
        const OwnedFd folder = openITunesFolder(mountPoint_);
        if (!folder.isValid())
            return std::nullopt;
        const RecordFile record =
            readRecordFile(folder.get(), saveRecord, saveRecordHeader, largestSaveRecord);
        if (record.state != RecordFile::State::usable)
            return std::nullopt;
        QList<QByteArray> lines = record.bytes.mid(saveRecordHeader.size()).split('\n');
        if (!lines.takeLast().isEmpty())
            return std::nullopt; // written whole or not at all: this one is damaged
        CutSave save;
        save.begunSeconds = record.modifiedSeconds;
        for (const QByteArray& line : std::as_const(lines)) {
            auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString file = decoder(line);
            if (decoder.hasError() || file.isEmpty())
                return std::nullopt;
            save.filesBefore.insert(file.toLower());
        }
        return save;
    } catch (...) {
        return std::nullopt;
    }
}

void IPodDatabase::recordSaveBegins() {
    OwnedFd folder;
    try {
        QByteArray bytes = saveRecordHeader;
        for (const QString& file : databaseCopyShapedFiles(mountPoint_))
            bytes += file.toUtf8() + '\n';
        checkpoint();
        folder = openITunesFolder(mountPoint_);
        if (!folder.isValid())
            return;
        if (readRecordFile(folder.get(), saveRecord, saveRecordHeader, largestSaveRecord).state ==
            RecordFile::State::unusable)
            setAside(folder.get(), saveRecord);
        writeRecordFile(folder.get(), saveRecord, bytes);
    } catch (...) {
        // Unrecorded, the save goes on; but the record of an earlier save must not speak for it.
        try {
            if (folder.isValid()) {
                checkpoint();
                removeRecordFile(folder.get(), saveRecord);
            }
        } catch (...) {
        }
    }
}

void IPodDatabase::recordSaveEnded() {
    try {
        checkpoint();
        const OwnedFd folder = openITunesFolder(mountPoint_);
        if (folder.isValid())
            removeRecordFile(folder.get(), saveRecord);
    } catch (...) {
        // Left there, it still names every file that was there before the save.
    }
}
