#pragma once

// Metadata items of an audio file. FFmpeg folds every container's tags into generic keys; the
// audio layer gives each item back the key space it came from ("id3", "itsk" for iTunes atoms,
// "vorb" for Vorbis comments, "riff" for WAV INFO), so callers can ask for one source.

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

struct AudioMetadataItem {
    QString keySpace;
    QString key;
    QString value;

    // "<key space>/<key>", e.g. "id3/TCON" or "vorb/LYRICS".
    QString identifier() const { return keySpace + QLatin1Char('/') + key; }
};

using AudioMetadata = QList<AudioMetadataItem>;

// Tag text as stored: UTF-8 when the bytes are valid UTF-8, else Latin-1 (older tags and
// writers store single-byte text without saying so).
QString decodeTagText(QByteArrayView bytes);

// How the values of a tag that holds several (several artists in one ID3v2.4 frame, repeated
// Vorbis comments) are shown as one text: the separator of ID3v2.3 lists, which reach the
// library as they are. A value repeated (the same frame written twice) is shown once, where it
// first came.
QString joinTagValues(const QStringList& values);

namespace MetadataIdentifier {

// The container-independent items of a file.
inline const QString commonTitle = QStringLiteral("common/title");
inline const QString commonArtist = QStringLiteral("common/artist");
inline const QString commonAlbumName = QStringLiteral("common/albumName");
inline const QString commonAlbumArtist = QStringLiteral("common/albumArtist");

inline const QString id3Title = QStringLiteral("id3/TIT2");
inline const QString id3LeadPerformer = QStringLiteral("id3/TPE1");
inline const QString id3AlbumTitle = QStringLiteral("id3/TALB");
inline const QString id3ContentType = QStringLiteral("id3/TCON");
inline const QString id3Band = QStringLiteral("id3/TPE2");

inline const QString iTunesSongName = QStringLiteral("itsk/\u00A9nam");
inline const QString iTunesArtist = QStringLiteral("itsk/\u00A9ART");
inline const QString iTunesAlbum = QStringLiteral("itsk/\u00A9alb");
inline const QString iTunesAlbumArtist = QStringLiteral("itsk/aART");
inline const QString iTunesUserGenre = QStringLiteral("itsk/\u00A9gen");
inline const QString iTunesLyrics = QStringLiteral("itsk/\u00A9lyr");

inline const QString quickTimeGenre = QStringLiteral("udta/genre");

inline const QString vorbisGenre = QStringLiteral("vorb/GENRE");
inline const QString riffInfoGenre = QStringLiteral("riff/IGNR");
// Genre items of containers without a key space of their own.
inline const QString otherGenre = QStringLiteral("other/genre");

} // namespace MetadataIdentifier
