#pragma once

// A quick walk over the record tree of an iTunesDB (or the inflated records of an iTunesCDB)
// before libgpod parses it. libgpod trusts the length fields it reads: a length that leaves its
// record makes it read past the file, allocate gigabytes, or hand back a database with an error
// it has already freed. The walk refuses any record whose lengths leave its parent or the file;
// it judges nothing else.
//
// Records are "mh" tags with a header length at offset 4. Lists ("mhlt", "mhlp", "mhla",
// "mhli") carry the number of their items at offset 8 and end with their last item; every other
// record carries its total length at offset 8 and holds its children after its header. The
// string records ("mhod" of a text type) also carry the length of their text at offset 28.
// Only datasets ("mhsd") of a type known to hold a list are walked into; the body of any other
// type is raw data, of which only the lengths are checked.
//
// An ArtworkDB is built alike ("mhfd" at its root, lists "mhli", "mhla" and "mhlf"), and libgpod
// aborts or reads past the file on lengths there too. Its "mhod" records of type 2 and 5 hold a
// thumbnail record ("mhni"), those of type 1 and 3 a text whose length is at offset 24.

#include <QByteArrayView>
#include <QHash>

#include <optional>

class ITunesDBStructure {
public:
    // A whole iTunesDB file: one "mhbd" record and its tree.
    static bool isSound(QByteArrayView file);
    // The records that follow the header of an iTunesCDB, once inflated.
    static bool areSoundRecords(QByteArrayView records);
    // A whole ArtworkDB file: one "mhfd" record and its tree.
    static bool isSoundArtworkDB(QByteArrayView file);
    // The cover image each track record of a whole iTunesDB links (its mhii_link), by the
    // track's id, for the tracks that link one: what the file says, which libgpod's reading of
    // the ArtworkDB forgets for a link it finds no image for. None for a file that is not sound.
    static std::optional<QHash<quint64, quint32>> coverLinks(QByteArrayView file);

private:
    enum class Kind { iTunesDB, artworkDB };
    explicit ITunesDBStructure(QByteArrayView bytes, Kind kind = Kind::iTunesDB)
        : bytes_(bytes)
        , kind_(kind) {}
    bool isList(qsizetype offset) const;
    bool holdsRecords(qsizetype offset, qsizetype total) const;
    // The end of the record at offset within [offset, end), or -1 when it leaves that range.
    qsizetype record(qsizetype offset, qsizetype end, int depth) const;
    bool children(qsizetype offset, qsizetype end, int depth) const;
    // A dataset whose body is not records (or too short to say which type it is).
    bool isRawDataset(qsizetype offset, qsizetype total) const;
    bool isSoundText(qsizetype offset, qsizetype total) const;
    quint32 u32(qsizetype offset) const;

    QByteArrayView bytes_;
    Kind kind_;
};
