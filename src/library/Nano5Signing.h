#pragma once

// Signatures of the fifth-generation nano's iTunesCDB and Locations.itdb.cbk. A signature is
// 46 bytes: 01 00, 12 device bytes, then AES-128-CBC (no padding) of SHA-1 || the 12 bytes under
// the fixed key and the device's IV. The IV and the 12 bytes are recovered from a signature the
// device already accepted, so signing needs nothing but the current file.

#include <QByteArray>
#include <QByteArrayView>

#include <gpod/itdb.h>

#include <array>
#include <cstdint>
#include <optional>

namespace Nano5Signing {

using Key = std::array<std::uint8_t, 16>;

struct DeviceParameters {
    std::array<std::uint8_t, 16> iv{};
    std::array<std::uint8_t, 12> random{};
    bool operator==(const DeviceParameters&) const = default;
};

inline constexpr qsizetype signatureLength = 46;
inline constexpr qsizetype cdbSignatureOffset = 0x72;
// The header's hashing-scheme word; libgpod marks its own signed files with 2 there.
inline constexpr qsizetype cdbSchemeOffset = 0x30;
// Bytes of a Locations.itdb.cbk after its signature that the signature covers (the list digest).
inline constexpr qsizetype locationsSignedDigestLength = 20;

// The key this build signs with: set at configure time (LORVANEL_NANO5_SIGNING_KEY, 32 hex
// digits). Without it nothing is signed and every nano write stops before the device changes.
std::optional<Key> buildKey();
std::optional<Key> keyFromHex(QByteArrayView hex);

// SHA-1 of an iTunesCDB with its database id (0x18, 8 bytes), hash58 (0x58, 20) and signature
// (0x72, 46) taken as zero. Nothing for a file too short to hold them.
std::optional<QByteArray> cdbDigest(QByteArrayView cdb);

// The device's IV and bytes from a signature over digest; nothing when the signature is not of
// this scheme under key.
std::optional<DeviceParameters> recoverParameters(const Key& key, QByteArrayView signature,
                                                  QByteArrayView digest);
// The 46-byte signature of a 20-byte digest.
QByteArray signature(const Key& key, const DeviceParameters& parameters, QByteArrayView digest);

// Signs `updated` in place with the parameters recovered from `current`; false when current is
// not a signed iTunesCDB of this scheme or a buffer is too short. Only the 46 signature bytes
// change; the scheme word is left as it is.
bool signCDB(const Key& key, QByteArrayView current, QByteArray& updated);
// Fills bytes 0-45 of newFile from the parameters of the current checksum file (at least 66
// bytes: its signature and the digest it covers).
bool signLocations(const Key& key, QByteArrayView current, QByteArray& newFile);

} // namespace Nano5Signing

extern "C" {
// The calls the nano writers sign through, with the build key; non-zero is success. The device
// is not consulted. headStart..headEnd are the 46 signature bytes of the current checksum file
// and must lie at the start of the whole current file in memory: the signed digest follows them.
int itdb_nano5_sign_cdb(Itdb_Device* device, const guint8* current, gsize currentLength,
                        guint8* updated, gsize updatedLength);
int itdb_nano5_sign_locations(const guint8* headStart, const guint8* headEnd, guint8* newFile);
}
