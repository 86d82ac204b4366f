#include "library/GpodExtensions.h"

#include "library/GLibHandles.h"
#include "library/IPodDatabase.h"
#include "platform/ScratchFolder.h"

#include <QByteArray>
#include <QFile>
#include <QMutex>
#include <QSet>
#include <QString>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What a private folder of ours must have room for beyond a given description: a shadow's
// links, or the dry run's empty database (about 5 KB written, its temporary copy included).
constexpr qint64 scratchRoom = qint64(64) << 10;

bool writeFile(const fs::path& path, const QByteArray& bytes) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size() && file.flush();
}

bool sameNameIgnoringCase(const std::string& a, const char* b) {
    return QString::fromStdString(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

// The shadow mount point of one session.
struct ShadowMount {
    ShadowMount(const QByteArray& mp, qint64 descriptionBytes)
        : realMountPoint(mp)
        , folder(QStringLiteral("lorvanel-ipod"), scratchRoom + descriptionBytes) {}
    QByteArray realMountPoint;
    ScratchFolder folder;
};

void destroyShadow(gpointer data) {
    delete static_cast<ShadowMount*>(data);
}

ShadowMount* shadowOf(Itdb_iTunesDB* itdb) {
    return itdb && itdb->userdata_destroy == &destroyShadow
               ? static_cast<ShadowMount*>(itdb->userdata)
               : nullptr;
}

// What a shadow holds in place of the device's own files.
struct ShadowLayout {
    // Written under this name in place of the device's SysInfo and SysInfoExtended, when set.
    const char* descriptionName = nullptr;
    QByteArray description;
    LeftOutFiles leftOut;
    // Nothing replaced or left out: only links, and a folder the volume lacks stays missing.
    bool mirrors() const { return !descriptionName && !leftOut.any(); }
};

// Mirrors mp's iPod_Control into a fresh shadow: links for every entry but the Device and
// Artwork folders when the layout replaces or leaves out files of theirs; those are real folders
// holding links to the device's other files (and the description given). On failure, failure
// names it when errno does not.
std::unique_ptr<ShadowMount> makeShadow(const QByteArray& mp, const ShadowLayout& layout,
                                        const char** failure = nullptr) {
    auto shadow = std::make_unique<ShadowMount>(mp, layout.description.size());
    if (!shadow->folder.isValid()) {
        if (failure)
            *failure = "no temporary, runtime or cache folder had room for it";
        return nullptr;
    }

    const fs::path realRoot(mp.toStdString());
    std::string controlName = "iPod_Control";
    if (GLibHandles::CharPtr control{itdb_get_control_dir(mp.constData())})
        controlName = fs::path(control.get()).filename().string();
    const fs::path realControl = realRoot / controlName;
    const fs::path shadowControl = shadow->folder.path() / controlName;

    std::error_code error;
    fs::create_directories(shadowControl, error);
    if (error)
        return nullptr;

    const auto linkChildren = [&](const fs::path& from, const fs::path& to,
                                  const std::vector<const char*>& skipped) -> bool {
        std::error_code listError;
        fs::directory_iterator it(from, listError);
        if (listError)
            return true; // nothing to mirror
        for (const fs::directory_entry& entry : it) {
            const std::string name = entry.path().filename().string();
            bool skip = false;
            for (const char* skippedName : skipped)
                skip = skip || sameNameIgnoringCase(name, skippedName);
            if (skip)
                continue;
            std::error_code linkError;
            fs::create_symlink(entry.path(), to / name, linkError);
            if (linkError)
                return false;
        }
        return true;
    };
    if (layout.mirrors())
        return linkChildren(realControl, shadowControl, {}) ? std::move(shadow) : nullptr;

    const LeftOutFiles& left = layout.leftOut;
    std::vector<const char*> deviceSkipped;
    if (layout.descriptionName || left.sysInfo)
        deviceSkipped.push_back("SysInfo");
    if (layout.descriptionName || left.description)
        deviceSkipped.push_back("SysInfoExtended");
    // Folders of the shadow's own, holding links to what is not left out of the real ones.
    std::vector<std::pair<const char*, std::vector<const char*>>> ownFolders;
    if (!deviceSkipped.empty())
        ownFolders.push_back({"Device", deviceSkipped});
    if (left.artworkDB)
        ownFolders.push_back({"Artwork", {"ArtworkDB"}});
    std::vector<const char*> linkedHere;
    for (const auto& [name, skipped] : ownFolders) {
        linkedHere.push_back(name);
        fs::create_directory(shadowControl / name, error);
        if (error || !linkChildren(realControl / name, shadowControl / name, skipped))
            return nullptr;
    }
    if (!linkChildren(realControl, shadowControl, linkedHere))
        return nullptr;

    // Folders libgpod may create on a later save point at the real place even while missing,
    // so that such a save fails loudly instead of landing in the shadow.
    for (const char* name : {"iTunes", "Music", "Artwork"}) {
        bool present = false;
        std::error_code listError;
        for (const fs::directory_entry& entry : fs::directory_iterator(shadowControl, listError))
            present = present || sameNameIgnoringCase(entry.path().filename().string(), name);
        if (!present) {
            std::error_code linkError;
            fs::create_symlink(realControl / name, shadowControl / name, linkError);
        }
    }

    if (layout.descriptionName &&
        !writeFile(shadowControl / "Device" / layout.descriptionName, layout.description))
        return nullptr;
    return shadow;
}

void setShadowError(GError** error, const char* what) {
    g_set_error(error, g_quark_from_static_string("lorvanel-itdb"), 1,
                "Could not prepare a private folder for the iPod description (%s).", what);
}

// libgpod names the files it could not read by the path it was given; the user knows the iPod's
// own path, not the private shadow.
void nameRealMountPoint(GError** error, const std::string& shadowPath, const gchar* mp) {
    if (!error || !*error || !(*error)->message)
        return;
    const QByteArray message = QByteArray((*error)->message)
                                   .replace(QByteArray::fromStdString(shadowPath), QByteArray(mp));
    g_free((*error)->message);
    (*error)->message = g_strdup(message.constData());
}

// The parse of mp through a shadow (see makeShadow); the shadow is kept in the database.
Itdb_iTunesDB* parseThroughShadow(const gchar* mp, const ShadowLayout& layout, GError** error) {
    if (!mp) {
        setShadowError(error, "no mount point");
        return nullptr;
    }
    const char* failure = nullptr;
    std::unique_ptr<ShadowMount> shadow = makeShadow(QByteArray(mp), layout, &failure);
    if (!shadow) {
        setShadowError(error, failure ? failure : std::strerror(errno));
        return nullptr;
    }
    const std::string shadowPath = shadow->folder.path().string();
    Itdb_iTunesDB* itdb = itdb_parse(shadowPath.c_str(), error);
    if (!itdb) {
        nameRealMountPoint(error, shadowPath, mp);
        return nullptr;
    }
    itdb->userdata = shadow.release();
    itdb->userdata_destroy = &destroyShadow;
    return itdb;
}

ShadowLayout modelLayout(const gchar* model_number, const LeftOutFiles& leftOut) {
    return {"SysInfo",
            QByteArrayLiteral("ModelNumStr: ") + QByteArray(model_number ? model_number : "") +
                '\n',
            leftOut};
}

// Writes an empty database for the model with the FireWire ID below root and looks for a
// hash58-signed header.
bool writesHash58(const fs::path& root, const QByteArray& modelNumber,
                  Itdb_IpodGeneration generation, const QByteArray& guid) {
    std::error_code error;
    fs::create_directories(root / "iPod_Control" / "Device", error);
    fs::create_directories(root / "iPod_Control" / "iTunes", error);
    if (error)
        return false;
    const QByteArray sysInfo = QByteArrayLiteral("ModelNumStr: M") + modelNumber +
                               QByteArrayLiteral("\nFirewireGuid: ") + guid + '\n';
    if (!writeFile(root / "iPod_Control" / "Device" / "SysInfo", sysInfo))
        return false;

    GLibHandles::DatabasePtr probe{itdb_new()};
    if (!probe)
        return false;
    itdb_set_mountpoint(probe.get(), root.string().c_str());
    const Itdb_IpodInfo* probeInfo = itdb_device_get_ipod_info(probe->device);
    if (!probeInfo || probeInfo->ipod_generation != generation)
        return false;
    Itdb_Playlist* master = itdb_playlist_new("iPod", FALSE);
    if (!master)
        return false;
    itdb_playlist_set_mpl(master);
    itdb_playlist_add(probe.get(), master, -1);
    GLibHandles::ErrorSlot writeError;
    if (!itdb_write(probe.get(), writeError.out()) || writeError)
        return false;

    QFile written(QString::fromStdString((root / "iPod_Control" / "iTunes" / "iTunesDB").string()));
    if (!written.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = written.read(0x58 + 20);
    if (header.size() != 0x58 + 20 || !header.startsWith("mhbd"))
        return false;
    const auto byteAt = [&](int i) { return static_cast<unsigned char>(header[i]); };
    const unsigned scheme = byteAt(48) | (byteAt(49) << 8);
    bool hashed = false;
    for (int i = 0x58; i < 0x58 + 20; ++i)
        hashed = hashed || byteAt(i) != 0;
    return scheme == 1 && hashed;
}

// The dry run depends on nothing but the model and the FireWire ID, and its temporary write
// costs more than the rest of opening a database. A success is kept for the process, so
// only the first session with a device pays for it.
Hash58Check dryRunSignsHash58(const QByteArray& modelNumber, Itdb_IpodGeneration generation,
                              const QByteArray& guid, QList<ScratchFolder::Refusal>* refusals) {
    static QMutex mutex;
    static QSet<QByteArray> signing;
    const QByteArray key = modelNumber + '/' + QByteArray::number(int(generation)) + '/' + guid;
    {
        const QMutexLocker lock(&mutex);
        if (signing.contains(key))
            return Hash58Check::verified;
    }
    const ScratchFolder dryRun(QStringLiteral("lorvanel-ipod"), scratchRoom);
    if (!dryRun.isValid()) {
        if (refusals)
            *refusals = dryRun.refusals();
        return Hash58Check::nowhereToWrite;
    }
    if (!writesHash58(dryRun.path(), modelNumber, generation, guid))
        return Hash58Check::unverified;
    const QMutexLocker lock(&mutex);
    signing.insert(key);
    return Hash58Check::verified;
}

// The database reads and writes through the shadow from now on; the shadow goes with it.
void attachShadow(Itdb_iTunesDB* itdb, std::unique_ptr<ShadowMount> shadow) {
    itdb_set_mountpoint(itdb, shadow->folder.path().string().c_str());
    if (itdb->userdata_destroy)
        itdb->userdata_destroy(itdb->userdata);
    itdb->userdata = shadow.release();
    itdb->userdata_destroy = &destroyShadow;
}

} // namespace

Itdb_iTunesDB* itdb_parse_with_model(const gchar* mp, const gchar* model_number, GError** error) {
    return lorvanel_itdb_parse_with_model(mp, model_number, {}, error);
}

Itdb_iTunesDB* itdb_parse_with_sysinfo(const gchar* mp, const gchar* sysinfo_extended_xml,
                                       GError** error) {
    return lorvanel_itdb_parse_with_sysinfo(mp, sysinfo_extended_xml, {}, error);
}

Itdb_iTunesDB* lorvanel_itdb_parse_with_model(const gchar* mp, const gchar* model_number,
                                              const LeftOutFiles& left_out, GError** error) {
    return parseThroughShadow(mp, modelLayout(model_number, left_out), error);
}

Itdb_iTunesDB* lorvanel_itdb_parse_with_sysinfo(const gchar* mp, const gchar* sysinfo_extended_xml,
                                                const LeftOutFiles& left_out, GError** error) {
    return parseThroughShadow(
        mp,
        {"SysInfoExtended", QByteArray(sysinfo_extended_xml ? sysinfo_extended_xml : ""), left_out},
        error);
}

Itdb_iTunesDB* lorvanel_itdb_parse_without_writing(const gchar* mp, GError** error) {
    const GLibHandles::CharPtr artwork{mp ? itdb_get_artwork_dir(mp) : nullptr};
    if (!mp || artwork)
        return itdb_parse(mp, error);
    Itdb_iTunesDB* itdb = parseThroughShadow(mp, {}, error);
    if (!itdb)
        return nullptr;
    // Back on the volume itself (this reads its device description and writes nothing), so a
    // later save makes the Artwork folder where it belongs; the shadow goes.
    itdb_set_mountpoint(itdb, mp);
    if (GLibHandles::CharPtr file{itdb_get_itunesdb_path(mp)}) {
        g_free(itdb->filename);
        itdb->filename = file.release();
    }
    itdb->userdata_destroy(itdb->userdata);
    itdb->userdata = nullptr;
    itdb->userdata_destroy = nullptr;
    return itdb;
}

Itdb_iTunesDB* lorvanel_itdb_parse_leaving_out(const gchar* mp, const LeftOutFiles& left_out,
                                               GError** error) {
    return parseThroughShadow(mp, {nullptr, {}, left_out}, error);
}

gboolean lorvanel_itdb_restore_artwork_folder(Itdb_iTunesDB* itdb) {
    ShadowMount* shadow = shadowOf(itdb);
    if (!shadow)
        return FALSE;
    const GLibHandles::CharPtr real{itdb_get_artwork_dir(shadow->realMountPoint.constData())};
    const gchar* mount = itdb_get_mountpoint(itdb);
    const GLibHandles::CharPtr own{mount ? itdb_get_artwork_dir(mount) : nullptr};
    if (!real || !own)
        return FALSE;
    const fs::path folder(own.get());
    std::error_code error;
    // The shadow's own folder holds only links of ours; removing them leaves their targets.
    if (fs::is_symlink(folder, error) || !fs::is_directory(folder, error))
        return FALSE;
    fs::remove_all(folder, error);
    if (error)
        return FALSE;
    fs::create_symlink(fs::path(real.get()), folder, error);
    return error ? FALSE : TRUE;
}

gboolean lorvanel_itdb_set_mountpoint_leaving_out(Itdb_iTunesDB* itdb, const gchar* mp,
                                                  const LeftOutFiles& left_out) {
    if (!itdb || !mp)
        return FALSE;
    std::unique_ptr<ShadowMount> shadow = makeShadow(QByteArray(mp), {nullptr, {}, left_out});
    if (!shadow)
        return FALSE;
    attachShadow(itdb, std::move(shadow));
    return TRUE;
}

Itdb_Device* lorvanel_itdb_device_leaving_out(const gchar* mp, const LeftOutFiles& left_out) {
    if (!mp)
        return nullptr;
    const std::unique_ptr<ShadowMount> shadow = makeShadow(QByteArray(mp), {nullptr, {}, left_out});
    if (!shadow)
        return nullptr;
    Itdb_Device* device = itdb_device_new();
    if (device)
        itdb_device_set_mountpoint(device, shadow->folder.path().string().c_str());
    return device;
}

gboolean itdb_device_set_model_for_session(Itdb_iTunesDB* itdb, const gchar* model_number) {
    if (!itdb || !model_number)
        return FALSE;
    const gchar* real = lorvanel_itdb_real_mountpoint(itdb);
    const gchar* current = real ? real : itdb_get_mountpoint(itdb);
    if (!current)
        return FALSE;
    std::unique_ptr<ShadowMount> shadow =
        makeShadow(QByteArray(current), modelLayout(model_number, {}));
    if (!shadow)
        return FALSE;
    attachShadow(itdb, std::move(shadow));
    return TRUE;
}

const gchar* lorvanel_itdb_real_mountpoint(Itdb_iTunesDB* itdb) {
    ShadowMount* shadow = shadowOf(itdb);
    return shadow ? shadow->realMountPoint.constData() : nullptr;
}

Hash58Check lorvanel_itdb_check_hash58(Itdb_iTunesDB* itdb,
                                       QList<ScratchFolder::Refusal>* refusals) {
    if (!itdb || !itdb->device)
        return Hash58Check::unverified;
    const Itdb_IpodInfo* info = itdb_device_get_ipod_info(itdb->device);
    if (!info || !info->model_number)
        return Hash58Check::unverified;
    const Itdb_IpodGeneration generation = info->ipod_generation;
    if (generation != ITDB_IPOD_GENERATION_CLASSIC_1 &&
        generation != ITDB_IPOD_GENERATION_CLASSIC_2 &&
        generation != ITDB_IPOD_GENERATION_CLASSIC_3)
        return Hash58Check::unverified;
    GLibHandles::CharPtr guid{itdb_device_get_sysinfo(itdb->device, "FirewireGuid")};
    if (!guid || !isValidFireWireGUID(QString::fromUtf8(guid.get())))
        return Hash58Check::unverified;
    return dryRunSignsHash58(QByteArray(info->model_number), generation, QByteArray(guid.get()),
                             refusals);
}

gboolean itdb_verify_hash58(Itdb_iTunesDB* itdb) {
    return lorvanel_itdb_check_hash58(itdb) == Hash58Check::verified ? TRUE : FALSE;
}
