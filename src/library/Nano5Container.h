#pragma once

// The fifth-generation nano's iTunesCDB: a 244-byte "mhbd" header followed by one zlib stream
// of the record tree; and the guarded read through which every nano database file is read.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace Nano5Playlist {

inline constexpr qsizetype cdbHeaderLength = 244;
// The largest record tree we inflate (128 MiB).
inline constexpr qsizetype maximumPayloadLength = 134217728;

// Reads a whole nano database file: it must be a regular file, not a symbolic link, with no
// "-wal", "-shm" or "-journal" entry beside it (Nano5Error::unsupportedDatabase). File-system
// errors are thrown as std::system_error.
QByteArray readDatabaseFile(const std::filesystem::path& path);

// Unsigned little-endian field access; the caller checks offset + 4 <= size.
std::uint32_t readUInt32LE(QByteArrayView bytes, qsizetype offset);
void writeUInt32LE(QByteArray& bytes, qsizetype offset, std::uint32_t value);

// Throws unsupportedDatabase unless cdb has a valid iTunesCDB header for its size, with the
// header words the writers rely on.
void checkCDBHeader(QByteArrayView cdb);

// The payload of an iTunesCDB that libgpod may be handed: "mhbd", a 244-byte header, the size
// the header states, and one complete zlib stream within the payload limit with nothing after
// it (libgpod loops forever on a truncated stream), holding records whose lengths stay within
// their parents. Throws unsupportedDatabase otherwise. The read path and the writers both check
// through here.
QByteArray completePayload(QByteArrayView cdb);

// The most bytes a payload compressed to compressedLength bytes may inflate to: the capacity
// doubles from max(1024, compressedLength) for as long as it stays within 128 MiB.
qsizetype inflateCapacityLimit(qsizetype compressedLength);

// The payload of a checked iTunesCDB (everything after the header), inflated. Refuses a payload
// larger than the doubling capacity allows (at most 128 MiB), a damaged stream, and bytes after
// the end of the stream (a rewrite would drop them).
QByteArray inflatePayload(QByteArrayView compressed);
// zlib at level 1 (best speed).
QByteArray deflatePayload(QByteArrayView payload);
// The header of `original` (already checked) around the deflated payload, with the total length
// at offset 8 rewritten; nothing else of the header changes.
QByteArray rebuildCDB(QByteArrayView original, QByteArrayView payload);

// Inserts bytes before position offset (0 <= offset <= into.size()).
void insertBytes(QByteArrayView bytes, QByteArray& into, qsizetype offset);

// Proves a rebuilt iTunesCDB by letting libgpod parse it from the signing folder, which already
// holds iPod_Control/Device/SysInfoExtended: the playlist must exist with the expected name
// (else unsupportedDatabase) and exactly the expected member dbids in order (else
// trackSelectionChanged).
void verifyPlaylistCDB(QByteArrayView cdb, const std::filesystem::path& signingFolder,
                       std::uint64_t playlistID, const QString& expectedName,
                       const std::vector<std::uint64_t>& expectedTrackIDs);

} // namespace Nano5Playlist
