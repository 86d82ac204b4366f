#pragma once

// Metadata items of an audio file. FFmpeg folds every container's tags into generic keys; the
// audio layer gives each item back the key space it came from ("id3", "itsk" for iTunes atoms,
// "vorb" for Vorbis comments, "riff" for WAV INFO), so callers can ask for one source.

#include <QList>
#include <QString>

struct AudioMetadataItem {
    QString keySpace;
    QString key;
    QString value;

    // "<key space>/<key>", e.g. "id3/TCON" or "vorb/LYRICS".
    QString identifier() const { return keySpace + QLatin1Char('/') + key; }
};

using AudioMetadata = QList<AudioMetadataItem>;

namespace MetadataIdentifier {

// The container-independent items of a file.
inline const QString commonTitle = QStringLiteral("common/title");
inline const QString commonArtist = QStringLiteral("common/artist");
inline const QString commonAlbumName = QStringLiteral("common/albumName");

inline const QString id3Title = QStringLiteral("id3/TIT2");
inline const QString id3LeadPerformer = QStringLiteral("id3/TPE1");
inline const QString id3AlbumTitle = QStringLiteral("id3/TALB");
inline const QString id3ContentType = QStringLiteral("id3/TCON");

inline const QString iTunesSongName = QStringLiteral("itsk/\u00A9nam");
inline const QString iTunesArtist = QStringLiteral("itsk/\u00A9ART");
inline const QString iTunesAlbum = QStringLiteral("itsk/\u00A9alb");
inline const QString iTunesAlbumArtist = QStringLiteral("itsk/aART");
inline const QString iTunesUserGenre = QStringLiteral("itsk/\u00A9gen");
inline const QString iTunesLyrics = QStringLiteral("itsk/\u00A9lyr");

inline const QString quickTimeGenre = QStringLiteral("udta/genre");

} // namespace MetadataIdentifier
