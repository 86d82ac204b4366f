// Track files: the rule that keeps every file this system touches inside the music folders.

#include "library/IPodDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Resolves the links of the part of path that exists; the rest is kept as written.
QString resolvingSymlinks(const QString& path) {
    std::error_code error;
    const fs::path resolved =
        fs::weakly_canonical(fs::path(QFile::encodeName(path).toStdString()), error);
    if (error)
        return QDir::cleanPath(path);
    return QDir::cleanPath(QFile::decodeName(QByteArray::fromStdString(resolved.string())));
}

QStringList components(const QString& path) {
    return path.split(u'/', Qt::SkipEmptyParts);
}

} // namespace

namespace {

struct Entry {
    QByteArray name;
    QByteArray folded; // as libgpod compares names
    bool isLink = false;
    bool isFolder = false;
};

// The entries of folder whose case-folded names are wanted, in name order: one listing, and an
// lstat only for an entry the listing gives no kind.
std::vector<Entry> entriesNamed(const QByteArray& folder,
                                const std::function<bool(const QByteArray&)>& wanted) {
    std::vector<Entry> found;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return found;
    while (const dirent* entry = ::readdir(dir)) {
        const GLibHandles::CharPtr folded{g_utf8_casefold(entry->d_name, -1)};
        if (!folded || !wanted(QByteArray(folded.get())))
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat status {};
            if (::lstat((folder + '/' + entry->d_name).constData(), &status) != 0)
                continue;
            type = S_ISLNK(status.st_mode) ? DT_LNK : S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
        }
        found.push_back(
            {QByteArray(entry->d_name), QByteArray(folded.get()), type == DT_LNK, type == DT_DIR});
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return found;
}

std::function<bool(const QByteArray&)> oneOf(std::initializer_list<const char*> names) {
    return [names = std::vector<QByteArray>(names.begin(), names.end())](const QByteArray& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
}

bool isNumberedFolder(const QByteArray& folded) {
    return folded.size() == 3 && folded[0] == 'f' && std::isdigit(uchar(folded[1])) &&
           std::isdigit(uchar(folded[2]));
}

bool isThumbnailFile(const QByteArray& folded) {
    return folded.endsWith(".ithmb");
}

} // namespace

// Only real folders are listed, so nothing here reads through a link either.
std::optional<QString> IPodDatabase::linkedLibraryFolder(const QString& mountPoint) {
    const QByteArray root = QFile::encodeName(mountPoint) + '/';
    for (const Entry& control : entriesNamed(root, oneOf({"ipod_control"}))) {
        if (control.isLink)
            return QFile::decodeName(control.name);
        if (!control.isFolder)
            continue;
        for (const Entry& folder :
             entriesNamed(root + control.name, oneOf({"itunes", "artwork", "device", "music"}))) {
            const QByteArray path = control.name + '/' + folder.name;
            if (folder.isLink)
                return QFile::decodeName(path);
            if (!folder.isFolder || folder.folded == "device")
                continue;
            // libgpod appends new covers to the thumbnail files where they are.
            if (folder.folded == "artwork") {
                for (const Entry& file : entriesNamed(root + path, isThumbnailFile)) {
                    if (file.isLink)
                        return QFile::decodeName(path + '/' + file.name);
                }
                continue;
            }
            // The numbered music folders; the fifth-generation nano's library folder.
            for (const Entry& inside : entriesNamed(
                     root + path, folder.folded == "music"
                                      ? std::function<bool(const QByteArray&)>(isNumberedFolder)
                                      : oneOf({"itunes library.itlp"}))) {
                if (inside.isLink)
                    return QFile::decodeName(path + '/' + inside.name);
            }
        }
    }
    return std::nullopt;
}

void IPodDatabase::refuseLinkedFolders(const QString& mountPoint) {
    if (const std::optional<QString> linked = linkedLibraryFolder(mountPoint))
        throw IPodDatabaseError::linkedFolder(*linked);
}

QString IPodDatabase::validatedMusicFileURL(const QString& path) const {
    const QFileInfo info(QDir::cleanPath(path));
    const QString name = info.fileName();
    if (name.isEmpty())
        throw IPodDatabaseError::invalidTrack();
    const QString normalized = resolvingSymlinks(info.path()) + u'/' + name;

    const QStringList mount = components(mountPoint_);
    const QStringList parts = components(normalized);
    if (parts.size() != mount.size() + 4)
        throw IPodDatabaseError::invalidTrack();
    for (qsizetype i = 0; i < mount.size(); ++i) {
        if (parts[i] != mount[i])
            throw IPodDatabaseError::invalidTrack();
    }
    static const QRegularExpression numbered(QStringLiteral("^F[0-9]{2}$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QStringList below = parts.mid(mount.size());
    if (below[0].compare(QLatin1String("iPod_Control"), Qt::CaseInsensitive) != 0 ||
        below[1].compare(QLatin1String("Music"), Qt::CaseInsensitive) != 0 ||
        !numbered.match(below[2]).hasMatch())
        throw IPodDatabaseError::invalidTrack();
    for (const QString& part : below) {
        if (part.contains(u':'))
            throw IPodDatabaseError::invalidTrack();
    }
    return normalized;
}

QString IPodDatabase::trackFileURL(const Itdb_Track* track) const {
    GLibHandles::CharPtr onIPod{itdb_filename_on_ipod(const_cast<Itdb_Track*>(track))};
    if (!onIPod)
        throw IPodDatabaseError::invalidTrackLocation();
    const QString resolved = resolvingSymlinks(QFile::decodeName(onIPod.get()));
    const QString validated = validatedMusicFileURL(resolved);
    struct stat status {};
    if (::lstat(QFile::encodeName(validated).constData(), &status) != 0)
        throw std::system_error(errno, std::generic_category(), "lstat");
    if (!S_ISREG(status.st_mode))
        throw IPodDatabaseError::invalidTrackLocation();
    return validated;
}

QList<Itdb_Track*> IPodDatabase::resolveTracks(const QSet<quint64>& ids, GList* tracks) {
    QList<Itdb_Track*> found;
    QSet<quint64> foundIDs;
    for (GList* link = tracks; link; link = link->next) {
        auto* track = static_cast<Itdb_Track*>(link->data);
        if (track && ids.contains(track->dbid)) {
            found.append(track);
            foundIDs.insert(track->dbid);
        }
    }
    if (ids.isEmpty() || found.size() != ids.size() || foundIDs != ids)
        throw IPodDatabaseError::trackSelectionChanged();
    return found;
}

QString IPodDatabase::fileURL(quint64 trackID) const {
    return trackFileURL(resolveTracks({trackID}, database_->tracks).first());
}

QList<IPodDatabase::TrackFile> IPodDatabase::fileURLs(const QSet<quint64>& trackIDs) const {
    QList<TrackFile> files;
    for (Itdb_Track* track : resolveTracks(trackIDs, database_->tracks)) {
        TrackFile file{makeTrack(track, std::nullopt), std::nullopt, nullptr};
        try {
            file.path = trackFileURL(track);
        } catch (...) {
            file.error = std::current_exception();
        }
        files.append(std::move(file));
    }
    return files;
}

QSet<QString> IPodDatabase::allTrackFileURLs() const {
    QSet<QString> files;
    for (GList* link = database_->tracks; link; link = link->next) {
        const auto* track = static_cast<const Itdb_Track*>(link->data);
        if (!track)
            continue;
        try {
            files.insert(trackFileURL(track));
        } catch (...) {
            // A track whose file cannot be named has no file to list; its own read reports it.
        }
    }
    return files;
}
