#include "Nano5Volume.h"

#include "library/Nano5Container.h"
#include "library/Nano5Database.h"
#include "library/Nano5Locations.h"

#include <cstring>
#include <stdexcept>

namespace fs = std::filesystem;
using Nano5Playlist::readUInt32LE;
using Nano5Playlist::writeUInt32LE;

namespace Nano5Volume {

namespace {

void check(bool condition, const char* what) {
    if (!condition)
        throw std::runtime_error(std::string("fixture: ") + what);
}

// Walks the children of a list record (mhlt / mhlp) inside a dataset.
template <typename Fn> void forEachChild(QByteArray& set, Fn&& fn) {
    const qsizetype list = readUInt32LE(set, 4);
    const qsizetype first = list + readUInt32LE(set, list + 4);
    const std::uint32_t count = readUInt32LE(set, list + 8);
    qsizetype pos = first;
    for (std::uint32_t i = 0; i < count; ++i) {
        fn(pos);
        pos += readUInt32LE(set, pos + 8);
    }
}

QString sqlNumber(std::uint64_t id) {
    return QString::number(Nano5Playlist::sqlPid(id));
}

} // namespace

Nano5Signing::FireWireGUID guid() {
    return *Nano5Signing::fireWireGUID(fireWireGUID);
}

Nano5Signing::DeviceParameters testDevice() {
    Nano5Signing::DeviceParameters p;
    for (int i = 0; i < 16; ++i)
        p.iv[i] = static_cast<std::uint8_t>(0x31 + 5 * i);
    for (int i = 0; i < 12; ++i)
        p.random[i] = static_cast<std::uint8_t>(0xA0 ^ (11 * i));
    return p;
}

bool hasHash58(Signatures kinds) {
    return kinds == Signatures::hash58 || kinds == Signatures::both;
}

bool hasHash72(Signatures kinds) {
    return kinds == Signatures::hash72 || kinds == Signatures::both;
}

std::vector<std::pair<std::uint32_t, QByteArray>> datasets(const QByteArray& payload) {
    std::vector<std::pair<std::uint32_t, QByteArray>> sets;
    for (qsizetype off = 0; off < payload.size();) {
        check(payload.mid(off, 4) == "mhsd", "dataset tag");
        const qsizetype total = readUInt32LE(payload, off + 8);
        sets.emplace_back(readUInt32LE(payload, off + 12), payload.mid(off, total));
        off += total;
    }
    return sets;
}

QByteArray joinDatasets(const std::vector<std::pair<std::uint32_t, QByteArray>>& sets) {
    QByteArray out;
    for (const auto& set : sets)
        out += set.second;
    return out;
}

QByteArray deviceSigned(QByteArray cdb, Signatures kinds) {
    using namespace Nano5Signing;
    std::memset(cdb.data() + hash58Offset, 0, hash58Length);
    std::memset(cdb.data() + hash72Offset, 0, hash72Length);
    if (hasHash72(kinds)) {
        const QByteArray signature = hash72(testDevice(), *cdbDigest(cdb));
        std::memcpy(cdb.data() + hash72Offset, signature.constData(), hash72Length);
    }
    if (hasHash58(kinds))
        std::memcpy(cdb.data() + hash58Offset, hash58(guid(), cdb)->constData(), hash58Length);
    return cdb;
}

QByteArray deviceSignedChecksum(QByteArray checksumFile) {
    check(Nano5Signing::signLocations(testDevice(), checksumFile), "checksum file");
    return checksumFile;
}

QByteArray signedCDB(const QByteArray& cdb, const QByteArray& payload, std::uint32_t datasetCount,
                     Signatures kinds) {
    QByteArray header = cdb.first(Nano5Playlist::cdbHeaderLength);
    writeUInt32LE(header, 20, datasetCount);
    return deviceSigned(Nano5Playlist::rebuildCDB(header, payload), kinds);
}

Volume::Volume(const Options& options)
    : folder_() {
    build(options);
}

Volume::Volume(const QString& base, const Options& options)
    : folder_(base) {
    build(options);
}

void Volume::build(const Options& options) {
    mount = folder_.path() / "NANO";
    library = Nano5Fixture::makeLibrary(options.trackCount);

    // Track ids away from 52, the playlists only where the nano keeps them.
    const std::uint32_t shift = options.firstTrackID - 52;
    auto sets = datasets(Nano5Playlist::inflatePayload(QByteArrayView(library.cdb).sliced(244)));
    std::vector<std::pair<std::uint32_t, QByteArray>> kept;
    for (auto& [type, set] : sets) {
        if (type == 1) {
            // libgpod writes 584-byte track headers; the nano's are 624 bytes long.
            std::vector<qsizetype> starts;
            forEachChild(set, [&](qsizetype mhit) {
                writeUInt32LE(set, mhit + 16, readUInt32LE(set, mhit + 16) + shift);
                writeUInt32LE(set, mhit + 24, options.fileType);
                starts.push_back(mhit);
            });
            for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
                QByteArray widening(40, '\0');
                widening[0] = 0x5A; // something to see carried over from the template
                set.insert(*it + 584, widening);
                writeUInt32LE(set, *it + 4, 624);
                writeUInt32LE(set, *it + 8, readUInt32LE(set, *it + 8) + 40);
            }
            writeUInt32LE(set, 8, static_cast<std::uint32_t>(set.size()));
        } else if (type == 2 || type == 3) {
            forEachChild(set, [&](qsizetype mhyp) {
                const qsizetype end = mhyp + readUInt32LE(set, mhyp + 8);
                for (qsizetype child = mhyp + readUInt32LE(set, mhyp + 4); child < end;
                     child += readUInt32LE(set, child + 8)) {
                    if (set.mid(child, 4) == "mhip")
                        writeUInt32LE(set, child + 24, readUInt32LE(set, child + 24) + shift);
                }
            });
        }
        if (type != 2 || options.keepPlaylistDataset)
            kept.emplace_back(type, set);
    }
    library.cdb = signedCDB(library.cdb, joinDatasets(kept),
                            static_cast<std::uint32_t>(kept.size()), options.signatures);

    using Nano5Fixture::withSQL;
    using Nano5Fixture::writeFile;
    writeFile(itunes() / "iTunesCDB", library.cdb);
    sysInfo = Nano5Fixture::sysInfoExtended(QString::fromLatin1(fireWireGUID));
    writeFile(mount / "iPod_Control/Device/SysInfoExtended", sysInfo);
    fs::create_directories(mount / "iPod_Control/Music/F00");

    QString sql =
        QStringLiteral("INSERT INTO container (pid, distinguished_kind, name, name_order) "
                       "VALUES (%1, 1, 'Nano', 100), (%2, 0, 'Road Trip', 200);")
            .arg(sqlNumber(library.masterID), sqlNumber(library.playlistID));
    QString locations;
    for (size_t i = 0; i < library.trackIDs.size(); ++i) {
        const QString pid = sqlNumber(library.trackIDs[i]);
        sql += QStringLiteral("INSERT INTO item (pid, title, artist, album, title_order, "
                              "physical_order) VALUES (%1, 'Song %2', 'Artist', 'Album', %2, %2);"
                              "INSERT INTO item_to_container VALUES (%1, %3, %2, NULL);")
                   .arg(pid)
                   .arg(i)
                   .arg(sqlNumber(library.masterID));
        const QString file =
            QStringLiteral("%1.mp3").arg(0x1000 + int(i), 8, 16, QChar(u'0')).toUpper();
        locations += QStringLiteral("INSERT INTO location VALUES (%1, 1, 1179208773, 'F00/%2', "
                                    "1297101600, 1, 0, 4000);")
                         .arg(pid, file);
        if (options.songBytes > 0)
            writeFile(mount / "iPod_Control/Music/F00" / file.toStdString(),
                      QByteArray(options.songBytes, char('a' + i % 26)));
    }
    writeFile(itlp() / "Library.itdb",
              withSQL(Nano5Fixture::emptyLibraryDatabase(), sql.toUtf8().constData()));
    writeFile(itlp() / "Dynamic.itdb", Nano5Fixture::emptyDynamicDatabase());
    const QByteArray locationsDB = withSQL(Nano5Fixture::emptyLocationsDatabase(options.basePath),
                                           locations.toUtf8().constData());
    writeFile(itlp() / "Locations.itdb", locationsDB);
    writeFile(itlp() / "Locations.itdb.cbk",
              deviceSignedChecksum(Nano5Playlist::locationsChecksum(locationsDB)));
}

std::map<std::string, QByteArray> treeContents(const fs::path& folder) {
    std::map<std::string, QByteArray> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        if (entry.is_symlink())
            entries[name] = "link:" + QByteArray::fromStdString(fs::read_symlink(entry.path()));
        else if (entry.is_directory())
            entries[name] = "folder";
        else
            entries[name] = Nano5Fixture::readFile(entry.path());
    }
    return entries;
}

std::map<std::string, QByteArray> Volume::contents() const {
    return treeContents(mount);
}

LibgpodNanoVolume::LibgpodNanoVolume(const char* guid, const Nano5Signing::DeviceParameters& device,
                                     int trackCount)
    : mount(folder_.path()) {
    using Nano5Fixture::writeFile;
    writeFile(itunes() / "iTunesCDB", Nano5Fixture::makeLibrary(trackCount).cdb);
    sysInfo = Nano5Fixture::sysInfoExtended(QString::fromLatin1(guid));
    writeFile(mount / "iPod_Control/Device/SysInfoExtended", sysInfo);
    QByteArray hashInfo("HASHv0");
    hashInfo += QByteArray::fromHex(guid);
    hashInfo += QByteArray(reinterpret_cast<const char*>(device.random.data()), 12);
    hashInfo += QByteArray(reinterpret_cast<const char*>(device.iv.data()), 16);
    check(hashInfo.size() == 54, "HashInfo needs a 40-digit GUID");
    writeFile(mount / "iPod_Control/Device/HashInfo", hashInfo);
    fs::create_directories(mount / "iPod_Control/Music/F00");

    GLibHandles::ErrorSlot error;
    GLibHandles::DatabasePtr db(itdb_parse(mount.c_str(), error.out()));
    check(db != nullptr, "libgpod cannot parse the library");
    GLibHandles::ErrorSlot writeError;
    const bool written = itdb_write(db.get(), writeError.out());
    check(written, "libgpod cannot write the library");
}

GLibHandles::DatabasePtr Volume::parse() const {
    GLibHandles::ErrorSlot error;
    GLibHandles::DatabasePtr db(itdb_parse(mount.c_str(), error.out()));
    if (error)
        return nullptr;
    return db;
}

} // namespace Nano5Volume
