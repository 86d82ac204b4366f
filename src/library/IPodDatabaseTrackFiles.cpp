// Track files: the rule that keeps every file this system touches inside the music folders.

#include "library/IPodDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <filesystem>
#include <system_error>

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

// libgpod finds each of these folders by its name in any letter case.
std::optional<QString> IPodDatabase::linkedLibraryFolder(const QString& mountPoint) {
    // The entries of the folder (links to nothing too) whose names match, by name.
    const auto named = [&](const QString& folder, const QString& pattern) {
        const QRegularExpression name(pattern, QRegularExpression::CaseInsensitiveOption);
        QStringList found;
        const QStringList entries =
            QDir(mountPoint + u'/' + folder)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Name);
        for (const QString& entry : entries) {
            if (name.match(entry).hasMatch())
                found.append(folder.isEmpty() ? entry : folder + u'/' + entry);
        }
        return found;
    };
    const auto isLink = [&](const QString& folder) {
        return QFileInfo(mountPoint + u'/' + folder).isSymLink();
    };
    for (const QString& control : named({}, QStringLiteral("^ipod_control$"))) {
        if (isLink(control))
            return control;
        for (const QString& folder : named(control, QStringLiteral("^(music|itunes)$"))) {
            if (isLink(folder))
                return folder;
            if (!folder.endsWith(QLatin1String("/music"), Qt::CaseInsensitive))
                continue;
            for (const QString& numbered : named(folder, QStringLiteral("^f[0-9]{2}$"))) {
                if (isLink(numbered))
                    return numbered;
            }
        }
    }
    return std::nullopt;
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
