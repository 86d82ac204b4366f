#include "library/Nano5Signing.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstring>
#include <memory>

#ifndef LORVANEL_NANO5_SIGNING_KEY
#define LORVANEL_NANO5_SIGNING_KEY ""
#endif

namespace Nano5Signing {

namespace {

using Block = std::array<std::uint8_t, 16>;

// One AES-128 block in ECB mode; the CBC chaining is done by the callers.
bool aesBlock(const Key& key, const std::uint8_t* in, std::uint8_t* out, bool encrypt) {
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> context(EVP_CIPHER_CTX_new(),
                                                                       EVP_CIPHER_CTX_free);
    if (!context || EVP_CipherInit_ex(context.get(), EVP_aes_128_ecb(), nullptr, key.data(),
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

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<Key> keyFromHex(QByteArrayView hex) {
    if (hex.size() != 32)
        return std::nullopt;
    Key key{};
    for (size_t i = 0; i < key.size(); ++i) {
        const int high = hexDigit(hex[2 * i]);
        const int low = hexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        key[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return key;
}

std::optional<Key> buildKey() {
    static const std::optional<Key> key = keyFromHex(LORVANEL_NANO5_SIGNING_KEY);
    return key;
}

std::optional<QByteArray> cdbDigest(QByteArrayView cdb) {
    if (cdb.size() < cdbSignatureOffset + signatureLength)
        return std::nullopt;
    QByteArray copy = cdb.toByteArray();
    std::memset(copy.data() + 0x18, 0, 8);
    std::memset(copy.data() + 0x58, 0, 20);
    std::memset(copy.data() + cdbSignatureOffset, 0, signatureLength);
    QByteArray digest(SHA_DIGEST_LENGTH, '\0');
    SHA1(reinterpret_cast<const unsigned char*>(copy.constData()), static_cast<size_t>(copy.size()),
         reinterpret_cast<unsigned char*>(digest.data()));
    return digest;
}

std::optional<DeviceParameters> recoverParameters(const Key& key, QByteArrayView signature,
                                                  QByteArrayView digest) {
    if (signature.size() < signatureLength || digest.size() != SHA_DIGEST_LENGTH ||
        signature[0] != 1 || signature[1] != 0)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(signature.data());
    DeviceParameters parameters;
    std::memcpy(parameters.random.data(), bytes + 2, 12);
    const auto plain = plaintext(digest, parameters.random);
    const std::uint8_t* c1 = bytes + 14;
    const std::uint8_t* c2 = bytes + 30;
    Block d1{}, d2{};
    if (!aesBlock(key, c1, d1.data(), false) || !aesBlock(key, c2, d2.data(), false))
        return std::nullopt;
    for (int i = 0; i < 16; ++i) {
        parameters.iv[i] = d1[i] ^ plain[0][i];
        // The second block proves that key and digest were right.
        if (static_cast<std::uint8_t>(d2[i] ^ c1[i]) != plain[1][i])
            return std::nullopt;
    }
    return parameters;
}

QByteArray signature(const Key& key, const DeviceParameters& parameters, QByteArrayView digest) {
    const auto plain = plaintext(digest, parameters.random);
    Block x{}, c1{}, c2{};
    for (int i = 0; i < 16; ++i)
        x[i] = plain[0][i] ^ parameters.iv[i];
    if (!aesBlock(key, x.data(), c1.data(), true))
        return {};
    for (int i = 0; i < 16; ++i)
        x[i] = plain[1][i] ^ c1[i];
    if (!aesBlock(key, x.data(), c2.data(), true))
        return {};
    QByteArray out(signatureLength, '\0');
    out[0] = 1;
    std::memcpy(out.data() + 2, parameters.random.data(), 12);
    std::memcpy(out.data() + 14, c1.data(), 16);
    std::memcpy(out.data() + 30, c2.data(), 16);
    return out;
}

bool signCDB(const Key& key, QByteArrayView current, QByteArray& updated) {
    const auto currentDigest = cdbDigest(current);
    if (!currentDigest || updated.size() < cdbSignatureOffset + signatureLength)
        return false;
    const auto parameters =
        recoverParameters(key, current.sliced(cdbSignatureOffset, signatureLength), *currentDigest);
    if (!parameters)
        return false;
    // The scheme word at 0x30 stays as the header carries it: the writers' header check wants
    // it to read 1, so a file marked otherwise here would be refused by the next write.
    const auto digest = cdbDigest(updated);
    const QByteArray sig = signature(key, *parameters, *digest);
    if (sig.size() != signatureLength)
        return false;
    std::memcpy(updated.data() + cdbSignatureOffset, sig.constData(), signatureLength);
    return true;
}

bool signLocations(const Key& key, QByteArrayView current, QByteArray& newFile) {
    const qsizetype covered = signatureLength + locationsSignedDigestLength;
    if (current.size() < covered || newFile.size() < covered)
        return false;
    const auto parameters =
        recoverParameters(key, current.first(signatureLength),
                          current.sliced(signatureLength, locationsSignedDigestLength));
    if (!parameters)
        return false;
    const QByteArray sig =
        signature(key, *parameters,
                  QByteArrayView(newFile).sliced(signatureLength, locationsSignedDigestLength));
    if (sig.size() != signatureLength)
        return false;
    std::memcpy(newFile.data(), sig.constData(), signatureLength);
    return true;
}

} // namespace Nano5Signing

int itdb_nano5_sign_cdb(Itdb_Device*, const guint8* current, gsize currentLength, guint8* updated,
                        gsize updatedLength) {
    const auto key = Nano5Signing::buildKey();
    if (!key || !current || !updated)
        return 0;
    QByteArray buffer(reinterpret_cast<const char*>(updated),
                      static_cast<qsizetype>(updatedLength));
    if (!Nano5Signing::signCDB(*key,
                               QByteArrayView(reinterpret_cast<const char*>(current),
                                              static_cast<qsizetype>(currentLength)),
                               buffer))
        return 0;
    std::memcpy(updated, buffer.constData(), updatedLength);
    return 1;
}

int itdb_nano5_sign_locations(const guint8* headStart, const guint8* headEnd, guint8* newFile) {
    const auto key = Nano5Signing::buildKey();
    if (!key || !headStart || !newFile || headEnd - headStart != Nano5Signing::signatureLength)
        return 0;
    const qsizetype covered =
        Nano5Signing::signatureLength + Nano5Signing::locationsSignedDigestLength;
    QByteArray buffer(reinterpret_cast<const char*>(newFile), covered);
    if (!Nano5Signing::signLocations(
            *key, QByteArrayView(reinterpret_cast<const char*>(headStart), covered), buffer))
        return 0;
    std::memcpy(newFile, buffer.constData(), Nano5Signing::signatureLength);
    return 1;
}
