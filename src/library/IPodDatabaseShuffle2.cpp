// The second-generation shuffle's start track: its play-order and resume files rewritten as one
// checked transaction.

#include "library/IPodDatabase.h"

#include "library/Nano5Commit.h"
#include "library/Nano5Database.h"
#include "library/Nano5FileOps.h"
#include "platform/OwnedFd.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

#include <sys/stat.h>

namespace {

constexpr qint64 sdHeaderSize = 18;
constexpr qint64 sdEntrySize = 558;

quint32 littleEndian24(const QByteArray& bytes, qsizetype offset) {
    const auto byte = [&](qsizetype i) { return quint32(static_cast<unsigned char>(bytes[i])); };
    return byte(offset) | (byte(offset + 1) << 8) | (byte(offset + 2) << 16);
}

void putUInt32LE(QByteArray& bytes, qsizetype offset, quint32 value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char((value >> (8 * i)) & 0xFF);
}

// The whole file, or none when it does not exist; other failures are thrown.
std::optional<QByteArray> readIfPresent(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const OwnedFd file(::open(name.constData(), O_RDONLY | O_CLOEXEC));
    if (!file.isValid()) {
        if (errno == ENOENT)
            return std::nullopt;
        throw std::system_error(errno, std::generic_category(), "open " + name.toStdString());
    }
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::system_error(errno, std::generic_category(), "read " + name.toStdString());
        }
        if (n == 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

QByteArray readWhole(QFile& file) {
    if (!file.seek(0))
        throw std::system_error(EIO, std::generic_category(), "seek iTunesSD");
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw std::system_error(EIO, std::generic_category(), "read iTunesSD");
    return bytes;
}

struct Replacement {
    QString path;
    std::optional<QByteArray> old; // none: the file did not exist
    QByteArray replacement;
};

// Checks that every file still holds what was read, writes each durably in order and, when a
// write fails, puts back the files already written, last first.
void commit(const std::vector<Replacement>& files, Nano5FileOps& ops) {
    for (const Replacement& file : files) {
        if (!file.old) {
            struct stat status {};
            if (::lstat(QFile::encodeName(file.path).constData(), &status) == 0)
                throw IPodDatabaseError::invalidPlaybackState();
            if (errno != ENOENT)
                throw std::system_error(errno, std::generic_category(), "lstat");
        } else if (readIfPresent(file.path) != file.old) {
            throw IPodDatabaseError::invalidPlaybackState();
        }
    }
    const auto pathOf = [](const QString& path) {
        return std::filesystem::path(QFile::encodeName(path).toStdString());
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        try {
            Nano5Playlist::writeSynced(files[i].replacement, pathOf(files[i].path), ops);
        } catch (...) {
            const std::exception_ptr writeFailure = std::current_exception();
            std::exception_ptr undoFailure;
            // The failing write may have replaced its file before failing (a folder flush
            // after the rename), so it is undone too when it no longer holds the old bytes.
            for (std::size_t k = i + 1; k-- > 0;) {
                try {
                    const auto target = pathOf(files[k].path);
                    if (k == i && readIfPresent(files[k].path) == files[k].old)
                        continue;
                    if (files[k].old) {
                        Nano5Playlist::writeSynced(*files[k].old, target, ops);
                    } else {
                        ops.unlink(target);
                        ops.syncDirectory(target.parent_path());
                    }
                } catch (...) {
                    undoFailure = std::current_exception();
                }
            }
            if (undoFailure)
                throw IPodDatabaseError::library(LZ("Save library"),
                                                 localizedDescription(undoFailure));
            std::rethrow_exception(writeFailure);
        }
    }
}

} // namespace

quint32 IPodDatabase::readUInt32LE(const QByteArray& bytes, qsizetype offset) {
    const auto byte = [&](qsizetype i) { return quint32(static_cast<unsigned char>(bytes[i])); };
    return byte(offset) | (byte(offset + 1) << 8) | (byte(offset + 2) << 16) |
           (byte(offset + 3) << 24);
}

std::optional<QString> IPodDatabase::readShuffle2EntryPath(QFile& file, quint32 index) {
    if (!file.seek(sdEntrySize * index + sdHeaderSize + 33))
        return std::nullopt;
    const QByteArray raw = file.read(522);
    if (raw.size() != 522)
        return std::nullopt;
    auto decoder = QStringDecoder(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder(raw);
    if (decoder.hasError())
        return std::nullopt;
    const QStringList pieces = decoded.split(QChar(u'\0'), Qt::SkipEmptyParts);
    if (pieces.isEmpty() || !pieces.first().startsWith(u'/'))
        return std::nullopt;
    return pieces.first();
}

QByteArray IPodDatabase::reorderStats(const QByteArray& stats, const QList<quint32>& order) {
    const qsizetype length = stats.size();
    if (length < 6 || littleEndian24(stats, 0) != quint32(order.size()))
        throw IPodDatabaseError::invalidPlaybackState();
    QList<QByteArray> records;
    qsizetype position = 6;
    for (qsizetype i = 0; i < order.size(); ++i) {
        if (position + 18 > length)
            throw IPodDatabaseError::invalidPlaybackState();
        const qsizetype recordLength = littleEndian24(stats, position);
        if (recordLength < 18 || recordLength > length - position)
            throw IPodDatabaseError::invalidPlaybackState();
        records.append(stats.mid(position, recordLength));
        position += recordLength;
    }
    QByteArray result = stats.left(6);
    for (quint32 index : order)
        result.append(records.at(index));
    result.append(stats.mid(position));
    return result;
}

void IPodDatabase::setPlaybackStart(quint64 trackID) {
    setPlaybackStart(trackID, Nano5FileOps::system());
}

void IPodDatabase::setPlaybackStart(quint64 trackID, Nano5FileOps& ops) {
    ensureWritable();
    const Itdb_IpodInfo* info =
        database_->device ? itdb_device_get_ipod_info(database_->device) : nullptr;
    if (!info || info->ipod_generation != ITDB_IPOD_GENERATION_SHUFFLE_2)
        throw IPodDatabaseError::unsupportedDatabase();

    // Everything is read before anything is written.
    std::vector<Replacement> files;
    const auto plan = [&] {
        const auto pstate = readPStateFile();
        auto sd = pstate ? openShuffle2SD(*pstate) : std::nullopt;
        if (!sd)
            throw IPodDatabaseError::invalidPlaybackState();
        const quint32 count = sd->count;
        const QString folder = QFileInfo(pstate->path).path();
        const QString shufflePath = folder + QStringLiteral("/iTunesShuffle");
        const std::optional<QByteArray> oldShuffle = readIfPresent(shufflePath);

        const quint32 current = readUInt32LE(pstate->bytes, 4);
        const quint32 shufflePosition = readUInt32LE(pstate->bytes, 8);

        QList<quint32> order;
        quint32 p = 0;
        if (!oldShuffle) {
            order.reserve(count);
            for (quint32 i = 0; i < count; ++i)
                order.append(i);
            for (quint32 j = 0; j + 1 < count; ++j)
                order.swapItemsAt(j, j + qsizetype(Nano5Playlist::randomValue(count - j)));
            p = shufflePosition < count ? shufflePosition : 0;
        } else {
            if (oldShuffle->size() < qsizetype(count) * 4 || oldShuffle->size() % 4 != 0 ||
                shufflePosition >= count)
                throw IPodDatabaseError::invalidPlaybackState();
            QSet<quint32> seen;
            for (quint32 i = 0; i < count; ++i) {
                const quint32 value = readUInt32LE(*oldShuffle, qsizetype(i) * 4);
                if (value >= count || seen.contains(value))
                    throw IPodDatabaseError::invalidPlaybackState();
                seen.insert(value);
                order.append(value);
            }
            p = shufflePosition;
        }

        const Itdb_Track* track = resolveTracks({trackID}, database_->tracks).first();
        const QString path =
            track->ipod_path ? QString::fromUtf8(track->ipod_path).replace(u':', u'/') : QString();
        QList<quint32> matches;
        for (quint32 entry = 0; entry < count; ++entry) {
            if (readShuffle2EntryPath(*sd->file, entry) == path)
                matches.append(entry);
        }
        if (matches.isEmpty())
            throw IPodDatabaseError::trackSelectionChanged();
        quint32 target = matches.first();
        if (matches.contains(current))
            target = current;
        else if (matches.contains(order[p]))
            target = order[p];

        QList<quint32> entries;
        entries.reserve(count);
        for (quint32 i = 0; i < count; ++i) {
            if (i != target)
                entries.append(i);
        }
        entries.insert(current, target);
        order.removeOne(target);
        order.insert(p, target);
        QList<quint32> renumbered(count);
        for (quint32 k = 0; k < count; ++k)
            renumbered[entries[k]] = k;

        const QByteArray oldSD = readWhole(*sd->file);
        if (oldSD.size() != sdHeaderSize + sdEntrySize * count)
            throw IPodDatabaseError::invalidPlaybackState();
        QByteArray newSD = oldSD.left(sdHeaderSize);
        for (quint32 k = 0; k < count; ++k)
            newSD.append(oldSD.mid(sdHeaderSize + sdEntrySize * entries[k], sdEntrySize));

        QByteArray newShuffle(qsizetype(count) * 4, '\0');
        for (quint32 i = 0; i < count; ++i)
            putUInt32LE(newShuffle, qsizetype(i) * 4, renumbered[order[i]]);
        if (oldShuffle)
            newShuffle.append(oldShuffle->mid(qsizetype(count) * 4));

        QByteArray newPState = pstate->bytes;
        if (shufflePosition >= count)
            putUInt32LE(newPState, 8, 0);
        putUInt32LE(newPState, 12, 0);

        files.push_back({sd->sdPath, oldSD, newSD});
        files.push_back({shufflePath, oldShuffle, newShuffle});
        if (target != current) {
            const QByteArray encodedFolder = QFile::encodeName(folder);
            GLibHandles::CharPtr statsPath{itdb_get_path(encodedFolder.constData(), "iTunesStats")};
            if (statsPath) {
                const QString statsFile = QFile::decodeName(statsPath.get());
                const auto oldStats = readIfPresent(statsFile);
                if (!oldStats)
                    throw std::system_error(ENOENT, std::generic_category(), "read iTunesStats");
                if (oldStats->size() > 5)
                    files.push_back({statsFile, *oldStats, reorderStats(*oldStats, entries)});
            }
        }
        files.push_back({pstate->path, pstate->bytes, newPState});
        sd->file->close();
    };
    try {
        plan();
    } catch (...) {
        // Files that read as damaged or as another library may be those of another volume
        // mounted in the iPod's place: then that is the failure to report.
        checkpoint();
        throw;
    }
    checkpoint();
    commit(files, ops);
}
