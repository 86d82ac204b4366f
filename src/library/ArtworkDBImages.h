#pragma once

// The cover images an ArtworkDB records, each checked against the device's cover formats and
// the .ithmb file that holds its pixels. libgpod decodes a stored cover trusting the recorded
// size, offset and file, and lays the pixels out at the width and height of its own format
// for the device: a size smaller than that format's makes it read past its buffer, an offset
// past the end gives garbage. Only images whose every thumbnail passes are handed to libgpod;
// a damaged record costs its own cover and nothing else.

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

class ArtworkDBImages {
public:
    // Bytes of one thumbnail by format id (lorvanel_itdb_cover_format_sizes).
    using FormatSizes = QHash<quint32, quint32>;

    // Reads the ArtworkDB at databasePath; the .ithmb files are looked up in artworkFolder, and
    // deviceFormats are the formats libgpod uses for the device. A file that cannot be read or
    // walked yields no sound image at all.
    static ArtworkDBImages read(const QString& databasePath, const QString& artworkFolder,
                                const FormatSizes& deviceFormats);
    // The same from the bytes of an ArtworkDB.
    static ArtworkDBImages parse(const QByteArray& database, const QString& artworkFolder,
                                 const FormatSizes& deviceFormats);
    // The formats an ArtworkDB's file list records.
    static FormatSizes formatSizes(const QByteArray& database);

    // The image records of an ArtworkDB and what they take: each record's bytes and its
    // thumbnails' bytes in the .ithmb files. None unless every record of the file is whole.
    struct ImageRecord {
        quint32 id = 0;
        quint64 songID = 0;
        qint64 recordBytes = 0;
        QList<quint32> thumbnailBytes;
    };
    struct Layout {
        qint64 fileBytes = 0;
        QList<ImageRecord> images;
    };
    static std::optional<Layout> layout(const QByteArray& database);

    // Whether the cover of a track whose image carries any of these ids may be decoded: at
    // least one recorded image matches, and every matching image is sound.
    bool isSound(quint32 imageID, quint32 linkedImageID, quint64 songID) const;

private:
    // Per image id and per song id: false once any image under it failed a check.
    QHash<quint32, bool> byImageID;
    QHash<quint64, bool> bySongID;
};
