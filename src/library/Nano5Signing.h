#pragma once

// Signatures of the fifth-generation nano's iTunesCDB and Locations.itdb.cbk.
//
// hash72 (46 bytes): 01 00, 12 device bytes, then AES-128-CBC (no padding) of SHA-1 || the 12
// bytes under a fixed key and the device's IV. The IV and the 12 bytes are not secret: they are
// recovered from a signature the device already accepted. Locations.itdb.cbk carries one over
// the list digest that follows it; an iTunesCDB may carry one at 0x72.
//
// hash58 (20 bytes at 0x58 of an iTunesCDB): an HMAC-SHA1 of the file keyed from the device's
// FireWire GUID.
//
// A rewritten iTunesCDB carries fresh signatures of exactly the kinds the current file carries,
// so the device checks the new file the way it checked the old one; a signature we cannot
// reproduce is never carried over stale.

#include <QByteArray>
#include <QByteArrayView>

#include <gpod/itdb.h>

#include <array>
#include <cstdint>
#include <optional>

namespace Nano5Signing {

struct DeviceParameters {
    std::array<std::uint8_t, 16> iv{};
    std::array<std::uint8_t, 12> random{};
    bool operator==(const DeviceParameters&) const = default;
};

// The GUID bytes hash58 is keyed from (the first 8 of the device's FireWire GUID).
using FireWireGUID = std::array<std::uint8_t, 8>;

inline constexpr qsizetype hash72Length = 46;
inline constexpr qsizetype hash72Offset = 0x72;
inline constexpr qsizetype hash58Length = 20;
inline constexpr qsizetype hash58Offset = 0x58;
// Bytes of a Locations.itdb.cbk after its hash72 that the hash72 covers (the list digest).
inline constexpr qsizetype locationsSignedDigestLength = 20;

// SHA-1 of an iTunesCDB with its database id (0x18, 8 bytes), hash58 and hash72 taken as zero;
// what its hash72 signs. Nothing for a file too short to hold them.
std::optional<QByteArray> cdbDigest(QByteArrayView cdb);

// The device's IV and bytes from a hash72 over digest; nothing when the signature is not of this
// scheme.
std::optional<DeviceParameters> recoverParameters(QByteArrayView signature, QByteArrayView digest);
// The 46-byte hash72 of a 20-byte digest.
QByteArray hash72(const DeviceParameters& parameters, QByteArrayView digest);

// The parameters of a valid hash72 in an iTunesCDB, or at the head of a checksum file.
std::optional<DeviceParameters> cdbParameters(QByteArrayView cdb);
std::optional<DeviceParameters> checksumParameters(QByteArrayView checksumFile);
// The device's parameters from whichever of its current files carries a valid hash72, the
// checksum file first; nothing when neither does.
std::optional<DeviceParameters> deviceParameters(QByteArrayView checksumFile, QByteArrayView cdb);

// The GUID from its hexadecimal text ("0x" optional, 16 to 40 digits, as SysInfo and
// SysInfoExtended give it), or from what libgpod read of the device's description.
std::optional<FireWireGUID> fireWireGUID(QByteArrayView text);
std::optional<FireWireGUID> fireWireGUID(const Itdb_Device* device);
// The 20-byte hash58 of an iTunesCDB as it would stand at 0x58; nothing for a short file.
std::optional<QByteArray> hash58(const FireWireGUID& guid, QByteArrayView cdb);

// Signs updated (a rewrite of current) in place: a hash72 where current carries one (with the
// parameters it carries), then a hash58 where current carries one (for guid); a kind current
// lacks stays zero, and the scheme word is left as it is. False, with updated untouched, when
// current carries a signature that does not verify or a buffer is too short.
bool signCDB(QByteArrayView current, QByteArray& updated, const std::optional<FireWireGUID>& guid);
// Fills bytes 0-45 of a new checksum file (at least 66 bytes) for the device.
bool signLocations(const DeviceParameters& parameters, QByteArray& checksumFile);

} // namespace Nano5Signing

extern "C" {
// The signing entry points; non-zero is success. The iTunesCDB is signed as signCDB does, with
// the GUID of the device's description. headStart..headEnd are the 46 signature bytes of the
// current checksum file and must lie at the start of the whole current file in memory: the digest
// they sign follows them.
int itdb_nano5_sign_cdb(Itdb_Device* device, const guint8* current, gsize currentLength,
                        guint8* updated, gsize updatedLength);
int itdb_nano5_sign_locations(const guint8* headStart, const guint8* headEnd, guint8* newFile);
}
