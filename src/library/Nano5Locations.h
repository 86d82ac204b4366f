#pragma once

// Locations.itdb.cbk: a hash72 signature, the SHA-1 of the block list, then the SHA-1 of
// every 1024-byte block of Locations.itdb.

#include "library/Nano5Signing.h"

#include <QByteArray>
#include <QByteArrayView>

namespace Nano5Playlist {

inline constexpr qsizetype locationsBlockLength = 1024;
inline constexpr qsizetype locationsSignatureLength = Nano5Signing::hash72Length;

// The checksum file for these Locations.itdb bytes, signature area zeroed. Throws
// unsupportedDatabase for an empty database or one that is not whole blocks.
QByteArray locationsChecksum(QByteArrayView locations);

} // namespace Nano5Playlist
