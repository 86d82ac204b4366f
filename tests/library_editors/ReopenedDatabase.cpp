#include "ReopenedDatabase.h"

#include <gpod/itdb.h>

#include <QDir>

#include <memory>

namespace ReopenedDatabase {

namespace {

QString text(const gchar* value) {
    return value ? QString::fromUtf8(value) : QString();
}

} // namespace

const Song* Contents::track(quint64 dbid) const {
    for (const Song& song : tracks)
        if (song.dbid == dbid)
            return &song;
    return nullptr;
}

Contents read(const QString& mountPoint) {
    Contents out;
    GError* error = nullptr;
    std::unique_ptr<Itdb_iTunesDB, decltype(&itdb_free)> db(
        itdb_parse(QFile::encodeName(mountPoint).constData(), &error), &itdb_free);
    if (error)
        g_error_free(error);
    if (!db)
        return out;
    out.parsed = true;
    for (GList* node = db->tracks; node; node = node->next) {
        auto* track = static_cast<Itdb_Track*>(node->data);
        Song song;
        song.dbid = track->dbid;
        song.title = text(track->title);
        song.artist = text(track->artist);
        song.album = text(track->album);
        song.albumArtist = text(track->albumartist);
        song.genre = text(track->genre);
        if (gchar* path = itdb_filename_on_ipod(track)) {
            song.filePath = QString::fromUtf8(path);
            g_free(path);
        }
        out.tracks.append(song);
    }
    for (GList* node = db->playlists; node; node = node->next) {
        auto* playlist = static_cast<Itdb_Playlist*>(node->data);
        if (itdb_playlist_is_mpl(playlist) || itdb_playlist_is_podcasts(playlist))
            continue;
        Playlist entry;
        entry.name = text(playlist->name);
        for (GList* member = playlist->members; member; member = member->next)
            entry.trackIDs.append(static_cast<Itdb_Track*>(member->data)->dbid);
        out.playlists.append(entry);
    }
    return out;
}

} // namespace ReopenedDatabase
