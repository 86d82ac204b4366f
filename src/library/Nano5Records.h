#pragma once

// Record surgery on the fifth-generation nano's iTunesCDB: a new playlist record added to every
// playlist list, and a new track record appended with its item in the master playlist. Every
// length, count and offset read from the file is checked before it is used; anything unexpected
// is Nano5Error::unsupportedDatabase and nothing is returned.

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

namespace Nano5Playlist {

inline constexpr std::uint32_t mp3FileType = 0x4D503320; // "MP3 "
inline constexpr qsizetype trackHeaderLength = 624;
inline constexpr qsizetype exportedTrackHeaderLength = 584;

// A new iTunesCDB holding record at the end of the playlist list of every playlist dataset
// (types 2 and 3).
QByteArray insertPlaylistRecord(QByteArrayView record, QByteArrayView cdb);

struct InsertedTrack {
    QByteArray cdb;
    std::uint32_t trackID = 0;
};

// A new iTunesCDB with record (a 584-byte header track record) widened to the device's 624-byte
// header after the first MP3 record's, appended to the track list with the next free track id,
// and an item for it at the end of the master playlist.
InsertedTrack insertTrackRecord(QByteArrayView record, QByteArrayView cdb,
                                std::uint64_t masterPlaylistID);
// The same with cdb's payload already inflated by checkedPayload.
InsertedTrack insertTrackRecord(QByteArrayView record, QByteArrayView cdb,
                                const QByteArray& payload, std::uint64_t masterPlaylistID);

// The inflated payload of an iTunesCDB whose header holds and whose datasets chain exactly to
// the end of the payload, as many as the header counts. libgpod's own parser can hang on a
// damaged file, so nothing reaches it before this check.
QByteArray checkedPayload(QByteArrayView cdb);

} // namespace Nano5Playlist
