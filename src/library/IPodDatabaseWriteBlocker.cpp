// Whether an opened database may be edited.

#include "library/IPodDatabase.h"

#include "library/ArtworkDBImages.h"
#include "library/ArtworkFormats.h"
#include "library/DatabaseFiles.h"
#include "library/DeviceDescription.h"
#include "library/GpodExtensions.h"
#include "library/ITunesDBStructure.h"
#include "library/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

std::optional<IPodDatabaseError> sysInfoExtendedRules(Itdb_iTunesDB* database,
                                                      const QString& mountPoint, int generation,
                                                      bool requiresFireWireID) {
    const DeviceDescription::File file = DeviceDescription::read(mountPoint);
    if (file.path.isEmpty()) {
        if (!requiresFireWireID)
            return std::nullopt;
        GLibHandles::CharPtr guid{itdb_device_get_sysinfo(database->device, "FirewireGuid")};
        const QString text = guid ? QString::fromUtf8(guid.get()) : QString();
        if (isValidFireWireGUID(text))
            return std::nullopt;
        return IPodDatabaseError::invalidFireWireID();
    }

    if (!file.text)
        return IPodDatabaseError::unreadableDeviceDescription(
            QDir(mountPoint).relativeFilePath(file.path));
    const auto plist = PropertyList::parseDictionary(*file.text);
    if (!plist)
        return IPodDatabaseError::unsupportedDatabase();

    if (plist->boolean("SQLiteDB") == true)
        return IPodDatabaseError::unsupportedDatabase();

    if (plist->contains("ShadowDBVersion") && (generation == ITDB_IPOD_GENERATION_SHUFFLE_3 ||
                                               generation == ITDB_IPOD_GENERATION_SHUFFLE_2)) {
        const std::uint64_t shadow = plist->unsignedInteger("ShadowDBVersion").value_or(0);
        const std::uint64_t allowed = generation == ITDB_IPOD_GENERATION_SHUFFLE_3 ? 2 : 1;
        if (shadow != 0 && shadow != allowed)
            return IPodDatabaseError::unsupportedDatabase();
    }

    const auto dbVersion = plist->unsignedInteger("DBVersion");
    if (!dbVersion) {
        if (requiresFireWireID)
            return IPodDatabaseError::unsupportedDatabase();
        return std::nullopt;
    }
    if (requiresFireWireID) {
        if (*dbVersion != 3)
            return IPodDatabaseError::unsupportedDatabase();
        if (isValidFireWireGUID(plist->string("FireWireGUID")))
            return std::nullopt;
        return IPodDatabaseError::invalidFireWireID();
    }
    if (*dbVersion < 3)
        return std::nullopt;
    return IPodDatabaseError::unsupportedDatabase();
}

// The ArtworkDB at a mount point as its records lie, its thumbnails checked against their files;
// none when there is none or it cannot be read whole.
std::optional<ArtworkDBImages::Layout> storedCovers(const gchar* mount) {
    GLibHandles::CharPtr file{itdb_get_artworkdb_path(mount)};
    GLibHandles::CharPtr folder{itdb_get_artwork_dir(mount)};
    if (!file || !folder)
        return std::nullopt;
    QFile database(QFile::decodeName(file.get()));
    if (!QFileInfo(database).isFile() || database.size() > ArtworkDBImages::maxDatabaseBytes ||
        !database.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = database.readAll();
    if (database.error() != QFileDevice::NoError)
        return std::nullopt;
    return ArtworkDBImages::layout(bytes, QFile::decodeName(folder.get()));
}

// The cover image each track record of the iTunesDB at a mount point links, by track id: by the
// file, as libgpod forgets a link it found no image for. Empty without an iTunesDB (a new
// library); none when it cannot be read back whole.
std::optional<QHash<quint64, quint32>> iTunesDBCoverLinks(const gchar* mount) {
    GLibHandles::CharPtr path{itdb_get_itunesdb_path(mount)};
    if (!path)
        return QHash<quint64, quint32>();
    const QString name = QFile::decodeName(path.get());
    QFile file;
    if (!DatabaseFiles::open(file, name))
        return std::nullopt;
    const uchar* mapped = file.size() > 0 ? file.map(0, file.size()) : nullptr;
    const auto bytes = mapped ? std::optional(QByteArray::fromRawData(
                                    reinterpret_cast<const char*>(mapped), file.size()))
                              : DatabaseFiles::read(name);
    return bytes ? ITunesDBStructure::coverLinks(*bytes) : std::nullopt;
}

// For each track libgpod read whose record in the iTunesDB links a cover, the image libgpod's
// reading took for it; none when the iTunesDB cannot be read back whole.
std::optional<QList<std::optional<ArtworkFormats::MappedCover>>>
linkedCovers(Itdb_iTunesDB* database, const gchar* mount) {
    const auto links = iTunesDBCoverLinks(mount);
    if (!links)
        return std::nullopt;
    QList<std::optional<ArtworkFormats::MappedCover>> covers;
    for (GList* item = database->tracks; item; item = item->next) {
        const auto* track = static_cast<const Itdb_Track*>(item->data);
        if (!track || !links->contains(track->dbid))
            continue;
        if (track->artwork && track->artwork->thumbnail)
            covers.append(ArtworkFormats::MappedCover{track->artwork->id, track->artwork->dbid});
        else
            covers.append(std::nullopt);
    }
    return covers;
}

// The ArtworkDB, or the Artwork folder when that is no folder, relative to the mount point.
QString artworkFileName(const gchar* mount) {
    const QDir root(QFile::decodeName(mount));
    GLibHandles::CharPtr folder{itdb_get_artwork_dir(mount)};
    if (folder && !QFileInfo(QFile::decodeName(folder.get())).isDir())
        return root.relativeFilePath(QFile::decodeName(folder.get()));
    if (GLibHandles::CharPtr file{itdb_get_artworkdb_path(mount)})
        return root.relativeFilePath(QFile::decodeName(file.get()));
    if (folder)
        return root.relativeFilePath(QFile::decodeName(folder.get()) +
                                     QStringLiteral("/ArtworkDB"));
    GLibHandles::CharPtr control{itdb_get_control_dir(mount)};
    return control ? root.relativeFilePath(QFile::decodeName(control.get()) +
                                           QStringLiteral("/Artwork/ArtworkDB"))
                   : QStringLiteral("iPod_Control/Artwork/ArtworkDB");
}

// Whether an ArtworkDB, or something other than a folder in place of the Artwork folder, is there.
bool hasArtworkEntry(const gchar* mount) {
    GLibHandles::CharPtr folder{itdb_get_artwork_dir(mount)};
    if (folder && !QFileInfo(QFile::decodeName(folder.get())).isDir())
        return QFileInfo::exists(QFile::decodeName(folder.get()));
    GLibHandles::CharPtr file{itdb_get_artworkdb_path(mount)};
    return file != nullptr;
}

// Whether the Artwork folder holds a thumbnail file with anything in it.
bool holdsThumbnails(const gchar* mount) {
    GLibHandles::CharPtr folder{itdb_get_artwork_dir(mount)};
    if (!folder)
        return false;
    QDir dir(QFile::decodeName(folder.get()));
    dir.setNameFilters({QStringLiteral("*.ithmb")});
    dir.setFilter(QDir::Files | QDir::Hidden);
    const QFileInfoList files = dir.entryInfoList();
    return std::any_of(files.cbegin(), files.cend(),
                       [](const QFileInfo& file) { return file.size() > 0; });
}

// libgpod's save rewrites the ArtworkDB with the images its reading took for the tracks, with the
// thumbnails it holds of them: those in the formats of the description libgpod read (the one in
// the Device folder at its own mount point: the device's file, or in a shadow the description
// read from the device), or without one in its model's formats. The iPod may be written only
// when each track that links a cover holds a thumbnail of it that can be read back; otherwise
// the save would erase that cover, and the iPod opens read-only.
std::optional<IPodDatabaseError> artworkFormatsBlocker(Itdb_iTunesDB* database) {
    const gchar* mount = itdb_get_mountpoint(database);
    if (!mount)
        return std::nullopt;
    const QDir root(QFile::decodeName(mount));
    GLibHandles::CharPtr deviceDir{itdb_get_device_dir(mount)};
    const DeviceDescription::File file = DeviceDescription::read(QFile::decodeName(mount));
    // Which file a reason names: none for the description of a shadow, read from the device.
    const auto named = [&](const QString& path) -> std::optional<QString> {
        if (path.isEmpty() || lorvanel_itdb_real_mountpoint(database))
            return std::nullopt;
        return root.relativeFilePath(path);
    };
    QSet<quint32> formats;
    std::optional<IPodDatabaseError> unlisted;
    if (!file.path.isEmpty()) {
        if (file.refused())
            return IPodDatabaseError::unreadableDeviceDescription(named(file.path));
        // Read strictly, its numbers are the ones libgpod's writer reads.
        const auto description = PropertyList::parseDictionary(*file.text);
        if (!description)
            return IPodDatabaseError::unsupportedDatabase();
        if (!ArtworkFormats::withinBounds(*description))
            return IPodDatabaseError::artworkFormatsOutOfBounds(named(file.path));
        formats = ArtworkFormats::coverFormats(*description);
        unlisted = IPodDatabaseError::storedCoverFormatsUnlisted(named(file.path));
    } else {
        const Itdb_IpodInfo* info =
            database->device ? itdb_device_get_ipod_info(database->device) : nullptr;
        formats = ArtworkFormats::modelFormats(info ? int(info->ipod_generation) : 0);
        GLibHandles::CharPtr sysInfo{deviceDir ? itdb_get_path(deviceDir.get(), "SysInfo")
                                               : nullptr};
        unlisted = IPodDatabaseError::storedCoverFormatsOfOtherModel(
            named(sysInfo ? QFile::decodeName(sysInfo.get()) : QString()));
    }
    // Without formats libgpod leaves the ArtworkDB as it is.
    if (!database->device || !itdb_device_supports_artwork(database->device))
        return std::nullopt;
    const auto covers = linkedCovers(database, mount);
    if (!covers)
        return IPodDatabaseError::unsupportedDatabase();
    const std::optional<ArtworkDBImages::Layout> stored = storedCovers(mount);
    if (!stored) {
        // No image can be told apart: what the thumbnail files hold goes, and so does what an
        // unreadable ArtworkDB holds of the covers the tracks link. Without one, those links lead
        // nowhere.
        if (!holdsThumbnails(mount) && (covers->isEmpty() || !hasArtworkEntry(mount)))
            return std::nullopt;
        return IPodDatabaseError::storedCoversUnreadable(artworkFileName(mount));
    }
    switch (ArtworkFormats::storedCoverLoss(formats, *stored, *covers)) {
    case ArtworkFormats::StoredCoverLoss::none:
        return std::nullopt;
    case ArtworkFormats::StoredCoverLoss::formatsUnlisted:
        return unlisted;
    case ArtworkFormats::StoredCoverLoss::unmapped:
        break;
    }
    return IPodDatabaseError::storedCoversUnreadable(artworkFileName(mount));
}

} // namespace

bool IPodDatabase::storesNoCover(const QString& mountPoint) {
    const QByteArray mount = QFile::encodeName(mountPoint);
    const auto links = iTunesDBCoverLinks(mount.constData());
    return links && links->isEmpty() && !holdsThumbnails(mount.constData());
}

bool isValidFireWireGUID(const std::optional<QString>& text) {
    if (!text)
        return false;
    QByteArray digits = text->toUtf8();
    if (digits.toLower().startsWith("0x"))
        digits = digits.mid(2);
    if (digits.size() != 16)
        return false;
    bool nonZero = false;
    for (char c : digits) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex)
            return false;
        nonZero = nonZero || c != '0';
    }
    return nonZero;
}

namespace {

std::optional<IPodDatabaseError> deviceBlocker(Itdb_iTunesDB* database, const QString& mountPoint) {
    if (!database || !database->device)
        return IPodDatabaseError::unsupportedDatabase();
    const Itdb_IpodInfo* info = itdb_device_get_ipod_info(database->device);
    if (!info)
        return IPodDatabaseError::unsupportedDatabase();
    if (GLibHandles::CharPtr cdb{
            itdb_get_itunescdb_path(QFile::encodeName(mountPoint).constData())})
        return IPodDatabaseError::unsupportedDatabase();

    const int generation = info->ipod_generation;
    switch (generation) {
    case ITDB_IPOD_GENERATION_CLASSIC_1:
    case ITDB_IPOD_GENERATION_CLASSIC_2:
    case ITDB_IPOD_GENERATION_CLASSIC_3: {
        // The description libgpod read: the volume's, or in a shadow the one read over USB. Its
        // rule for a database libgpod does not write is the nano's.
        const gchar* mount = itdb_get_mountpoint(database);
        const DeviceDescription::File file =
            DeviceDescription::read(mount ? QFile::decodeName(mount) : mountPoint);
        const auto description =
            file.text ? PropertyList::parseDictionary(*file.text) : std::nullopt;
        if (description && description->boolean("SQLiteDB") == true)
            return IPodDatabaseError::unsupportedDatabase();
        QList<ScratchFolder::Refusal> refusals;
        switch (lorvanel_itdb_check_hash58(database, &refusals)) {
        case Hash58Check::verified:
            return std::nullopt;
        case Hash58Check::nowhereToWrite:
            return IPodDatabaseError::noScratchSpace(refusals);
        case Hash58Check::unverified:
            break;
        }
        return IPodDatabaseError::unsupportedDatabase();
    }
    case ITDB_IPOD_GENERATION_SHUFFLE_1:
    case ITDB_IPOD_GENERATION_SHUFFLE_2:
    case ITDB_IPOD_GENERATION_SHUFFLE_3:
    case ITDB_IPOD_GENERATION_SHUFFLE_4:
    case ITDB_IPOD_GENERATION_NANO_1:
    case ITDB_IPOD_GENERATION_NANO_2:
        return sysInfoExtendedRules(database, mountPoint, generation, false);
    case ITDB_IPOD_GENERATION_NANO_3:
    case ITDB_IPOD_GENERATION_NANO_4:
        return sysInfoExtendedRules(database, mountPoint, generation, true);
    default:
        return IPodDatabaseError::unsupportedDatabase();
    }
}

} // namespace

std::optional<IPodDatabaseError> IPodDatabase::detectWriteBlocker(Itdb_iTunesDB* database,
                                                                  const QString& mountPoint) {
    if (auto blocker = deviceBlocker(database, mountPoint))
        return blocker;
    return artworkFormatsBlocker(database);
}
