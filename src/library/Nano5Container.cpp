#include "library/Nano5Container.h"

#include "library/GLibHandles.h"
#include "library/ITunesDBStructure.h"
#include "library/Nano5Error.h"
#include "library/Nano5FileOps.h"

#include <gpod/itdb.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Nano5Playlist {

namespace {

bool entryExists(const fs::path& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0)
        return true;
    if (errno != ENOENT && errno != ENOTDIR)
        throwPosixError(errno, "lstat", path);
    return false;
}

void checkCDBFrame(QByteArrayView cdb) {
    if (cdb.size() < cdbHeaderLength || std::memcmp(cdb.data(), "mhbd", 4) != 0 ||
        readUInt32LE(cdb, 4) != cdbHeaderLength ||
        static_cast<qsizetype>(readUInt32LE(cdb, 8)) != cdb.size())
        throw Nano5Error::unsupportedDatabase();
}

} // namespace

QByteArray readDatabaseFile(const fs::path& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        throwPosixError(errno, "lstat", path);
    if (!S_ISREG(st.st_mode))
        throw Nano5Error::unsupportedDatabase();
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        if (entryExists(fs::path(path.string() + suffix)))
            throw Nano5Error::unsupportedDatabase();
    }
    Nano5FileOps::File file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ELOOP)
            throw Nano5Error::unsupportedDatabase();
        throwPosixError(errno, "open", path);
    }
    // The entry may have been swapped between the check and the open.
    struct stat opened;
    if (::fstat(file.get(), &opened) != 0)
        throwPosixError(errno, "fstat", path);
    if (!S_ISREG(opened.st_mode) || opened.st_ino != st.st_ino || opened.st_dev != st.st_dev)
        throw Nano5Error::unsupportedDatabase();
    if (opened.st_size > std::numeric_limits<qsizetype>::max() / 2)
        throw Nano5Error::unsupportedDatabase();
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(opened.st_size));
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size())
            bytes.resize(bytes.size() + 65536); // the file grew while we read it
        ssize_t n = ::read(file.get(), bytes.data() + got, static_cast<size_t>(bytes.size() - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwPosixError(errno, "read", path);
        }
        if (n == 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

std::uint32_t readUInt32LE(QByteArrayView bytes, qsizetype offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void writeUInt32LE(QByteArray& bytes, qsizetype offset, std::uint32_t value) {
    char* p = bytes.data() + offset;
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void checkCDBHeader(QByteArrayView cdb) {
    checkCDBFrame(cdb);
    auto byte = [&](qsizetype i) { return static_cast<unsigned char>(cdb[i]); };
    if (readUInt32LE(cdb, 16) != 117 || byte(168) != 1 || byte(48) != 1 || byte(49) != 0)
        throw Nano5Error::unsupportedDatabase();
}

QByteArray completePayload(QByteArrayView cdb) {
    checkCDBFrame(cdb);
    QByteArray payload = inflatePayload(cdb.sliced(cdbHeaderLength));
    if (!ITunesDBStructure::areSoundRecords(payload))
        throw Nano5Error::unsupportedDatabase();
    return payload;
}

qsizetype inflateCapacityLimit(qsizetype compressedLength) {
    qsizetype limit = std::max<qsizetype>(1024, compressedLength);
    while (limit * 2 <= maximumPayloadLength)
        limit *= 2;
    return limit;
}

QByteArray inflatePayload(QByteArrayView compressed) {
    if (compressed.size() > maximumPayloadLength)
        throw Nano5Error::unsupportedDatabase();
    // One streaming pass up to the limit gives the same answer as restarting the inflate at
    // every doubling of the buffer, without the restarts.
    const qsizetype limit = inflateCapacityLimit(compressed.size());

    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        throw Nano5Error::unsupportedDatabase();
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, inflateEnd);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());

    QByteArray out;
    out.resize(std::min(limit, std::max<qsizetype>(1024, compressed.size() * 4)));
    qsizetype produced = 0;
    for (;;) {
        if (produced == out.size()) {
            if (out.size() == limit) {
                // Full at the limit: only acceptable when the stream ends exactly here.
                unsigned char probe;
                stream.next_out = &probe;
                stream.avail_out = 1;
                int rc = inflate(&stream, Z_NO_FLUSH);
                if (rc == Z_STREAM_END && stream.avail_out == 1)
                    break;
                throw Nano5Error::unsupportedDatabase();
            }
            out.resize(std::min(limit, out.size() * 2));
        }
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        stream.avail_out = static_cast<uInt>(out.size() - produced);
        int rc = inflate(&stream, Z_NO_FLUSH);
        produced = out.size() - stream.avail_out;
        if (rc == Z_STREAM_END)
            break;
        if (rc == Z_OK)
            continue;
        if (rc == Z_BUF_ERROR && stream.avail_out == 0)
            continue;
        throw Nano5Error::unsupportedDatabase(); // damaged or truncated stream
    }
    if (stream.avail_in != 0)
        throw Nano5Error::unsupportedDatabase();
    out.truncate(produced);
    return out;
}

QByteArray deflatePayload(QByteArrayView payload) {
    if (static_cast<std::uint64_t>(payload.size()) > std::numeric_limits<uLong>::max())
        throw Nano5Error::unsupportedDatabase();
    uLong bound = compressBound(static_cast<uLong>(payload.size()));
    QByteArray out;
    out.resize(static_cast<qsizetype>(bound));
    uLongf length = bound;
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                  reinterpret_cast<const Bytef*>(payload.data()),
                  static_cast<uLong>(payload.size()), 1) != Z_OK)
        throw Nano5Error::unsupportedDatabase();
    out.truncate(static_cast<qsizetype>(length));
    return out;
}

QByteArray rebuildCDB(QByteArrayView original, QByteArrayView payload) {
    QByteArray file = original.first(cdbHeaderLength).toByteArray();
    file += deflatePayload(payload);
    if (static_cast<std::uint64_t>(file.size()) > std::numeric_limits<std::uint32_t>::max())
        throw Nano5Error::unsupportedDatabase();
    writeUInt32LE(file, 8, static_cast<std::uint32_t>(file.size()));
    return file;
}

void insertBytes(QByteArrayView bytes, QByteArray& into, qsizetype offset) {
    into.insert(offset, bytes);
}

void verifyPlaylistCDB(QByteArrayView cdb, const fs::path& signingFolder, std::uint64_t playlistID,
                       const QString& expectedName,
                       const std::vector<std::uint64_t>& expectedTrackIDs) {
    const fs::path target = signingFolder / "iPod_Control" / "iTunes" / "iTunesCDB";
    fs::create_directories(target.parent_path());
    {
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(cdb.data(), cdb.size());
        out.close();
        if (!out)
            throwPosixError(EIO, "write", target);
    }

    GLibHandles::ErrorSlot error;
    const GLibHandles::DatabasePtr db =
        GLibHandles::completeParse(itdb_parse(signingFolder.c_str(), error.out()), error);
    if (!db)
        throw Nano5Error::unsupportedDatabase();

    Itdb_Playlist* playlist = itdb_playlist_by_id(db.get(), playlistID);
    if (!playlist || !playlist->name || !g_utf8_validate(playlist->name, -1, nullptr) ||
        QString::fromUtf8(playlist->name) != expectedName)
        throw Nano5Error::unsupportedDatabase();

    std::vector<std::uint64_t> members;
    for (GList* item = playlist->members; item; item = item->next)
        members.push_back(static_cast<Itdb_Track*>(item->data)->dbid);
    if (members != expectedTrackIDs)
        throw Nano5Error::trackSelectionChanged();
}

} // namespace Nano5Playlist
