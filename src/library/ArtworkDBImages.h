#pragma once

// The cover images an ArtworkDB records, each checked against the .ithmb file that holds its
// pixels: a pre-filter of the cover process, which refuses the records that plainly do not add
// up (an offset past the end of the file, a size smaller than the recorded picture, a missing
// file) before libgpod decodes them. What it cannot see (libgpod lays the pixels out by the
// device description's formats) is the cover process's to survive. An image whose every
// thumbnail passes is handed to libgpod whole; of any other, libgpod is asked only for a
// thumbnail that passes, so a damaged record or a lost .ithmb file costs its own thumbnails and
// nothing else.

#include <QHash>
#include <QList>
#include <QSet>
#include <QSize>
#include <QString>

#include <optional>

class ArtworkDBImages {
public:
    // No ArtworkDB comes near this; a larger file is not read at all.
    static constexpr qint64 maxDatabaseBytes = qint64(256) << 20;

    // Reads the ArtworkDB at databasePath; the .ithmb files are looked up in artworkFolder. A
    // file that cannot be read or walked yields no sound image at all.
    static ArtworkDBImages read(const QString& databasePath, const QString& artworkFolder);
    // The same from the bytes of an ArtworkDB.
    static ArtworkDBImages parse(const QByteArray& database, const QString& artworkFolder);

    // One thumbnail of an image as libgpod reads it: its format (the description's FormatId) and
    // size as recorded, and whether it passes the checks against its .ithmb file.
    struct StoredThumbnail {
        quint32 format = 0;
        QSize size;
        bool passes = false;
        // The .ithmb file as recorded (without the leading colon), and whether it is there and
        // holds the thumbnail's bytes.
        QString file;
        bool inFile = false;
    };

    // The image records of an ArtworkDB and what they take: each record's bytes and its
    // thumbnails' bytes in the .ithmb files and formats, the thumbnails being those libgpod
    // reads. With the Artwork folder given, each thumbnail is checked against its file too (none
    // passes without). None unless every record of the file is whole.
    struct ImageRecord {
        quint32 id = 0;
        quint64 songID = 0;
        qint64 recordBytes = 0;
        QList<quint32> thumbnailBytes;
        QList<quint32> thumbnailFormats;
        QList<StoredThumbnail> thumbnails;
        // The thumbnail records the image holds, those libgpod does not read included.
        int thumbnailRecords = 0;
    };
    struct Layout {
        qint64 fileBytes = 0;
        QList<ImageRecord> images;
    };
    static std::optional<Layout> layout(const QByteArray& database,
                                        const QString& artworkFolder = {});

    // Of an image's thumbnails, those libgpod holds with these formats: it reads a stored
    // format as a signed 16-bit number, and passes over one it does not list.
    static QList<StoredThumbnail> heldIn(const QList<StoredThumbnail>& thumbnails,
                                         const QSet<quint32>& formats);
    // The sizes at which libgpod, asked for a cover at that size, decodes a thumbnail that
    // passes, largest first, whichever of these images (each its held thumbnails) it took:
    // libgpod decodes the smallest thumbnail it holds at least as wide and as high as asked.
    static QList<QSize> decodableSizes(const QList<QList<StoredThumbnail>>& images);

    // Whether the cover of a track whose image carries any of these ids may be decoded: at
    // least one recorded image matches, and every matching image is sound.
    bool isSound(quint32 imageID, quint32 linkedImageID, quint64 songID) const;
    // decodableSizes of the images recorded with both ids, their thumbnails held in formats
    // (every format when none are known); none when no image is, or one is not whole.
    QList<QSize> decodableSizes(quint32 imageID, quint64 songID,
                                const std::optional<QSet<quint32>>& formats) const;

private:
    // Per image id and per song id: false once any image under it failed a check.
    QHash<quint32, bool> byImageID;
    QHash<quint64, bool> bySongID;
    // The thumbnails libgpod reads of each image by both its ids; none for an image not whole.
    QHash<std::pair<quint32, quint64>, QList<std::optional<QList<StoredThumbnail>>>> images_;
};
