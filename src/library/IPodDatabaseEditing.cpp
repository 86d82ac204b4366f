// Edits of an opened database and the save that writes them.

#include "library/IPodDatabase.h"

#include "library/ArtworkDBImages.h"
#include "library/ArtworkFormats.h"
#include "library/Nano5Writer.h"
#include "platform/OwnedFd.h"
#include "platform/ScratchFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QString text(const gchar* value) {
    return value ? QString::fromUtf8(value) : QString();
}

// libgpod's write first puts its track list into the main playlist's order: it takes the
// members from the last to the first, finds each in the track list from the front and moves
// it there, so the tracks already moved pile up at the front. Laid out beforehand in the
// reverse of the playlist's order (the other tracks after them, as they were), each search
// ends right behind that pile: half the list steps of any other order, and the same list at
// the end, so the same bytes on disk. The list's own links are relinked, not reallocated:
// fresh links land scattered over the heap and make each step several times slower. Left as
// it is when the lists hold anything unusual (an empty entry, a track listed twice, a member
// missing from the track list): libgpod's outcome then depends on the order it is given.
void arrangeTracksForWrite(Itdb_iTunesDB* database, const Itdb_Playlist* master) {
    QHash<const void*, GList*> links;
    links.reserve(qsizetype(g_list_length(database->tracks)));
    for (GList* link = database->tracks; link; link = link->next) {
        if (!link->data || links.contains(link->data))
            return;
        links.insert(link->data, link);
    }
    std::vector<GList*> members;
    members.reserve(size_t(links.size()));
    for (const GList* member = master->members; member; member = member->next) {
        const auto found = links.find(member->data);
        if (found == links.end() || !found.value())
            return;
        members.push_back(found.value());
        found.value() = nullptr; // taken
    }
    std::vector<GList*> others;
    for (GList* link = database->tracks; link; link = link->next) {
        if (links.value(link->data))
            others.push_back(link);
    }
    GList* head = nullptr;
    GList* tail = nullptr;
    const auto append = [&](GList* link) {
        link->prev = tail;
        link->next = nullptr;
        (tail ? tail->next : head) = link;
        tail = link;
    };
    std::for_each(members.rbegin(), members.rend(), append);
    std::for_each(others.begin(), others.end(), append);
    database->tracks = head;
}

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

// The files of the numbered music folders by lower-cased path (mount point as given).
QHash<QString, QString> listMusicFolders(const QString& mountPoint) {
    QHash<QString, QString> files;
    const auto child = [](const QString& folder, const QString& lowerName) -> QString {
        for (const QString& name :
             QDir(folder).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (name.toLower() == lowerName)
                return folder + u'/' + name;
        }
        return {};
    };
    const QString control = child(mountPoint, QStringLiteral("ipod_control"));
    const QString music = control.isEmpty() ? QString() : child(control, QStringLiteral("music"));
    if (music.isEmpty())
        return files;
    static const QRegularExpression numbered(QStringLiteral("^f[0-9]{2}$"));
    const QString prefix = mountPoint.toLower() + QStringLiteral("/ipod_control/music/");
    for (const QString& folder :
         QDir(music).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (!numbered.match(folder.toLower()).hasMatch())
            continue;
        const QString path = music + u'/' + folder;
        for (const QString& name : QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::System))
            files.insert(prefix + folder.toLower() + u'/' + name.toLower(), path + u'/' + name);
    }
    return files;
}

// Whether any entry of the music folders, or a folder on the way to them, is a link.
bool musicTreeHasLinks(const QByteArray& mountPoint) {
    const auto isLink = [](const std::string& path) {
        struct stat status {};
        return ::lstat(path.c_str(), &status) != 0 || S_ISLNK(status.st_mode);
    };
    const auto scan = [&](const std::string& folder, bool numberedOnly,
                          const std::function<bool(const std::string&)>& visit) {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
        if (!dir)
            return true; // unreadable: assume the worst
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            if (numberedOnly && !(name.size() == 3 && (name[0] == 'F' || name[0] == 'f') &&
                                  std::isdigit(static_cast<unsigned char>(name[1])) &&
                                  std::isdigit(static_cast<unsigned char>(name[2]))))
                continue;
            const std::string path = folder + '/' + name;
            if (entry->d_type == DT_LNK || (entry->d_type == DT_UNKNOWN && isLink(path)))
                return true;
            if (visit && visit(path))
                return true;
        }
        return false;
    };
    const std::string root(mountPoint.constData(), std::size_t(mountPoint.size()));
    // The stored paths reach the music folders through any letter case of these names.
    return scan(root, false, [&](const std::string& control) {
        if (QByteArray::fromStdString(control.substr(root.size() + 1)).toLower() != "ipod_control")
            return false;
        return scan(control, false, [&](const std::string& music) {
            if (QByteArray::fromStdString(music.substr(control.size() + 1)).toLower() != "music")
                return false;
            return scan(music, true,
                        [&](const std::string& numbered) { return scan(numbered, false, {}); });
        });
    });
}

// ":iPod_Control:Music:Fnn:name" in any letter case.
bool isMusicFolderPath(const char* ipodPath) {
    static constexpr char prefix[] = ":ipod_control:music:f";
    const std::size_t length = std::strlen(ipodPath);
    const std::size_t start = sizeof prefix - 1;
    if (length < start + 4 || g_ascii_strncasecmp(ipodPath, prefix, start) != 0 ||
        !g_ascii_isdigit(ipodPath[start]) || !g_ascii_isdigit(ipodPath[start + 1]) ||
        ipodPath[start + 2] != ':')
        return false;
    return std::strchr(ipodPath + start + 3, ':') == nullptr &&
           std::strchr(ipodPath + start + 3, '/') == nullptr;
}

bool isInMusicFolder(const QString& mountPoint, const QString& lowerPath) {
    static const QRegularExpression numbered(QStringLiteral("^f[0-9]{2}/[^/]+$"));
    const QString prefix = mountPoint.toLower() + QStringLiteral("/ipod_control/music/");
    return lowerPath.startsWith(prefix) && numbered.match(lowerPath.mid(prefix.size())).hasMatch();
}

} // namespace

namespace {

void requireWritableVolume(const QString& mountPoint) {
    struct statvfs volume {};
    if (::statvfs(QFile::encodeName(mountPoint).constData(), &volume) != 0)
        throw std::system_error(errno, std::generic_category(), "statvfs");
    if (volume.f_flag & ST_RDONLY)
        throw IPodDatabaseError::readOnlyVolume();
}

} // namespace

void IPodDatabase::ensureWritable() const {
    if (writeBlocker_)
        throw *writeBlocker_;
    requireWritableVolume(mountPoint_);
    // A link that came after the open is named before an edit meets it in a track's path.
    refuseLinkedFolders(mountPoint_);
}

bool IPodDatabase::createPlaylist(const QString& name, const QList<quint64>& trackIDs) {
    ensureWritable();
    requireEditablePlaylists(*this);
    return insertPlaylist(name, trackIDs) != nullptr;
}

void IPodDatabase::createNano5Playlist(const QString& name, const QList<quint64>& trackIDs,
                                       const QByteArray& sysInfoExtended,
                                       const std::function<void()>& verifyIdentity) {
    // A nano always carries a write blocker (libgpod must not save its library), so only the
    // source snapshot and the volume's own flag gate this write.
    if (!nano5SourceCDB_)
        throw IPodDatabaseError::unsupportedDatabase();
    requireWritableVolume(mountPoint_);
    Itdb_Playlist* playlist = insertPlaylist(name, trackIDs);
    if (!playlist)
        return;
    const std::vector<std::uint64_t> ids(trackIDs.begin(), trackIDs.end());
    const auto check = [&] {
        checkpoint();
        if (verifyIdentity)
            verifyIdentity();
    };
    Nano5Playlist::createPlaylist(
        playlist, text(playlist->name), ids, *nano5SourceCDB_, sysInfoExtended,
        std::filesystem::path(QFile::encodeName(mountPoint_).toStdString()), check);
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
        GLibHandles::ListPtr members;
        QSet<const Itdb_Track*> seen;
        for (GList* link = master->members; link; link = link->next) {
            const auto* track = static_cast<const Itdb_Track*>(link->data);
            if (track && !seen.contains(track)) {
                seen.insert(track);
                members.reset(g_list_prepend(members.release(), link->data));
            }
        }
        members.reset(g_list_reverse(members.release()));
        for (Itdb_Track* track : resolveTracks(ids, members.get()))
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
    // its lower-cased text, then the file it names directly, then the music folders' files in
    // any letter case (listed once); libgpod's own lookup only for paths outside them.
    const QSet<Itdb_Track*> removing(selected.begin(), selected.end());
    QSet<QString> inUse;
    if (!candidates.isEmpty()) {
        QHash<QString, qsizetype> byKey;
        for (qsizetype i = 0; i < candidates.size(); ++i)
            byKey.insert(candidates[i].key, i);
        const auto markIdentity = [&](const std::optional<FileIdentity>& identity) {
            if (!identity)
                return;
            for (const Candidate& candidate : candidates) {
                if (candidate.identity == identity)
                    inUse.insert(candidate.key);
            }
        };
        // Only a track whose file name equals a candidate's, ignoring ASCII letter case, can
        // have the same lower-cased path; the full comparison is left to those few.
        QSet<QByteArray> candidateNames;
        for (const Candidate& candidate : candidates)
            candidateNames.insert(QFile::encodeName(QFileInfo(candidate.url).fileName()).toLower());
        const QByteArray mount = QFile::encodeName(mountPoint_);
        const bool treeHasLinks = musicTreeHasLinks(mount);
        std::string direct;
        std::optional<QHash<QString, QString>> musicFolderFiles;
        for (GList* link = database_->tracks; link; link = link->next) {
            auto* track = static_cast<Itdb_Track*>(link->data);
            if (!track || removing.contains(track) || !track->ipod_path)
                continue;
            direct.assign(mount.constData(), std::size_t(mount.size()));
            if (track->ipod_path[0] != ':')
                direct.push_back('/');
            for (const char* c = track->ipod_path; *c; ++c)
                direct.push_back(*c == ':' ? '/' : *c);
            const char* name = std::strrchr(track->ipod_path, ':');
            const QByteArray lowerName = QByteArray(name ? name + 1 : track->ipod_path).toLower();
            std::optional<QString> key;
            const auto keyOf = [&] {
                if (!key)
                    key = QDir::cleanPath(QFile::decodeName(QByteArray::fromStdString(direct)))
                              .toLower();
                return *key;
            };
            if (candidateNames.contains(lowerName) && byKey.contains(keyOf()))
                inUse.insert(keyOf());
            // Without links in the music folders a path names one file only (in any letter
            // case), so the text comparison above is the whole answer.
            if (!treeHasLinks && isMusicFolderPath(track->ipod_path))
                continue;
            struct stat status {};
            if (::stat(direct.c_str(), &status) == 0) {
                markIdentity(FileIdentity{status.st_dev, status.st_ino});
                continue;
            }
            if (!musicFolderFiles)
                musicFolderFiles = listMusicFolders(mountPoint_);
            QString found = musicFolderFiles->value(keyOf());
            if (found.isEmpty()) {
                if (isInMusicFolder(mountPoint_, keyOf()))
                    continue; // no such file in any letter case
                GLibHandles::CharPtr onIPod{itdb_filename_on_ipod(track)};
                if (!onIPod)
                    continue;
                found = QFile::decodeName(onIPod.get());
            }
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
        for (GList* member = playlist->members; member;) {
            GList* next = member->next;
            if (removing.contains(static_cast<Itdb_Track*>(member->data)))
                playlist->members = g_list_delete_link(playlist->members, member);
            member = next;
        }
    }
    for (Itdb_Track* track : selected) {
        if (itdb_track_has_thumbnails(track)) {
            artworkRemoved_ = true;
            if (!sessionArtwork_.remove(track))
                removedCovers_.append(
                    {track->artwork && track->artwork->id ? track->artwork->id : track->mhii_link,
                     track->dbid});
        }
        itdb_track_remove(track);
    }
    tracksDeleted_ = tracksDeleted_ || !selected.isEmpty();

    QSet<QString> unused;
    for (const Candidate& candidate : candidates) {
        if (!inUse.contains(candidate.key))
            unused.insert(candidate.url);
    }
    unusedTrackFiles_ += unused;
    return unused;
}

namespace {

struct VolumeSpace {
    qint64 available = 0;
    qint64 unit = 1; // the allocation unit
};

std::optional<VolumeSpace> volumeSpace(const QByteArray& mount) {
    struct statvfs volume {};
    if (::statvfs(mount.constData(), &volume) != 0)
        return std::nullopt;
    const qint64 unit = qint64(volume.f_frsize ? volume.f_frsize : volume.f_bsize);
    return VolumeSpace{qint64(volume.f_bavail) * unit, std::max<qint64>(unit, 1)};
}

qint64 roundedUp(qint64 bytes, qint64 unit) {
    return (bytes + unit - 1) / unit * unit;
}

// What removing the file gives back to its volume.
qint64 allocatedBytes(const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_nlink != 1)
        return 0;
    return qint64(status.st_blocks) * 512;
}

// One of the databases on the volume: its bytes, and the room it gives back once the save's
// new file is renamed over it.
struct DatabaseFile {
    QString path;
    qint64 bytes = 0;
    qint64 allocated = 0;
};

DatabaseFile databaseFile(gchar* (*lookup)(const gchar*), const QByteArray& mount) {
    GLibHandles::CharPtr found{lookup(mount.constData())};
    if (!found)
        return {};
    const QString path = QFile::decodeName(found.get());
    struct stat status {};
    if (::lstat(found.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    return {path, qint64(status.st_size), allocatedBytes(path)};
}

// The ArtworkDB as its records lie; none when it cannot be read whole.
std::optional<ArtworkDBImages::Layout> artworkLayout(const DatabaseFile& database) {
    QFile file(database.path);
    if (database.path.isEmpty() || database.bytes > (qint64(256) << 20) ||
        !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return ArtworkDBImages::layout(bytes);
}

constexpr qint64 mebibyte = qint64(1) << 20;

} // namespace

// What the volume has for a save and what the save writes, before it begins.
struct IPodDatabase::SavePlan {
    qint64 free = 0;      // on the volume now
    qint64 leftovers = 0; // what an earlier save left behind, which this one removes first
    qint64 unit = 1;      // the allocation unit
    DatabaseFile iTunesDB;
    DatabaseFile iTunesSD;
    DatabaseFile artworkDB;
    qint64 coverRecords = 0; // the image records of the new ArtworkDB
    qint64 newArtworkDB = 0; // at least its bytes, as worked out from the formats
    qint64 newImages = 0;    // the stored images the save adds
    qint64 thumbnails = 0;   // what their thumbnails take
};

// libgpod writes iTunesDB and ArtworkDB to a new file each and renames it over the old one only
// once it is whole, and appends new thumbnails to the .ithmb files: on a full disk the previous
// database stays as it was. Thumbnails that went away, though, are filled in place with later
// ones and the files cut short before the two databases are written; when those writes then
// find the disk full, the previous database points into thumbnails that moved. Such a save
// first makes sure the rest of it fits, and so does a delete; one that cannot fit is refused
// before anything changes.
// What the save takes, in libgpod's order: the new thumbnails, once the .ithmb files gave back
// those of deleted covers; then ArtworkDB, iTunesSD (shuffles) and iTunesDB, each written whole
// beside the old one, which gives its room back once replaced. The new iTunesDB is written off
// the iPod to learn its size and the new ArtworkDB's is worked out from the old one's records;
// as that costs a second write of the library, only a save short of room by the old sizes pays.
// A delete makes its own room: when its save would not fit and the files it leaves unused would
// free enough, they go first. Should the save still fail, the previous database lists tracks
// without their files (which were to go anyway), and the delete done again completes it.
void IPodDatabase::ensureRoomForSave() {
    if (!artworkRemoved_ && unusedTrackFiles_.isEmpty())
        return;
    const std::optional<SavePlan> plan = planSave(0, sharedCovers_);
    if (!plan)
        return; // when unknown, the save itself will say what is wrong
    const qint64 available = plan->free + plan->leftovers;
    if (available >= plan->iTunesDB.bytes + plan->artworkDB.bytes + plan->iTunesSD.bytes +
                         plan->thumbnails + mebibyte)
        return; // room by far

    const std::optional<qint64> newDatabase = newITunesDBBytes();
    // Fewer tracks never make the iTunesSD longer.
    const qint64 needed = roomNeeded(
        *plan, newDatabase ? *newDatabase : plan->iTunesDB.bytes + mebibyte, plan->iTunesSD.bytes);
    if (available >= needed)
        return;

    qint64 reclaimable = 0;
    for (const QString& file : std::as_const(unusedTrackFiles_))
        reclaimable += allocatedBytes(file);
    if (reclaimable > 0 && available + reclaimable >= needed) {
        QStringList files = unusedTrackFiles_.values();
        std::sort(files.begin(), files.end());
        for (const QString& file : std::as_const(files)) {
            checkpoint(); // each file only while the volume is still this iPod
            // One that stays is reported by the caller's removal after the save.
            ::unlink(QFile::encodeName(file).constData());
        }
        unusedTrackFiles_.clear();
        const std::optional<VolumeSpace> after = volumeSpace(QFile::encodeName(mountPoint_));
        if (!after || after->available + plan->leftovers >= needed)
            return;
    }
    if (tracksDeleted_)
        throw IPodDatabaseError::libraryReason(
            LZ("Save library"),
            LZ("There is not enough free space on the iPod to save its library without these "
               "songs. Delete a larger song, or several songs at once."));
    if (artworkRemoved_)
        throw IPodDatabaseError::libraryReason(
            LZ("Save library"),
            LZ("There is not enough free space on the iPod to save its library."));
}

std::optional<IPodDatabase::SavePlan> IPodDatabase::planSave(int coversToAdd,
                                                             int sharedCovers) const {
    const QByteArray mount = QFile::encodeName(mountPoint_);
    const std::optional<VolumeSpace> space = volumeSpace(mount);
    if (!space)
        return std::nullopt;
    SavePlan plan;
    plan.free = space->available;
    plan.unit = space->unit;
    // What an earlier save left behind goes right before this one writes.
    for (const QString& file : saveLeftovers())
        plan.leftovers += allocatedBytes(file);
    plan.iTunesDB = databaseFile(itdb_get_itunesdb_path, mount);
    plan.iTunesSD = databaseFile(itdb_get_itunessd_path, mount);
    plan.artworkDB = databaseFile(itdb_get_artworkdb_path, mount);
    if (!supportsArtwork())
        return plan;

    // The same for the whole session: read once.
    if (!coverStorage_)
        coverStorage_ = ArtworkFormats::storageOf(database_.get())
                            .value_or(ArtworkFormats::coverStorage(std::nullopt, generation()));
    const ArtworkFormats::CoverStorage& storage = *coverStorage_;

    // libgpod stores one image for each cover this session gave, but a cover of the same album
    // and picture as an earlier new one where the device shares them; the stored images stay
    // as they are. Where covers are shared each stored image keeps one record, elsewhere each
    // track showing a cover gets a record of its own (a stored image's thumbnails are not
    // written again for it).
    plan.newImages = artworkAdded_ + coversToAdd - (storage.sharedInAlbum ? sharedCovers : 0);
    qint64 trackRecords = coversToAdd;
    QSet<quint32> storedImages;
    qint64 unnumberedImages = 0;
    for (GList* link = database_->tracks; link; link = link->next) {
        auto* track = static_cast<Itdb_Track*>(link->data);
        if (!track || !itdb_track_has_thumbnails(track))
            continue;
        ++trackRecords;
        if (sessionArtwork_.contains(track))
            continue;
        if (track->artwork && track->artwork->id)
            storedImages.insert(track->artwork->id);
        else
            ++unnumberedImages;
    }
    plan.coverRecords = storage.sharedInAlbum
                            ? qint64(storedImages.size()) + unnumberedImages + plan.newImages
                            : trackRecords;
    plan.newArtworkDB = storage.databaseBytes(plan.coverRecords);
    // Each format's thumbnails go to a file of their own, which grows by whole allocation units;
    // one more for a file libgpod may begin.
    for (const ArtworkFormats::CoverStorage::Format& format : storage.formats) {
        const qint64 bytes = format.thumbnailBytes * std::max<qint64>(plan.newImages, 0);
        if (bytes > 0)
            plan.thumbnails += roundedUp(bytes, plan.unit) + plan.unit;
    }
    return plan;
}

qint64 IPodDatabase::roomNeeded(const SavePlan& plan, qint64 newITunesDB,
                                qint64 newITunesSD) const {
    struct Replacement {
        qint64 bytes;
        qint64 allocated; // of the one it replaces
    };
    const qint64 unit = plan.unit;
    QList<Replacement> writes;
    writes.append({roundedUp(newITunesDB, unit), plan.iTunesDB.allocated});
    if (newITunesSD > 0) // rewritten on shuffles
        writes.append({roundedUp(newITunesSD, unit), plan.iTunesSD.allocated});
    qint64 freed = 0;
    if (supportsArtwork()) {
        // libgpod writes each image record afresh; stored ones may be longer than its own.
        const std::optional<ArtworkDBImages::Layout> layout = artworkLayout(plan.artworkDB);
        qint64 artworkBytes = plan.newArtworkDB;
        if (!layout && plan.artworkDB.bytes > 0)
            artworkBytes += plan.artworkDB.bytes;
        if (layout && !layout->images.isEmpty()) {
            qint64 records = 0;
            qint64 largest = 0;
            QHash<quint32, const ArtworkDBImages::ImageRecord*> byID;
            QHash<quint64, const ArtworkDBImages::ImageRecord*> bySong;
            for (const ArtworkDBImages::ImageRecord& image : layout->images) {
                records += image.recordBytes;
                largest = std::max(largest, image.recordBytes);
                byID.insert(image.id, &image);
                bySong.insert(image.songID, &image);
            }
            artworkBytes =
                std::max(artworkBytes, layout->fileBytes - records + largest * plan.coverRecords);
            // The thumbnails of deleted covers no remaining track shows: each at least the whole
            // allocation units it fills.
            QSet<quint32> shown;
            for (GList* link = database_->tracks; link; link = link->next) {
                auto* track = static_cast<Itdb_Track*>(link->data);
                if (track && itdb_track_has_thumbnails(track)) {
                    shown.insert(track->mhii_link);
                    if (track->artwork)
                        shown.insert(track->artwork->id);
                }
            }
            QSet<const ArtworkDBImages::ImageRecord*> counted;
            for (const auto& [id, song] : std::as_const(removedCovers_)) {
                const ArtworkDBImages::ImageRecord* image =
                    id ? byID.value(id) : bySong.value(song);
                if (!image || shown.contains(image->id) || counted.contains(image))
                    continue;
                counted.insert(image);
                for (const quint32 bytes : image->thumbnailBytes)
                    freed += qint64(bytes) / unit * unit;
            }
        }
        writes.prepend({roundedUp(artworkBytes, unit), plan.artworkDB.allocated});
    }
    // Whatever the order, no moment of the writes takes more than what they add up to over the
    // files they replace, and the largest of the rest.
    qint64 growth = 0;
    qint64 largest = 0;
    for (const Replacement& write : std::as_const(writes)) {
        growth += std::max<qint64>(0, write.bytes - write.allocated);
        largest = std::max(largest, std::min(write.bytes, write.allocated));
    }
    // For what the file system itself takes, the save's own records, and a database a little
    // longer than worked out.
    const qint64 margin = (qint64(64) << 10) + 4 * unit;
    // The thumbnails given back make room for the databases' writes, margin and all.
    const qint64 added = plan.thumbnails;
    return std::max(added > 0 ? added + margin : 0, added - freed + growth + largest + margin);
}

qint64 IPodDatabase::trackRecordBound(const QStringList& texts) {
    // libgpod's record of a track with its fixed fields, its entries in the main playlist and
    // its sort indexes take under 3 KiB; each text is stored in UTF-16 once for the track and
    // once more for its album or artist entry.
    qint64 units = 0;
    for (const QString& text : texts)
        units += text.size();
    return (qint64(4) << 10) + 4 * units;
}

QByteArray IPodDatabase::newCoverKey(const QString& album, const QByteArray& artwork) {
    return album.toUtf8() + '\0' + QCryptographicHash::hash(artwork, QCryptographicHash::Sha256);
}

// An import copies a file only when the save that lists it will fit after it: a copy whose save
// fails stays on the device unlisted until a later session takes it away. So does the rewrite of
// an edited track, whose old file goes only after the save.
IPodDatabase::TrackRoom IPodDatabase::roomForNewTrack(qint64 fileBytes, const QString& file,
                                                      const QString& title, const QString& artist,
                                                      const QString& album,
                                                      const QString& albumArtist,
                                                      const QString& genre,
                                                      const std::optional<QByteArray>& artwork) {
    const bool cover = artwork && !artwork->isEmpty() && supportsArtwork();
    const bool shared = cover && newCoverKeys_.contains(newCoverKey(album, *artwork));
    return roomForFile(fileBytes,
                       trackRecordBound({title, artist, album, albumArtist, genre, file}), 1,
                       cover ? 1 : 0, sharedCovers_ + (shared ? 1 : 0));
}

IPodDatabase::TrackRoom
IPodDatabase::roomForRewrittenFile(qint64 fileBytes, const QString& file,
                                   const std::optional<QByteArray>& artwork) {
    const bool cover = artwork && !artwork->isEmpty() && supportsArtwork();
    // The record changes only by the new file's path and kind.
    return roomForFile(fileBytes, trackRecordBound({file}), 0, cover ? 1 : 0, sharedCovers_);
}

// The new iTunesDB is the library's as written off the iPod (measured once, when the room is
// short by the old sizes) and a bound for each track registered since, so that a large library
// does not pay that write for every file.
IPodDatabase::TrackRoom IPodDatabase::roomForFile(qint64 fileBytes, qint64 recordBytes,
                                                  int newTracks, int coversToAdd,
                                                  int sharedCovers) {
    const std::optional<SavePlan> plan = planSave(coversToAdd, sharedCovers);
    if (!plan)
        return TrackRoom::enough; // the copy and the save will say what is wrong
    const qint64 audio = roundedUp(std::max<qint64>(fileBytes, 0), plan->unit);
    if (audio > plan->free)
        return TrackRoom::notForAudio;
    const qint64 records = addedRecordBytes_ + recordBytes;
    // libgpod rewrites the iTunesSD of a shuffle at every save, a record per track; one that is
    // missing is written whole.
    const int gen = generation();
    const bool shuffle =
        gen == ITDB_IPOD_GENERATION_SHUFFLE_1 || gen == ITDB_IPOD_GENERATION_SHUFFLE_2 ||
        gen == ITDB_IPOD_GENERATION_SHUFFLE_3 || gen == ITDB_IPOD_GENERATION_SHUFFLE_4;
    constexpr qint64 shuffleRecordBound = 1024;
    qint64 iTunesSD = 0;
    if (plan->iTunesSD.bytes > 0)
        iTunesSD = plan->iTunesSD.bytes + (tracksAdded_ + newTracks) * shuffleRecordBound;
    else if (shuffle)
        iTunesSD = (qint64(g_list_length(database_->tracks)) + newTracks) * shuffleRecordBound;
    const qint64 available = plan->free - audio + plan->leftovers;
    // libgpod's rewrite of an iTunesDB another program wrote may be somewhat longer.
    const qint64 rewritten = plan->iTunesDB.bytes + plan->iTunesDB.bytes / 8;
    if (available >= rewritten + records + plan->artworkDB.bytes + plan->newArtworkDB + iTunesSD +
                         plan->thumbnails + mebibyte)
        return TrackRoom::enough; // room by far
    if (!measuredITunesDB_) {
        const std::optional<qint64> measured = newITunesDBBytes();
        measuredITunesDB_ = measured ? *measured - addedRecordBytes_ : rewritten;
    }
    return available >= roomNeeded(*plan, *measuredITunesDB_ + records, iTunesSD)
               ? TrackRoom::enough
               : TrackRoom::notForSave;
}

std::optional<qint64> IPodDatabase::newITunesDBBytes() {
    // libgpod writes the iTunesDB of a device that shows covers together with the covers, on
    // the device; with a blank device in its place it writes the same database alone. Each of
    // its writes numbers the tracks afresh, as the save will again.
    // In a private folder wherever one can be made: GLib's own temporary folder is the one it
    // found at its first use, and may be gone or full.
    const ScratchFolder folder(QStringLiteral("lorvanel-size"), 0);
    if (!folder.isValid())
        return std::nullopt;
    const std::string file = (folder.path() / "iTunesDB").string();
    GLibHandles::ErrorSlot error;
    const GLibHandles::DevicePtr blank(itdb_device_new());
    Itdb_Device* const device = std::exchange(database_->device, blank.get());
    gchar* const filename = std::exchange(database_->filename, nullptr);
    const gboolean written = itdb_write_file(database_.get(), file.c_str(), error.out());
    database_->device = device;
    g_free(std::exchange(database_->filename, filename));
    // That write left the track list in the main playlist's order; the save's write is quick
    // only on the list laid out for it.
    if (Itdb_Playlist* master = itdb_playlist_mpl(database_.get()))
        arrangeTracksForWrite(database_.get(), master);
    if (written && error)
        error.abandon(); // see GLibHandles::ErrorSlot::abandon
    std::optional<qint64> bytes;
    struct stat status {};
    if (written && ::stat(file.c_str(), &status) == 0)
        bytes = qint64(status.st_size);
    return bytes;
}

namespace {

// How libgpod's write of each database begins: the iTunesDB's and the ArtworkDB's header with
// its length, and the iTunesSD of the first two shuffle generations (a track count, then a
// fixed header) and of the later ones.
struct Signature {
    qsizetype at;
    QByteArrayView bytes;
};

template <std::size_t N> constexpr Signature signature(qsizetype at, const char (&bytes)[N]) {
    return {at, QByteArrayView(bytes, qsizetype(N - 1))};
}

constexpr Signature iTunesDBSignatures[] = {signature(0, "mhbd\xF4\0\0\0")};
constexpr Signature artworkDBSignatures[] = {signature(0, "mhfd\x84\0\0\0")};
constexpr Signature iTunesSDSignatures[] = {signature(3, "\x01\x06\0\0\0\x12\0\0\0\0\0\0\0\0\0"),
                                            signature(0, "bdhs\x03\0\0\x02\x40\0\0\0")};

bool beginsWith(const QByteArray& head, const Signature& signature) {
    return head.size() >= signature.at + signature.bytes.size() &&
           QByteArrayView(head).sliced(signature.at, signature.bytes.size()) == signature.bytes;
}

// libgpod took about 9 s to write a 40,000-track library, whose 52 MB iTunesDB USB 2 carries in
// a few more, and each new cover costs it some 5 ms and 265 KB more: ten minutes is many times
// a large save, and a file last written later is none of its.
constexpr qint64 longestSaveSeconds = 600;
// FAT keeps modification times in steps of two seconds.
constexpr qint64 clockStepSeconds = 2;

// A regular file with one link that was last written while the cut save was under way.
struct SoleFile {
    qint64 size = 0;
    QByteArray head;
};

std::optional<SoleFile> soleFileOfSave(const QString& path, qsizetype length,
                                       qint64 saveBegunSeconds) {
    OwnedFd fd(::open(QFile::encodeName(path).constData(),
                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!fd.isValid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_nlink != 1)
        return std::nullopt;
    const qint64 written = status.st_mtim.tv_sec;
    if (written < saveBegunSeconds - clockStepSeconds ||
        written > saveBegunSeconds + longestSaveSeconds)
        return std::nullopt;
    try {
        return SoleFile{qint64(status.st_size), fd.readAt(0, length)};
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

// Whether another regular file of the folder holds exactly the file's bytes (the database
// itself, a copy of it or of anything there): a copy may be the user's. Also when one cannot
// be read to the end.
bool copiesAnotherFile(const QString& folder, const QString& name, qint64 size) {
    OwnedFd file(::open(QFile::encodeName(folder + u'/' + name).constData(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid())
        return true;
    constexpr qint64 chunk = qint64(1) << 20;
    for (const QString& entry :
         QDir(folder).entryList(QDir::Files | QDir::NoSymLinks | QDir::Hidden | QDir::System)) {
        const QByteArray path = QFile::encodeName(folder + u'/' + entry);
        struct stat status {};
        if (entry == name || ::lstat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode) ||
            status.st_size != size)
            continue;
        OwnedFd other(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!other.isValid())
            continue;
        try {
            qint64 at = 0;
            while (at < size) {
                const QByteArray bytes = file.readAt(at, chunk);
                if (bytes.isEmpty() || other.readAt(at, chunk) != bytes)
                    break;
                at += bytes.size();
            }
            if (at >= size)
                return true;
        } catch (const std::system_error&) {
            return true;
        }
    }
    return false;
}

} // namespace

// libgpod writes each database to "<name>.XXXXXX" beside it (GLib's six capitals or digits) and
// renames that over the old one. A save cut short (the program ended, the iPod pulled) leaves
// it there, as large as the database, or empty when cut before its first write. Only a file of
// that name that was not there when that save began, was last written while it could have been
// under way, and is empty, or begins as libgpod writes that database and holds bytes no other
// file beside it holds, is taken: one shorter than that beginning, anything else of a like
// name, any copy that was there before, a copy of a file there and one written long after may
// be the user's.
QStringList IPodDatabase::saveLeftovers() const {
    const std::optional<CutSave> save = cutSave();
    if (!save)
        return {}; // no save of ours was cut short
    struct Target {
        gchar* (*path)(const gchar*);
        gchar* (*folder)(const gchar*);
        const char* name;
        std::span<const Signature> signatures;
    };
    static const Target targets[] = {
        {itdb_get_itunesdb_path, itdb_get_itunes_dir, "iTunesDB", iTunesDBSignatures},
        {itdb_get_itunessd_path, itdb_get_itunes_dir, "iTunesSD", iTunesSDSignatures},
        {itdb_get_artworkdb_path, itdb_get_artwork_dir, "ArtworkDB", artworkDBSignatures},
    };
    QStringList files;
    const QByteArray mount = QFile::encodeName(mountPoint_);
    for (const Target& target : targets) {
        GLibHandles::CharPtr folder{target.folder(mount.constData())};
        if (!folder)
            continue;
        // libgpod writes to the file it found, in whatever letter case it has.
        QString name = QString::fromLatin1(target.name);
        if (GLibHandles::CharPtr existing{target.path(mount.constData())})
            name = QFileInfo(QFile::decodeName(existing.get())).fileName();
        const QRegularExpression pattern(u'^' + QRegularExpression::escape(name) +
                                         QStringLiteral("\\.[A-Z0-9]{6}$"));
        const QString path = QFile::decodeName(folder.get());
        for (const QString& entry :
             QDir(path).entryList(QDir::Files | QDir::NoSymLinks | QDir::Hidden | QDir::System)) {
            if (!pattern.match(entry).hasMatch())
                continue;
            const QString file = path + u'/' + entry;
            if (save->filesBefore.contains(QDir(mountPoint_).relativeFilePath(file).toLower()))
                continue;
            const std::optional<SoleFile> sole = soleFileOfSave(file, 32, save->begunSeconds);
            if (!sole)
                continue;
            if (sole->size == 0 || (std::any_of(target.signatures.begin(), target.signatures.end(),
                                                [&](const Signature& signature) {
                                                    return beginsWith(sole->head, signature);
                                                }) &&
                                    !copiesAnotherFile(path, entry, sole->size)))
                files.append(file);
        }
    }
    return files;
}

void IPodDatabase::saveLibrary() {
    ensureWritable();
    if (!database_->tracks && !passesITunesControlTest(mountPoint_))
        throw IPodDatabaseError::emptyLibrary();
    Itdb_Playlist* master = itdb_playlist_mpl(database_.get());
    if (!master)
        throw IPodDatabaseError::missingMainPlaylist();

    QSet<quint64> seen;
    seen.reserve(qsizetype(g_list_length(master->members)));
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
    arrangeTracksForWrite(database_.get(), master);

    ensureRoomForSave();
    checkpoint();
    for (const QString& file : saveLeftovers())
        ::unlink(QFile::encodeName(file).constData());
    recordSaveBegins();
    recordReleasedFiles();
    GLibHandles::ErrorSlot error;
    const gboolean written = itdb_write(database_.get(), error.out());
    recordSaveEnded();
    if (written && error) {
        error.abandon(); // see GLibHandles::ErrorSlot::abandon
        throw IPodDatabaseError::library(LZ("Save library"), std::nullopt);
    }
    if (!written) {
        // A volume that went away is the cause, whatever libgpod says of the write. (libgpod's
        // temporary file is gone: GLib removes it when a write fails.)
        checkpoint();
        if (error && error.get()->domain == G_FILE_ERROR && error.get()->code == G_FILE_ERROR_NOSPC)
            throw IPodDatabaseError::libraryReason(
                LZ("Save library"), LZ("There is not enough free space on the disk."));
        std::optional<QString> detail;
        if (error && error.get()->message)
            detail = QString::fromUtf8(error.get()->message);
        throw IPodDatabaseError::library(LZ("Save library"), detail);
    }
    settlePendingFiles();
}
