// Edits of an opened database and the save that writes them.

#include "library/IPodDatabase.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <system_error>

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

QString text(const gchar* value) {
    return value ? QString::fromUtf8(value) : QString();
}

// A temporary GList that owns only its links.
struct ListOfLinks {
    GList* list = nullptr;
    ListOfLinks() = default;
    ListOfLinks(const ListOfLinks&) = delete;
    ListOfLinks& operator=(const ListOfLinks&) = delete;
    ~ListOfLinks() { g_list_free(list); }
};

void requireEditablePlaylists(const IPodDatabase& database) {
    const auto model = database.model();
    if (!model || model->family == IPodModel::Family::shuffle)
        throw IPodDatabaseError::unsupportedDatabase();
}

struct FileIdentity {
    dev_t device;
    ino_t inode;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity{status.st_dev, status.st_ino};
}

QString resolvedLowerCase(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return (canonical.isEmpty() ? QDir::cleanPath(path) : canonical).toLower();
}

} // namespace

void IPodDatabase::ensureWritable() const {
    if (writeBlocker_)
        throw *writeBlocker_;
    struct statvfs volume {};
    if (::statvfs(QFile::encodeName(mountPoint_).constData(), &volume) != 0)
        throw std::system_error(errno, std::generic_category(), "statvfs");
    if (volume.f_flag & ST_RDONLY)
        throw IPodDatabaseError::readOnlyVolume();
}

bool IPodDatabase::createPlaylist(const QString& name, const QList<quint64>& trackIDs) {
    ensureWritable();
    requireEditablePlaylists(*this);
    return insertPlaylist(name, trackIDs) != nullptr;
}

Itdb_Playlist* IPodDatabase::playlistNamed(const QString& name) const {
    return itdb_playlist_by_name(database_.get(), name.toUtf8().data());
}

Itdb_Playlist* IPodDatabase::insertPlaylist(const QString& name, const QList<quint64>& trackIDs) {
    Itdb_Playlist* master = itdb_playlist_mpl(database_.get());
    if (!master)
        throw IPodDatabaseError::missingMainPlaylist();
    const QSet<quint64> ids(trackIDs.begin(), trackIDs.end());
    if (ids.size() < trackIDs.size())
        throw IPodDatabaseError::trackSelectionChanged();

    QHash<quint64, Itdb_Track*> byID;
    if (!trackIDs.isEmpty()) {
        // The main playlist may list one record twice; that is still one track. Two records
        // sharing a dbid stay two and fail the resolution.
        ListOfLinks members;
        QSet<const Itdb_Track*> seen;
        for (GList* link = master->members; link; link = link->next) {
            const auto* track = static_cast<const Itdb_Track*>(link->data);
            if (track && !seen.contains(track)) {
                seen.insert(track);
                members.list = g_list_prepend(members.list, link->data);
            }
        }
        members.list = g_list_reverse(members.list);
        for (Itdb_Track* track : resolveTracks(ids, members.list))
            byID.insert(track->dbid, track);
    }

    QString candidate = name;
    for (int counter = 2;; ++counter) {
        Itdb_Playlist* existing = playlistNamed(candidate);
        if (!existing)
            break;
        if (!itdb_playlist_is_mpl(existing) && !existing->is_spl && !existing->podcastflag) {
            bool same = true;
            qsizetype index = 0;
            for (GList* link = existing->members; link; link = link->next, ++index) {
                const auto* track = static_cast<const Itdb_Track*>(link->data);
                if (index >= trackIDs.size() || !track || track->dbid != trackIDs[index]) {
                    same = false;
                    break;
                }
            }
            if (same && index == trackIDs.size())
                return nullptr;
        }
        candidate = QStringLiteral("%1 (%2)").arg(name).arg(counter);
    }

    Itdb_Playlist* playlist = itdb_playlist_new(candidate.toUtf8().constData(), FALSE);
    if (!playlist)
        throw IPodDatabaseError::library(LZ("Create playlist"), std::nullopt);
    playlist->sortorder = 1;
    itdb_playlist_add(database_.get(), playlist, -1);
    for (quint64 id : trackIDs)
        itdb_playlist_add_track(playlist, byID.value(id), -1);
    return playlist;
}

bool IPodDatabase::movePlaylist(quint64 id, bool up) {
    ensureWritable();
    requireEditablePlaylists(*this);
    const auto playlists = userPlaylists();
    qsizetype found = -1;
    for (qsizetype i = 0; i < playlists.size(); ++i) {
        if (playlists[i].second->id == id) {
            found = i;
            break;
        }
    }
    if (found < 0)
        throw IPodDatabaseError::playlistSelectionChanged();
    const qsizetype neighbour = up ? found - 1 : found + 1;
    if (neighbour < 0 || neighbour >= playlists.size())
        return false;
    itdb_playlist_move(playlists[found].second, playlists[neighbour].first);
    return true;
}

bool IPodDatabase::updateTrackMetadata(quint64 trackID, const TrackMetadata& metadata) {
    ensureWritable();
    Itdb_Track* track = resolveTracks({trackID}, database_->tracks).first();

    if (!metadata.genre.isEmpty() && metadata.genre != text(track->genre) &&
        !TrackMetadata::defaultGenres().contains(metadata.genre)) {
        const QByteArray wanted = metadata.genre.toUtf8();
        bool known = false;
        for (GList* link = database_->tracks; link && !known; link = link->next) {
            const auto* other = static_cast<const Itdb_Track*>(link->data);
            known = other && other->genre && wanted == other->genre && isMusic(other);
        }
        if (!known)
            throw IPodDatabaseError::genreSelectionChanged();
    }

    bool changed = false;
    const auto assign = [&](gchar*& field, const QString& value) {
        if (text(field) == value)
            return;
        g_free(field);
        field = value.isEmpty() ? nullptr : g_strdup(value.toUtf8().constData());
        changed = true;
    };
    assign(track->title, metadata.title);
    assign(track->artist, metadata.artist);
    assign(track->album, metadata.album);
    assign(track->albumartist, metadata.albumArtist);
    assign(track->genre, metadata.genre);
    return changed;
}

QSet<QString> IPodDatabase::deleteTracks(const QSet<quint64>& ids) {
    ensureWritable();
    const QList<Itdb_Track*> selected = resolveTracks(ids, database_->tracks);

    struct Candidate {
        QString url;
        QString key; // resolved, lower-cased
        std::optional<FileIdentity> identity;
    };
    QList<Candidate> candidates;
    for (Itdb_Track* track : selected) {
        GLibHandles::CharPtr onIPod{itdb_filename_on_ipod(track)};
        if (!onIPod)
            continue;
        QString url;
        try {
            url = validatedMusicFileURL(QFile::decodeName(onIPod.get()));
        } catch (const IPodDatabaseError&) {
            throw IPodDatabaseError::invalidTrackLocation();
        }
        candidates.append({url, resolvedLowerCase(url), identityOf(url)});
    }

    // Which candidates another track still uses. Resolving every remaining track's file
    // through libgpod costs seconds on a large library, so the stored path is tried first:
    // its lower-cased text, then the file it names directly; libgpod's case-insensitive
    // lookup only when that file cannot be found as written.
    QSet<QString> inUse;
    if (!candidates.isEmpty()) {
        QHash<QString, qsizetype> byKey;
        for (qsizetype i = 0; i < candidates.size(); ++i)
            byKey.insert(candidates[i].key, i);
        const QSet<Itdb_Track*> removing(selected.begin(), selected.end());
        const auto markIdentity = [&](const std::optional<FileIdentity>& identity) {
            if (!identity)
                return;
            for (const Candidate& candidate : candidates) {
                if (candidate.identity == identity)
                    inUse.insert(candidate.key);
            }
        };
        for (GList* link = database_->tracks; link; link = link->next) {
            auto* track = static_cast<Itdb_Track*>(link->data);
            if (!track || removing.contains(track) || !track->ipod_path)
                continue;
            QString relative = QString::fromUtf8(track->ipod_path).replace(u':', u'/');
            const QString direct = QDir::cleanPath(mountPoint_ + u'/' + relative);
            const QString key = direct.toLower();
            if (byKey.contains(key))
                inUse.insert(key);
            if (const auto identity = identityOf(direct)) {
                markIdentity(identity);
                continue;
            }
            GLibHandles::CharPtr onIPod{itdb_filename_on_ipod(track)};
            if (!onIPod)
                continue;
            const QString found = QFile::decodeName(onIPod.get());
            const QString foundKey = resolvedLowerCase(found);
            if (byKey.contains(foundKey))
                inUse.insert(foundKey);
            markIdentity(identityOf(found));
        }
    }

    for (GList* link = database_->playlists; link; link = link->next) {
        auto* playlist = static_cast<Itdb_Playlist*>(link->data);
        if (!playlist)
            continue;
        for (Itdb_Track* track : selected)
            playlist->members = g_list_remove_all(playlist->members, track);
    }
    for (Itdb_Track* track : selected)
        itdb_track_remove(track);

    QSet<QString> unused;
    for (const Candidate& candidate : candidates) {
        if (!inUse.contains(candidate.key))
            unused.insert(candidate.url);
    }
    return unused;
}

void IPodDatabase::saveLibrary() {
    ensureWritable();
    if (!database_->tracks && !passesITunesControlTest(mountPoint_))
        throw IPodDatabaseError::unsupportedDatabase();
    Itdb_Playlist* master = itdb_playlist_mpl(database_.get());
    if (!master)
        throw IPodDatabaseError::missingMainPlaylist();

    QSet<quint64> seen;
    for (GList* link = master->members; link;) {
        GList* next = link->next;
        const auto* track = static_cast<const Itdb_Track*>(link->data);
        if (track) {
            if (seen.contains(track->dbid))
                master->members = g_list_delete_link(master->members, link);
            else
                seen.insert(track->dbid);
        }
        link = next;
    }

    GLibHandles::ErrorSlot error;
    const gboolean written = itdb_write(database_.get(), error.out());
    if (!written || error) {
        std::optional<QString> detail;
        if (error && error.get()->message)
            detail = QString::fromUtf8(error.get()->message);
        throw IPodDatabaseError::library(LZ("Save library"), detail);
    }
}
