#include "library/DatabaseFiles.h"

#include "library/ArtworkDBImages.h"
#include "library/DeviceDescription.h"
#include "library/GLibHandles.h"
#include "library/IPodDatabase.h"
#include "library/ITunesDBStructure.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>

namespace {

QByteArray libgpodFolder(gchar* (*lookup)(const gchar*), const QByteArray& mountPoint) {
    GLibHandles::CharPtr path{lookup(mountPoint.constData())};
    return path ? QByteArray(path.get()) : QByteArray();
}

std::vector<QByteArray> sortedNames(const QByteArray& folder) {
    std::vector<QByteArray> names;
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void visitFolder(const QByteArray& folder, bool entersLibraryFolders,
                 const DatabaseFiles::Visitor& visit) {
    if (folder.isEmpty())
        return;
    for (const QByteArray& name : sortedNames(folder)) {
        const QByteArray path = folder + '/' + name;
        struct stat status {};
        if (::lstat(path.constData(), &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode)) {
            if (entersLibraryFolders && name.toLower().endsWith(".itlp"))
                visitFolder(path, false, visit);
            continue;
        }
        visit(path, status);
    }
}

// Whether the entry, links followed, is something other than a regular file or a folder.
bool isSpecial(const QByteArray& path, const struct stat& status) {
    if (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))
        return false;
    if (!S_ISLNK(status.st_mode))
        return true;
    struct stat target {};
    // A link to nothing is a missing file.
    if (::stat(path.constData(), &target) != 0)
        return false;
    return !S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode);
}

bool isNamed(const QByteArray& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* candidate) {
        return qstricmp(name.constData(), candidate) == 0;
    });
}

// The first special entry of the files an iPod keeps, passing every entry to visit on the way.
std::optional<QByteArray> firstSpecialFile(const QString& mountPoint,
                                           const DatabaseFiles::Visitor& visit) {
    std::optional<QByteArray> special;
    const auto folder = [&](const QByteArray& path, bool entersLibraryFolders,
                            std::initializer_list<const char*> leftOut) {
        visitFolder(path, entersLibraryFolders,
                    [&](const QByteArray& file, const struct stat& status) {
                        // libgpod never reads this program's records, and their readers never wait
                        // on one; libgpod reads the files the opening judges only when they are
                        // regular.
                        const QByteArray name = file.mid(file.lastIndexOf('/') + 1);
                        if (!special && isSpecial(file, status) &&
                            !IPodDatabase::isOwnRecordName(name) && !isNamed(name, leftOut))
                            special = file;
                        if (visit)
                            visit(file, status);
                    });
    };
    const QByteArray mount = QFile::encodeName(mountPoint);
    folder(libgpodFolder(itdb_get_itunes_dir, mount), true, {});
    folder(libgpodFolder(itdb_get_device_dir, mount), false, {"SysInfo", "SysInfoExtended"});
    folder(libgpodFolder(itdb_get_artwork_dir, mount), false, {"ArtworkDB"});
    return special;
}

// Whether the ArtworkDB at path may be read by libgpod: a regular file whose records hold
// together.
bool isSoundArtworkDB(const QString& path) {
    QFile file;
    if (!DatabaseFiles::open(file, path) || file.size() == 0 ||
        file.size() > ArtworkDBImages::maxDatabaseBytes)
        return false;
    if (const uchar* mapped = file.map(0, file.size()))
        return ITunesDBStructure::isSoundArtworkDB(
            QByteArrayView(reinterpret_cast<const char*>(mapped), file.size()));
    const QByteArray bytes = file.readAll();
    return file.error() == QFileDevice::NoError && ITunesDBStructure::isSoundArtworkDB(bytes);
}

} // namespace

bool DatabaseFiles::hasSpecialFiles(const QString& mountPoint) {
    return firstSpecialFile(mountPoint, {}).has_value();
}

void DatabaseFiles::refuseSpecialFiles(const QString& mountPoint, const Visitor& visit) {
    if (const auto special = firstSpecialFile(mountPoint, visit))
        throw damaged(QFile::decodeName(*special));
}

DatabaseFiles::Unread DatabaseFiles::unreadDescriptions(const QString& mountPoint) {
    Unread unread;
    const QDir root(mountPoint);
    const DeviceDescription::File description = DeviceDescription::read(mountPoint);
    const DeviceDescription::File sysInfo = DeviceDescription::readSysInfo(mountPoint);
    for (const auto& [file, leftOut] :
         {std::pair{&description, &unread.files.description}, {&sysInfo, &unread.files.sysInfo}}) {
        if (!file->refused())
            continue;
        *leftOut = true;
        if (!unread.reason)
            unread.reason =
                IPodDatabaseError::unreadableDeviceDescription(root.relativeFilePath(file->path));
    }
    return unread;
}

DatabaseFiles::Unread DatabaseFiles::unreadFiles(const QString& mountPoint, bool describedOverUSB) {
    Unread unread = describedOverUSB ? Unread() : unreadDescriptions(mountPoint);
    const QByteArray mount = QFile::encodeName(mountPoint);
    const QString artworkDB = QFile::decodeName(libgpodFolder(itdb_get_artworkdb_path, mount));
    if (!artworkDB.isEmpty() && !isSoundArtworkDB(artworkDB)) {
        unread.files.artworkDB = true;
        if (!unread.reason)
            unread.reason = IPodDatabaseError::storedCoversUnreadable(
                QDir(mountPoint).relativeFilePath(artworkDB));
    }
    return unread;
}

IPodDatabaseError DatabaseFiles::damaged(const QString& path) {
    const QString name = path.section(u'/', -1);
    QString detail = LZ("The library database is damaged and could not be read.");
    if (name.compare(QLatin1String("iTunesDB"), Qt::CaseInsensitive) == 0)
        detail = LZ("The iTunesDB file is damaged.");
    else if (name.compare(QLatin1String("iTunesCDB"), Qt::CaseInsensitive) == 0)
        detail = LZ("The iTunesCDB file is damaged.");
    return IPodDatabaseError::library(LZ("Read library"),
                                      localizedString(detail, AppLanguages::stored()));
}

OwnedFd DatabaseFiles::openRegular(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; a regular file ignores it.
    OwnedFd file;
    int fd;
    do {
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    file.reset(fd);
    if (!file.isValid())
        return file;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        file.reset();
        errno = EINVAL;
    }
    return file;
}

bool DatabaseFiles::open(QFile& file, const QString& path) {
    OwnedFd regular = openRegular(path);
    if (!regular.isValid() ||
        !file.open(regular.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return false;
    regular.release();
    return true;
}

std::optional<QByteArray> DatabaseFiles::read(const QString& path, qint64 maxBytes) {
    OwnedFd file = openRegular(path);
    if (!file.isValid())
        return std::nullopt;
    qint64 count = maxBytes;
    if (count < 0) {
        struct stat status {};
        if (::fstat(file.get(), &status) != 0)
            return std::nullopt;
        count = status.st_size;
    }
    try {
        return file.readUpTo(count);
    } catch (const std::system_error&) {
        return std::nullopt; // unreadable: as if missing
    }
}
