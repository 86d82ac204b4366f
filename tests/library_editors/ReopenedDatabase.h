#pragma once

// A volume's database read afresh by libgpod alone, after the application wrote it.

#include <QList>
#include <QString>

namespace ReopenedDatabase {

struct Song {
    quint64 dbid = 0;
    QString title, artist, album, albumArtist, genre;
    QString filePath; // absolute
};

struct Playlist {
    QString name;
    QList<quint64> trackIDs;
};

struct Contents {
    bool parsed = false;
    QList<Song> tracks;
    QList<Playlist> playlists; // the user's, in device order (not the main playlist)
    const Song* track(quint64 dbid) const;
};

Contents read(const QString& mountPoint);

} // namespace ReopenedDatabase
