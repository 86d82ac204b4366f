#include "library/ArtworkDBImages.h"

#include "library/GLibHandles.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <gpod/itdb.h>

#include <algorithm>
#include <optional>

#include <sys/stat.h>

namespace {

struct Thumbnail {
    quint32 format = 0; // the FormatId of the device description
    quint32 offset = 0;
    quint32 size = 0;
    qint16 verticalPadding = 0;
    qint16 horizontalPadding = 0;
    quint16 height = 0;
    quint16 width = 0;
    QString file; // as recorded, ":F1027_1.ithmb"
    bool isWhole = false;
    // Whether libgpod's reading of an ArtworkDB takes it: of the first as many containers as
    // the image's child count says, one of type 2.
    bool isRead = false;
};

struct Image {
    quint32 id = 0;
    quint64 songID = 0;
    QList<Thumbnail> thumbnails;
    int thumbnailRecords = 0; // read or not
    bool isWhole = true;
};

// Little-endian reads inside one record, which must lie inside the file.
class Reader {
public:
    explicit Reader(const QByteArray& bytes)
        : bytes_(bytes) {}
    qsizetype size() const { return bytes_.size(); }
    bool has(qsizetype offset, qsizetype length) const {
        return offset >= 0 && length >= 0 && offset <= size() && length <= size() - offset;
    }
    quint32 u32(qsizetype offset) const {
        return quint32(byte(offset)) | quint32(byte(offset + 1)) << 8 |
               quint32(byte(offset + 2)) << 16 | quint32(byte(offset + 3)) << 24;
    }
    quint16 u16(qsizetype offset) const { return quint16(byte(offset) | byte(offset + 1) << 8); }
    quint64 u64(qsizetype offset) const { return u32(offset) | quint64(u32(offset + 4)) << 32; }
    bool tagAt(qsizetype offset, const char* tag) const {
        return has(offset, 4) && QByteArrayView(bytes_).sliced(offset, 4) == tag;
    }
    QByteArray mid(qsizetype offset, qsizetype length) const { return bytes_.mid(offset, length); }

private:
    quint8 byte(qsizetype offset) const { return quint8(bytes_[offset]); }
    const QByteArray& bytes_;
};

// A record's extent: tag, header and total length read and checked against its container.
struct Record {
    qsizetype start = 0;
    qsizetype header = 0;
    qsizetype end = 0;
};

std::optional<Record> recordAt(const Reader& r, qsizetype offset, qsizetype limit, const char* tag,
                               qsizetype minimumHeader, bool totalIsLength = true) {
    if (!r.has(offset, 12) || offset + 12 > limit || !r.tagAt(offset, tag))
        return std::nullopt;
    const qsizetype header = r.u32(offset + 4);
    const qsizetype total = totalIsLength ? qsizetype(r.u32(offset + 8)) : header;
    if (header < minimumHeader || total < header || total > limit - offset || !r.has(offset, total))
        return std::nullopt;
    return Record{offset, header, offset + total};
}

// The file name of an mhod of type 3 (UTF-16 or UTF-8, as its encoding byte says).
std::optional<QString> fileNameOf(const Reader& r, const Record& mhod) {
    if (mhod.end - mhod.start < 36)
        return std::nullopt;
    const qsizetype length = r.u32(mhod.start + 24);
    const quint32 encoding = r.u32(mhod.start + 28) & 0xFF;
    if (length > mhod.end - mhod.start - 36)
        return std::nullopt;
    const QByteArray raw = r.mid(mhod.start + 36, length);
    auto decoder = QStringDecoder(encoding == 2 ? QStringDecoder::Utf16LE : QStringDecoder::Utf8,
                                  QStringDecoder::Flag::Stateless);
    const QString name = decoder(raw);
    if (decoder.hasError())
        return std::nullopt;
    return name;
}

std::optional<Thumbnail> thumbnailAt(const Reader& r, qsizetype offset, qsizetype limit) {
    const auto mhni = recordAt(r, offset, limit, "mhni", 36);
    if (!mhni)
        return std::nullopt;
    Thumbnail thumbnail;
    thumbnail.format = r.u32(offset + 16);
    thumbnail.offset = r.u32(offset + 20);
    thumbnail.size = r.u32(offset + 24);
    thumbnail.verticalPadding = qint16(r.u16(offset + 28));
    thumbnail.horizontalPadding = qint16(r.u16(offset + 30));
    thumbnail.height = r.u16(offset + 32);
    thumbnail.width = r.u16(offset + 34);
    for (qsizetype at = mhni->start + mhni->header; at < mhni->end;) {
        const auto mhod = recordAt(r, at, mhni->end, "mhod", 24);
        if (!mhod)
            return std::nullopt;
        if (r.u16(at + 12) == 3) {
            const auto name = fileNameOf(r, *mhod);
            if (!name || !thumbnail.file.isEmpty())
                return std::nullopt;
            thumbnail.file = *name;
        }
        at = mhod->end;
    }
    thumbnail.isWhole = !thumbnail.file.isEmpty();
    return thumbnail;
}

// An mhii with its thumbnails, any container of one; an image whose records do not add up is not
// whole.
Image imageAt(const Reader& r, const Record& mhii) {
    Image image;
    image.id = r.u32(mhii.start + 16);
    image.songID = r.u64(mhii.start + 20);
    const quint32 children = r.u32(mhii.start + 12);
    quint32 child = 0;
    for (qsizetype at = mhii.start + mhii.header; at < mhii.end; ++child) {
        const auto mhod = recordAt(r, at, mhii.end, "mhod", 24);
        if (!mhod) {
            image.isWhole = false;
            break;
        }
        const quint16 type = r.u16(at + 12);
        if (type == 2 || type == 5) {
            auto thumbnail = thumbnailAt(r, mhod->start + mhod->header, mhod->end);
            if (!thumbnail || !thumbnail->isWhole) {
                image.isWhole = false;
            } else {
                ++image.thumbnailRecords;
                thumbnail->isRead = type == 2 && child < children;
                image.thumbnails.append(*thumbnail);
            }
        }
        at = mhod->end;
    }
    return image;
}

// The images of the file; stops at the first record that leaves its container, keeping what
// came before.
QList<Image> walk(const Reader& r) {
    QList<Image> result;
    const auto mhfd = recordAt(r, 0, r.size(), "mhfd", 24);
    if (!mhfd)
        return result;
    for (qsizetype at = mhfd->header; at < mhfd->end;) {
        const auto mhsd = recordAt(r, at, mhfd->end, "mhsd", 16);
        if (!mhsd)
            break;
        const auto list = r.u16(at + 12) == 1 ? recordAt(r, mhsd->start + mhsd->header, mhsd->end,
                                                         "mhli", 12, false)
                                              : std::nullopt;
        if (list) {
            const quint32 count = r.u32(list->start + 8);
            qsizetype item = list->end;
            for (quint32 i = 0; i < count; ++i) {
                const auto record = recordAt(r, item, mhsd->end, "mhii", 28);
                if (!record) {
                    if (r.has(item, 28) && r.tagAt(item, "mhii")) {
                        // Its ids are still known: that image is refused by them.
                        result.append(Image{r.u32(item + 16), r.u64(item + 20), {}, 0, false});
                    }
                    return result;
                }
                result.append(imageAt(r, *record));
                item = record->end;
            }
        }
        at = mhsd->end;
    }
    return result;
}

// The sizes of the .ithmb files, by the name recorded for them; none when not a regular file.
class ThumbnailFiles {
public:
    explicit ThumbnailFiles(QString folder)
        : folder_(std::move(folder)) {}
    std::optional<qint64> sizeOf(const QString& recorded) {
        const auto known = sizes_.constFind(recorded);
        if (known != sizes_.cend())
            return *known;
        std::optional<qint64> size;
        // One name in the Artwork folder, as the iPod's software writes it.
        static const QRegularExpression name(
            QStringLiteral("^:?(F[0-9]{1,10}_[0-9]{1,10}\\.ithmb)$"),
            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = name.match(recorded);
        if (match.hasMatch() && !folder_.isEmpty()) {
            const QByteArray base = QFile::encodeName(folder_);
            const QByteArray file = match.captured(1).toUtf8();
            const gchar* components[] = {file.constData(), nullptr};
            const GLibHandles::CharPtr path(itdb_resolve_path(base.constData(), components));
            struct stat status {};
            // A link is followed as libgpod follows it; whatever it leads to must be a file.
            if (path && ::stat(path.get(), &status) == 0 && S_ISREG(status.st_mode))
                size = qint64(status.st_size);
        }
        sizes_.insert(recorded, size);
        return size;
    }

private:
    QString folder_;
    QHash<QString, std::optional<qint64>> sizes_;
};

bool isInFile(const Thumbnail& thumbnail, ThumbnailFiles& files) {
    const std::optional<qint64> fileSize = files.sizeOf(thumbnail.file);
    return fileSize && qint64(thumbnail.offset) + qint64(thumbnail.size) <= *fileSize;
}

bool isSound(const Thumbnail& thumbnail, ThumbnailFiles& files) {
    if (thumbnail.size == 0)
        return false;
    if (thumbnail.verticalPadding < 0 || thumbnail.horizontalPadding < 0 ||
        qint64(thumbnail.width + thumbnail.horizontalPadding) *
                (thumbnail.height + thumbnail.verticalPadding) >
            qint64(thumbnail.size))
        return false;
    return isInFile(thumbnail, files);
}

// The thumbnails of an image that libgpod reads, each checked against its file.
QList<ArtworkDBImages::StoredThumbnail> readThumbnails(const Image& image, ThumbnailFiles& files) {
    QList<ArtworkDBImages::StoredThumbnail> read;
    for (const Thumbnail& thumbnail : image.thumbnails) {
        if (thumbnail.isRead)
            read.append({thumbnail.format, QSize(thumbnail.width, thumbnail.height),
                         isSound(thumbnail, files),
                         thumbnail.file.startsWith(u':') ? thumbnail.file.mid(1) : thumbnail.file,
                         isInFile(thumbnail, files)});
    }
    return read;
}

} // namespace

ArtworkDBImages ArtworkDBImages::read(const QString& databasePath, const QString& artworkFolder) {
    QFile file(databasePath);
    if (databasePath.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > maxDatabaseBytes)
        return {};
    // Only what the file holds: a read of the largest size allowed would reserve all of it.
    const QByteArray bytes = file.read(std::min(file.size(), maxDatabaseBytes) + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > maxDatabaseBytes)
        return {};
    return parse(bytes, artworkFolder);
}

std::optional<ArtworkDBImages::Layout> ArtworkDBImages::layout(const QByteArray& database,
                                                               const QString& artworkFolder) {
    const Reader r(database);
    ThumbnailFiles files(artworkFolder);
    const auto mhfd = recordAt(r, 0, r.size(), "mhfd", 24);
    if (!mhfd || mhfd->end != r.size())
        return std::nullopt;
    Layout result;
    result.fileBytes = r.size();
    for (qsizetype at = mhfd->header; at < mhfd->end;) {
        const auto mhsd = recordAt(r, at, mhfd->end, "mhsd", 16);
        if (!mhsd)
            return std::nullopt;
        if (r.u16(at + 12) == 1) {
            const auto list = recordAt(r, mhsd->start + mhsd->header, mhsd->end, "mhli", 12, false);
            if (!list)
                return std::nullopt;
            qsizetype item = list->end;
            for (quint32 i = 0, count = r.u32(list->start + 8); i < count; ++i) {
                const auto mhii = recordAt(r, item, mhsd->end, "mhii", 28);
                if (!mhii)
                    return std::nullopt;
                const Image image = imageAt(r, *mhii);
                if (!image.isWhole)
                    return std::nullopt;
                ImageRecord record{image.id,
                                   image.songID,
                                   mhii->end - mhii->start,
                                   {},
                                   {},
                                   readThumbnails(image, files),
                                   image.thumbnailRecords};
                for (const Thumbnail& thumbnail : image.thumbnails) {
                    if (!thumbnail.isRead)
                        continue;
                    record.thumbnailBytes.append(thumbnail.size);
                    record.thumbnailFormats.append(thumbnail.format);
                }
                result.images.append(record);
                item = mhii->end;
            }
        }
        at = mhsd->end;
    }
    return result;
}

ArtworkDBImages ArtworkDBImages::parse(const QByteArray& database, const QString& artworkFolder) {
    const Reader reader(database);
    ThumbnailFiles files(artworkFolder);
    ArtworkDBImages result;
    for (const Image& image : walk(reader)) {
        bool sound = image.isWhole && !image.thumbnails.isEmpty();
        for (const Thumbnail& thumbnail : image.thumbnails)
            sound = sound && ::isSound(thumbnail, files);
        result.byImageID[image.id] = result.byImageID.value(image.id, true) && sound;
        result.bySongID[image.songID] = result.bySongID.value(image.songID, true) && sound;
        result.images_[{image.id, image.songID}].append(
            image.isWhole ? std::optional(readThumbnails(image, files)) : std::nullopt);
    }
    return result;
}

QList<ArtworkDBImages::StoredThumbnail>
ArtworkDBImages::heldIn(const QList<StoredThumbnail>& thumbnails, const QSet<quint32>& formats) {
    QList<StoredThumbnail> held;
    for (const StoredThumbnail& thumbnail : thumbnails) {
        const auto asRead = qint16(quint16(thumbnail.format));
        if (asRead >= 0 && formats.contains(quint32(asRead)))
            held.append(thumbnail);
    }
    return held;
}

QList<QSize> ArtworkDBImages::decodableSizes(const QList<QList<StoredThumbnail>>& images) {
    // Asked for a size it holds, libgpod takes a thumbnail of exactly that size: every other
    // one at least as wide and as high is larger.
    const auto decodableAt = [](const QList<StoredThumbnail>& image, QSize size) {
        bool held = false;
        for (const StoredThumbnail& thumbnail : image) {
            if (thumbnail.size != size)
                continue;
            if (!thumbnail.passes)
                return false;
            held = true;
        }
        return held;
    };
    QList<QSize> sizes;
    for (const StoredThumbnail& thumbnail : images.value(0)) {
        if (!thumbnail.passes || thumbnail.size.isEmpty() || sizes.contains(thumbnail.size) ||
            !std::all_of(images.cbegin(), images.cend(),
                         [&](const auto& image) { return decodableAt(image, thumbnail.size); }))
            continue;
        sizes.append(thumbnail.size);
    }
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) {
        const qint64 left = qint64(a.width()) * a.height();
        const qint64 right = qint64(b.width()) * b.height();
        return left != right ? left > right : a.width() > b.width();
    });
    return sizes;
}

QList<QSize> ArtworkDBImages::decodableSizes(quint32 imageID, quint64 songID,
                                             const std::optional<QSet<quint32>>& formats) const {
    QList<QList<StoredThumbnail>> held;
    for (const auto& image : images_.value({imageID, songID})) {
        if (!image)
            return {};
        held.append(formats ? heldIn(*image, *formats) : *image);
    }
    return decodableSizes(held);
}

bool ArtworkDBImages::isSound(quint32 imageID, quint32 linkedImageID, quint64 songID) const {
    bool matched = false;
    const auto check = [&matched](const auto& table, auto key) {
        const auto found = table.constFind(key);
        if (found == table.cend())
            return true;
        matched = true;
        return *found;
    };
    const bool sound =
        check(byImageID, imageID) && check(byImageID, linkedImageID) && check(bySongID, songID);
    return sound && matched;
}
