#include "library/Nano5Signing.h"

#include "library/GLibHandles.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <numeric>
#include <utility>

namespace Nano5Signing {

namespace {

using Block = std::array<std::uint8_t, 16>;

// The hash72 key. Every device of this generation checks with the same one, so it is part of
// the scheme, not a setting.
constexpr Block hash72Key = {0x61, 0x8c, 0xa1, 0x0d, 0xc7, 0xf5, 0x7f, 0xd3,
                             0xb4, 0x72, 0x3e, 0x08, 0x15, 0x74, 0x63, 0xd7};

// What hash58's HMAC key is derived from, ahead of the 16 bytes drawn from the GUID.
constexpr std::array<std::uint8_t, 18> hash58Seed = {0x67, 0x23, 0xFE, 0x30, 0x45, 0x33,
                                                     0xF8, 0x90, 0x99, 0x21, 0x07, 0xC1,
                                                     0xD0, 0x12, 0xB2, 0xA1, 0x07, 0x81};

// The end of the last signature field of an iTunesCDB header.
constexpr qsizetype cdbSignedHeaderLength = hash72Offset + hash72Length;

// The AES S-box and its inverse, from their definition: the multiplicative inverse in GF(2^8)
// followed by the affine map.
struct SBoxes {
    std::array<std::uint8_t, 256> forward{};
    std::array<std::uint8_t, 256> inverse{};
};

constexpr std::uint8_t multiply(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    while (b != 0) {
        if (b & 1)
            product ^= a;
        a = static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
        b >>= 1;
    }
    return product;
}

constexpr std::uint8_t rotateLeft(std::uint8_t value, int bits) {
    return static_cast<std::uint8_t>((value << bits) | (value >> (8 - bits)));
}

constexpr SBoxes makeSBoxes() {
    SBoxes boxes;
    for (int x = 0; x < 256; ++x) {
        // x^254 is x's inverse (and 0 for 0).
        std::uint8_t inverse = 1;
        std::uint8_t power = static_cast<std::uint8_t>(x);
        for (int e = 254; e != 0; e >>= 1) {
            if (e & 1)
                inverse = multiply(inverse, power);
            power = multiply(power, power);
        }
        const std::uint8_t s = inverse ^ rotateLeft(inverse, 1) ^ rotateLeft(inverse, 2) ^
                               rotateLeft(inverse, 3) ^ rotateLeft(inverse, 4) ^ 0x63;
        boxes.forward[x] = s;
        boxes.inverse[s] = static_cast<std::uint8_t>(x);
    }
    return boxes;
}

constexpr SBoxes sBoxes = makeSBoxes();
static_assert(sBoxes.forward[0x00] == 0x63 && sBoxes.forward[0x01] == 0x7C &&
              sBoxes.forward[0x53] == 0xED && sBoxes.inverse[0x63] == 0x00);

// One AES-128 block in ECB mode; the CBC chaining is done by the callers.
bool aesBlock(const std::uint8_t* in, std::uint8_t* out, bool encrypt) {
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> context(EVP_CIPHER_CTX_new(),
                                                                       EVP_CIPHER_CTX_free);
    if (!context || EVP_CipherInit_ex(context.get(), EVP_aes_128_ecb(), nullptr, hash72Key.data(),
                                      nullptr, encrypt ? 1 : 0) != 1)
        return false;
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    int length = 0;
    return EVP_CipherUpdate(context.get(), out, &length, in, 16) == 1 && length == 16;
}

// SHA-1 (20 bytes) || the 12 device bytes, as two blocks.
std::array<Block, 2> plaintext(QByteArrayView digest, const std::array<std::uint8_t, 12>& random) {
    std::array<std::uint8_t, 32> all{};
    std::memcpy(all.data(), digest.data(), 20);
    std::memcpy(all.data() + 20, random.data(), 12);
    std::array<Block, 2> blocks{};
    std::memcpy(blocks[0].data(), all.data(), 16);
    std::memcpy(blocks[1].data(), all.data() + 16, 16);
    return blocks;
}

// A copy of bytes with the given (offset, length) ranges zeroed.
QByteArray masked(QByteArrayView bytes,
                  std::initializer_list<std::pair<qsizetype, qsizetype>> ranges) {
    QByteArray copy = bytes.toByteArray();
    for (const auto& [offset, length] : ranges)
        std::memset(copy.data() + offset, 0, static_cast<size_t>(length));
    return copy;
}

bool isAllZero(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void place(QByteArray& file, qsizetype offset, const QByteArray& bytes) {
    std::memcpy(file.data() + offset, bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace

std::optional<QByteArray> cdbDigest(QByteArrayView cdb) {
    if (cdb.size() < cdbSignedHeaderLength)
        return std::nullopt;
    const QByteArray message =
        masked(cdb, {{0x18, 8}, {hash58Offset, hash58Length}, {hash72Offset, hash72Length}});
    QByteArray digest(SHA_DIGEST_LENGTH, '\0');
    SHA1(reinterpret_cast<const unsigned char*>(message.constData()),
         static_cast<size_t>(message.size()), reinterpret_cast<unsigned char*>(digest.data()));
    return digest;
}

std::optional<DeviceParameters> recoverParameters(QByteArrayView signature, QByteArrayView digest) {
    if (signature.size() < hash72Length || digest.size() != SHA_DIGEST_LENGTH ||
        signature[0] != 1 || signature[1] != 0)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(signature.data());
    DeviceParameters parameters;
    std::memcpy(parameters.random.data(), bytes + 2, 12);
    const auto plain = plaintext(digest, parameters.random);
    const std::uint8_t* c1 = bytes + 14;
    const std::uint8_t* c2 = bytes + 30;
    Block d1{}, d2{};
    if (!aesBlock(c1, d1.data(), false) || !aesBlock(c2, d2.data(), false))
        return std::nullopt;
    for (int i = 0; i < 16; ++i) {
        parameters.iv[i] = d1[i] ^ plain[0][i];
        // The second block proves that the signature is of this scheme and over this digest.
        if (static_cast<std::uint8_t>(d2[i] ^ c1[i]) != plain[1][i])
            return std::nullopt;
    }
    return parameters;
}

QByteArray hash72(const DeviceParameters& parameters, QByteArrayView digest) {
    const auto plain = plaintext(digest, parameters.random);
    Block x{}, c1{}, c2{};
    for (int i = 0; i < 16; ++i)
        x[i] = plain[0][i] ^ parameters.iv[i];
    if (!aesBlock(x.data(), c1.data(), true))
        return {};
    for (int i = 0; i < 16; ++i)
        x[i] = plain[1][i] ^ c1[i];
    if (!aesBlock(x.data(), c2.data(), true))
        return {};
    QByteArray out(hash72Length, '\0');
    out[0] = 1;
    std::memcpy(out.data() + 2, parameters.random.data(), 12);
    std::memcpy(out.data() + 14, c1.data(), 16);
    std::memcpy(out.data() + 30, c2.data(), 16);
    return out;
}

std::optional<DeviceParameters> cdbParameters(QByteArrayView cdb) {
    const auto digest = cdbDigest(cdb);
    if (!digest)
        return std::nullopt;
    return recoverParameters(cdb.sliced(hash72Offset, hash72Length), *digest);
}

std::optional<DeviceParameters> checksumParameters(QByteArrayView checksumFile) {
    if (checksumFile.size() < hash72Length + locationsSignedDigestLength)
        return std::nullopt;
    return recoverParameters(checksumFile.first(hash72Length),
                             checksumFile.sliced(hash72Length, locationsSignedDigestLength));
}

std::optional<DeviceParameters> deviceParameters(QByteArrayView checksumFile, QByteArrayView cdb) {
    if (auto parameters = checksumParameters(checksumFile))
        return parameters;
    return cdbParameters(cdb);
}

std::optional<FireWireGUID> fireWireGUID(QByteArrayView text) {
    if (text.startsWith("0x") || text.startsWith("0X"))
        text = text.sliced(2);
    if (text.size() < 16 || text.size() > 40 || text.size() % 2 != 0)
        return std::nullopt;
    std::array<std::uint8_t, 20> bytes{};
    for (qsizetype i = 0; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[static_cast<size_t>(i / 2)] = static_cast<std::uint8_t>(high << 4 | low);
    }
    FireWireGUID guid{};
    std::copy_n(bytes.begin(), guid.size(), guid.begin());
    return guid;
}

std::optional<FireWireGUID> fireWireGUID(const Itdb_Device* device) {
    if (!device)
        return std::nullopt;
    const GLibHandles::CharPtr text{itdb_device_get_sysinfo(device, "FirewireGuid")};
    if (!text)
        return std::nullopt;
    return fireWireGUID(QByteArrayView(text.get()));
}

std::optional<QByteArray> hash58(const FireWireGUID& guid, QByteArrayView cdb) {
    if (cdb.size() < cdbSignedHeaderLength)
        return std::nullopt;
    std::array<std::uint8_t, hash58Seed.size() + 16> keySource{};
    std::copy(hash58Seed.begin(), hash58Seed.end(), keySource.begin());
    for (size_t i = 0; i < 4; ++i) {
        const unsigned a = guid[2 * i];
        const unsigned b = guid[2 * i + 1];
        const unsigned l = (a == 0 || b == 0) ? 1 : std::lcm(a, b);
        const std::uint8_t high = (l >> 8) & 0xFF;
        const std::uint8_t low = l & 0xFF;
        std::uint8_t* y = keySource.data() + hash58Seed.size() + 4 * i;
        y[0] = sBoxes.forward[high];
        y[1] = sBoxes.inverse[high];
        y[2] = sBoxes.forward[low];
        y[3] = sBoxes.inverse[low];
    }
    std::array<unsigned char, SHA_DIGEST_LENGTH> key{};
    SHA1(keySource.data(), keySource.size(), key.data());

    const QByteArray message = masked(cdb, {{0x18, 8}, {0x32, 20}, {hash58Offset, hash58Length}});
    QByteArray mac(SHA_DIGEST_LENGTH, '\0');
    unsigned int length = 0;
    if (!HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
              reinterpret_cast<const unsigned char*>(message.constData()),
              static_cast<size_t>(message.size()), reinterpret_cast<unsigned char*>(mac.data()),
              &length) ||
        length != SHA_DIGEST_LENGTH)
        return std::nullopt;
    return mac;
}

bool signCDB(QByteArrayView current, QByteArray& updated, const std::optional<FireWireGUID>& guid) {
    if (current.size() < cdbSignedHeaderLength || updated.size() < cdbSignedHeaderLength)
        return false;
    const bool carriesHash72 = !isAllZero(current.sliced(hash72Offset, hash72Length));
    const bool carriesHash58 = !isAllZero(current.sliced(hash58Offset, hash58Length));
    std::optional<DeviceParameters> parameters;
    if (carriesHash72 && !(parameters = cdbParameters(current)))
        return false;
    if (carriesHash58 &&
        (!guid || hash58(*guid, current) != current.sliced(hash58Offset, hash58Length)))
        return false;

    QByteArray file = masked(updated, {{hash58Offset, hash58Length}, {hash72Offset, hash72Length}});
    // hash58 covers the hash72 bytes and hash72 does not cover hash58's, so hash72 goes first.
    if (parameters) {
        const QByteArray signature = hash72(*parameters, *cdbDigest(file));
        if (signature.size() != hash72Length)
            return false;
        place(file, hash72Offset, signature);
    }
    if (carriesHash58) {
        const auto mac = hash58(*guid, file);
        if (!mac)
            return false;
        place(file, hash58Offset, *mac);
    }
    updated = std::move(file);
    return true;
}

bool signLocations(const DeviceParameters& parameters, QByteArray& checksumFile) {
    if (checksumFile.size() < hash72Length + locationsSignedDigestLength)
        return false;
    const QByteArray signature = hash72(
        parameters, QByteArrayView(checksumFile).sliced(hash72Length, locationsSignedDigestLength));
    if (signature.size() != hash72Length)
        return false;
    place(checksumFile, 0, signature);
    return true;
}

} // namespace Nano5Signing

int itdb_nano5_sign_cdb(Itdb_Device* device, const guint8* current, gsize currentLength,
                        guint8* updated, gsize updatedLength) {
    if (!current || !updated)
        return 0;
    QByteArray buffer(reinterpret_cast<const char*>(updated),
                      static_cast<qsizetype>(updatedLength));
    if (!Nano5Signing::signCDB(QByteArrayView(reinterpret_cast<const char*>(current),
                                              static_cast<qsizetype>(currentLength)),
                               buffer, Nano5Signing::fireWireGUID(device)))
        return 0;
    std::memcpy(updated, buffer.constData(), updatedLength);
    return 1;
}

int itdb_nano5_sign_locations(const guint8* headStart, const guint8* headEnd, guint8* newFile) {
    if (!headStart || !newFile || headEnd - headStart != Nano5Signing::hash72Length)
        return 0;
    const qsizetype covered =
        Nano5Signing::hash72Length + Nano5Signing::locationsSignedDigestLength;
    const auto parameters = Nano5Signing::checksumParameters(
        QByteArrayView(reinterpret_cast<const char*>(headStart), covered));
    QByteArray buffer(reinterpret_cast<const char*>(newFile), covered);
    if (!parameters || !Nano5Signing::signLocations(*parameters, buffer))
        return 0;
    std::memcpy(newFile, buffer.constData(), Nano5Signing::hash72Length);
    return 1;
}
