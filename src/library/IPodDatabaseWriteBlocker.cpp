// Whether an opened database may be edited.

#include "library/IPodDatabase.h"

#include "library/ArtworkDBImages.h"
#include "library/ArtworkFormats.h"
#include "library/DeviceDescription.h"
#include "library/GpodExtensions.h"
#include "library/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

// The ArtworkDB at a mount point as its records lie; none when there is none or it cannot be
// read whole (libgpod's save then writes what its own reading kept, as before).
std::optional<ArtworkDBImages::Layout> storedCovers(const gchar* mount) {
    GLibHandles::CharPtr file{itdb_get_artworkdb_path(mount)};
    if (!file)
        return std::nullopt;
    QFile database(QFile::decodeName(file.get()));
    if (!QFileInfo(database).isFile() || database.size() > ArtworkDBImages::maxDatabaseBytes ||
        !database.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = database.readAll();
    if (database.error() != QFileDevice::NoError)
        return std::nullopt;
    return ArtworkDBImages::layout(bytes);
}

// The cover formats of the description libgpod read, the one in the Device folder at its own
// mount point: the device's file, or in a shadow the description read from the device.
std::optional<IPodDatabaseError> artworkFormatsBlocker(Itdb_iTunesDB* database) {
    const gchar* mount = itdb_get_mountpoint(database);
    const DeviceDescription::File file =
        mount ? DeviceDescription::read(QFile::decodeName(mount)) : DeviceDescription::File();
    if (file.path.isEmpty())
        return std::nullopt;
    const std::optional<QString> named =
        lorvanel_itdb_real_mountpoint(database)
            ? std::nullopt
            : std::optional(QDir(QFile::decodeName(mount)).relativeFilePath(file.path));
    if (!file.text)
        return IPodDatabaseError::unreadableDeviceDescription(named);
    // Plain, so these are the numbers libgpod's writer reads.
    const auto description = PropertyList::parseDictionary(*file.text);
    if (!description)
        return IPodDatabaseError::unsupportedDatabase();
    if (!ArtworkFormats::withinBounds(*description))
        return IPodDatabaseError::artworkFormatsOutOfBounds(named);
    // Without formats libgpod leaves the ArtworkDB as it is; with formats, it keeps of each
    // stored cover only the thumbnails in them.
    const QSet<quint32> formats = ArtworkFormats::coverFormats(*description);
    if (formats.isEmpty() || !database->device || !itdb_device_supports_artwork(database->device))
        return std::nullopt;
    const std::optional<ArtworkDBImages::Layout> stored = storedCovers(mount);
    if (!stored || ArtworkFormats::keepsStoredCovers(formats, *stored))
        return std::nullopt;
    return IPodDatabaseError::storedCoverFormatsUnlisted(named);
}

} // namespace

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
    case ITDB_IPOD_GENERATION_CLASSIC_3:
        switch (lorvanel_itdb_check_hash58(database)) {
        case Hash58Check::verified:
            return std::nullopt;
        case Hash58Check::nowhereToWrite:
            return IPodDatabaseError::noScratchSpace();
        case Hash58Check::unverified:
            break;
        }
        return IPodDatabaseError::unsupportedDatabase();
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
