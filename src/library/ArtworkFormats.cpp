#include "library/ArtworkFormats.h"

#include "library/DeviceDescription.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <gpod/itdb.h>

#include <cstdint>

namespace ArtworkFormats {

namespace {

// One row of a thumbnail as libgpod lays it out: width pixels padded to the alignment (none
// when 0).
qint64 rowBytes(std::uint64_t width, std::uint64_t alignment) {
    const qint64 row = qint64(width) * bytesPerPixel;
    const auto padding = qint64(alignment);
    return padding > 0 ? (row + padding - 1) / padding * padding : row;
}

bool listWithinBounds(const PropertyList& description, const char* key) {
    if (!description.contains(key))
        return true;
    const std::optional<QList<PropertyList>> formats = description.dictionaries(key);
    if (!formats || formats->size() > maxFormats)
        return false;
    QSet<std::uint64_t> ids;
    qint64 coverBytes = 0;
    for (const PropertyList& format : *formats) {
        const std::optional<std::uint64_t> id = format.unsignedInteger("FormatId");
        if (!id || *id > maxFormatID || ids.contains(*id))
            return false;
        ids.insert(*id);
        const std::optional<std::uint64_t> width = format.unsignedInteger("RenderWidth");
        const std::optional<std::uint64_t> height = format.unsignedInteger("RenderHeight");
        if (!width || !height || *width < 1 || *height < 1 || *width > maxSide || *height > maxSide)
            return false;
        std::uint64_t alignment = 0;
        if (format.contains("RowBytesAlignment")) {
            const std::optional<std::uint64_t> given = format.unsignedInteger("RowBytesAlignment");
            if (!given || *given > std::uint64_t(maxRowBytes))
                return false;
            alignment = *given;
        }
        const qint64 row = rowBytes(*width, alignment);
        if (row > maxRowBytes)
            return false;
        coverBytes += row * qint64(*height);
    }
    return coverBytes <= maxCoverBytes;
}

// The pixel formats libgpod can lay a cover out in, as the description names them (exactly: any
// other spelling it passes over).
bool isKnownPixelFormat(const std::optional<QString>& name) {
    static const QSet<QString> known = {
        QStringLiteral("32767579"), QStringLiteral("42353635"), QStringLiteral("4C353635"),
        QStringLiteral("79343230"), QStringLiteral("4C353535"),
    };
    return name && known.contains(*name);
}

QList<CoverStorage::Format> listedFormats(const PropertyList& description, const char* key) {
    QList<CoverStorage::Format> formats;
    for (const PropertyList& format :
         description.dictionaries(key).value_or(QList<PropertyList>{})) {
        const std::optional<std::uint64_t> id = format.unsignedInteger("FormatId");
        if (!id || *id > maxFormatID || !isKnownPixelFormat(format.string("PixelFormat")))
            continue;
        // Sizes beyond the bounds are refused before any save; these only count room.
        const std::uint64_t width =
            std::min<std::uint64_t>(format.unsignedInteger("RenderWidth").value_or(0), maxSide);
        const std::uint64_t height =
            std::min<std::uint64_t>(format.unsignedInteger("RenderHeight").value_or(0), maxSide);
        const std::uint64_t alignment = std::min<std::uint64_t>(
            format.unsignedInteger("RowBytesAlignment").value_or(0), std::uint64_t(maxRowBytes));
        formats.append({quint32(*id), rowBytes(width, alignment) * qint64(height)});
    }
    return formats;
}

QList<CoverStorage::Format> descriptionFormats(const PropertyList& description) {
    QList<CoverStorage::Format> formats = listedFormats(description, "AlbumArt");
    return formats.isEmpty() ? listedFormats(description, "AlbumArt2") : formats;
}

// Measured: the thumbnail files libgpod's save of one cover makes for every model it lists of
// these generations.
QList<CoverStorage::Format> modelFormatList(int generation) {
    switch (generation) {
    case ITDB_IPOD_GENERATION_NANO_1:
    case ITDB_IPOD_GENERATION_NANO_2:
        return {{1027, 20000}, {1031, 3528}};
    case ITDB_IPOD_GENERATION_NANO_3:
    case ITDB_IPOD_GENERATION_CLASSIC_1:
    case ITDB_IPOD_GENERATION_CLASSIC_2:
    case ITDB_IPOD_GENERATION_CLASSIC_3:
        return {{1055, 32768}, {1060, 204800}, {1061, 6272}, {1068, 32768}};
    case ITDB_IPOD_GENERATION_NANO_4:
        return {{1055, 32768}, {1068, 32768}, {1071, 115200},
                {1074, 5000},  {1078, 12800}, {1084, 115200}};
    default:
        return {};
    }
}

qint64 decimalDigits(quint32 value) {
    qint64 digits = 1;
    for (; value >= 10; value /= 10)
        ++digits;
    return digits;
}

} // namespace

bool withinBounds(const PropertyList& description) {
    return listWithinBounds(description, "AlbumArt") && listWithinBounds(description, "AlbumArt2");
}

QSet<quint32> coverFormats(const PropertyList& description) {
    QSet<quint32> ids;
    for (const CoverStorage::Format& format : descriptionFormats(description))
        ids.insert(format.id);
    return ids;
}

QSet<quint32> modelFormats(int generation) {
    QSet<quint32> ids;
    for (const CoverStorage::Format& format : modelFormatList(generation))
        ids.insert(format.id);
    return ids;
}

qint64 CoverStorage::databaseBytes(qint64 images) const {
    if (formats.isEmpty())
        return 0;
    // Measured on libgpod's writes: the header and lists take 696 bytes and 124 per format; an
    // image's record 152, and 136 per format with the thumbnail file's name (":F1027_1.ithmb")
    // in UTF-16 padded to four bytes. Names are bounded for files numbered up to 999.
    qint64 header = 696;
    qint64 record = 152;
    for (const Format& format : formats) {
        header += 124;
        const qint64 nameBytes = 2 * (12 + decimalDigits(format.id));
        record += 136 + (nameBytes + 3) / 4 * 4;
    }
    return header + std::max<qint64>(images, 0) * record;
}

CoverStorage coverStorage(const std::optional<PropertyList>& description, int generation) {
    CoverStorage storage;
    storage.formats = description ? descriptionFormats(*description) : modelFormatList(generation);
    // Measured: these generations share, and so does any whose description says it supports
    // sparse artwork; a description saying it does not leaves these sharing still.
    switch (generation) {
    case ITDB_IPOD_GENERATION_NANO_3:
    case ITDB_IPOD_GENERATION_NANO_4:
    case ITDB_IPOD_GENERATION_CLASSIC_1:
    case ITDB_IPOD_GENERATION_CLASSIC_2:
    case ITDB_IPOD_GENERATION_CLASSIC_3:
        storage.sharedInAlbum = true;
        break;
    default:
        storage.sharedInAlbum =
            description && description->boolean("SupportsSparseArtwork") == true;
        break;
    }
    return storage;
}

std::optional<CoverStorage> storageOf(Itdb_iTunesDB* database) {
    const gchar* mount = database ? itdb_get_mountpoint(database) : nullptr;
    if (!mount)
        return std::nullopt;
    const Itdb_IpodInfo* info =
        database->device ? itdb_device_get_ipod_info(database->device) : nullptr;
    const int generation = info ? int(info->ipod_generation) : 0;
    const DeviceDescription::File file = DeviceDescription::read(QFile::decodeName(mount));
    if (file.path.isEmpty())
        return coverStorage(std::nullopt, generation);
    if (file.refused())
        return std::nullopt;
    const auto description = PropertyList::parseDictionary(*file.text);
    if (!description)
        return std::nullopt;
    return coverStorage(description, generation);
}

std::optional<QSet<quint32>> ofDatabase(Itdb_iTunesDB* database) {
    const std::optional<CoverStorage> storage = storageOf(database);
    if (!storage)
        return std::nullopt;
    QSet<quint32> ids;
    for (const CoverStorage::Format& format : storage->formats)
        ids.insert(format.id);
    return ids;
}

StoredCoverLoss storedCoverLoss(const QSet<quint32>& formats, const ArtworkDBImages::Layout& stored,
                                const QList<std::optional<MappedCover>>& linkedCovers) {
    QHash<std::pair<quint32, quint64>, QList<const ArtworkDBImages::ImageRecord*>> images;
    for (const ArtworkDBImages::ImageRecord& image : stored.images)
        images[{image.id, image.songID}].append(&image);
    StoredCoverLoss loss = StoredCoverLoss::none;
    for (const std::optional<MappedCover>& cover : linkedCovers) {
        QList<QList<ArtworkDBImages::StoredThumbnail>> held;
        bool inOtherFormats = false;
        if (cover) {
            for (const ArtworkDBImages::ImageRecord* image :
                 images.value({cover->image, cover->songID})) {
                held.append(ArtworkDBImages::heldIn(image->thumbnails, formats));
                inOtherFormats =
                    inOtherFormats || (held.last().isEmpty() && !image->thumbnails.isEmpty());
            }
        }
        if (!held.isEmpty() && !ArtworkDBImages::decodableSizes(held).isEmpty())
            continue;
        if (inOtherFormats)
            return StoredCoverLoss::formatsUnlisted;
        loss = StoredCoverLoss::unmapped;
    }
    return loss;
}

} // namespace ArtworkFormats
