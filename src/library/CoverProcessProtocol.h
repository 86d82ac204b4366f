#pragma once

// What the cover process (lorvanel-open-helper --covers) and its client in the application say
// to each other over their socket, all numbers little-endian:
//   client, once, with --sysinfo-extended: u32 length, the description's bytes
//   process, once the database is open:    the byte 'R'
//   client, per request:                   u32 count (1..maxIDs), count x u64 track id
//   process:                               u32 count again, then per id in order:
//                                          u64 id, u8 state, and for an image u32 width,
//                                          u32 height and width x height x 3 bytes (RGB)

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace CoverProcessProtocol {

inline constexpr char ready = 'R';
inline constexpr quint32 maxIDs = 4096;
// No cover an iPod keeps comes near this side; anything larger is not an answer.
inline constexpr quint32 maxSide = 2048;
inline constexpr int bytesPerPixel = 3;
inline constexpr quint32 maxDescriptionBytes = 512u << 10;

enum class State : quint8 { none = 0, damaged = 1, image = 2 };

inline void appendU32(QByteArray& bytes, quint32 value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes += char(value >> shift);
}

inline void appendU64(QByteArray& bytes, quint64 value) {
    appendU32(bytes, quint32(value));
    appendU32(bytes, quint32(value >> 32));
}

inline quint32 u32At(const char* bytes) {
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | quint8(bytes[i]);
    return value;
}

inline quint64 u64At(const char* bytes) {
    return u32At(bytes) | quint64(u32At(bytes + 4)) << 32;
}

// The pixel bytes of an image of that size, or none when the size is out of bounds.
inline std::optional<qsizetype> pixelBytes(quint32 width, quint32 height) {
    if (width < 1 || height < 1 || width > maxSide || height > maxSide)
        return std::nullopt;
    return qsizetype(width) * qsizetype(height) * bytesPerPixel;
}

} // namespace CoverProcessProtocol
