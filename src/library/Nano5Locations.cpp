#include "library/Nano5Locations.h"

#include "library/Nano5Error.h"

#include <openssl/sha.h>

namespace Nano5Playlist {

QByteArray locationsChecksum(QByteArrayView locations) {
    if (locations.isEmpty() || locations.size() % locationsBlockLength != 0)
        throw Nano5Error::unsupportedDatabase();
    const qsizetype blocks = locations.size() / locationsBlockLength;
    QByteArray file(locationsSignatureLength + SHA_DIGEST_LENGTH * (1 + blocks), '\0');
    auto* list = reinterpret_cast<unsigned char*>(file.data()) + locationsSignatureLength +
                 SHA_DIGEST_LENGTH;
    const auto* data = reinterpret_cast<const unsigned char*>(locations.data());
    for (qsizetype i = 0; i < blocks; ++i)
        SHA1(data + i * locationsBlockLength, locationsBlockLength, list + i * SHA_DIGEST_LENGTH);
    SHA1(list, static_cast<size_t>(blocks * SHA_DIGEST_LENGTH),
         reinterpret_cast<unsigned char*>(file.data()) + locationsSignatureLength);
    return file;
}

} // namespace Nano5Playlist
