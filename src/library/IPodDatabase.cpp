#include "library/IPodDatabase.h"

#include "library/DatabaseFiles.h"
#include "library/DeviceDescription.h"
#include "library/GpodExtensions.h"
#include "library/ITunesDBStructure.h"
#include "library/Nano5Container.h"
#include "library/Nano5Error.h"
#include "library/Nano5Playlist.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <stdexcept>

#include <sys/stat.h>

namespace {

QString resolvedMountPoint(const QString& mountPoint) {
    const QString canonical = QFileInfo(mountPoint).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(mountPoint).absolutePath()) : canonical;
}

QByteArray readUpTo(const QString& path, qint64 count) {
    if (path.isEmpty())
        return {};
    return DatabaseFiles::read(path, count).value_or(QByteArray());
}

QString libgpodPath(gchar* (*lookup)(const gchar*), const QString& mountPoint) {
    GLibHandles::CharPtr path{lookup(QFile::encodeName(mountPoint).constData())};
    return path ? QFile::decodeName(path.get()) : QString();
}

// A regular file, not reached through a link.
bool isPlainFile(const QString& path) {
    struct stat status {};
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &status) == 0 &&
           S_ISREG(status.st_mode);
}

// Lists a folder's entries, including hidden ones; none when it cannot be listed.
std::optional<QFileInfoList> listFolder(const QString& path) {
    QDir dir(path);
    if (!dir.exists() || !dir.isReadable())
        return std::nullopt;
    return dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The largest database file the structure walk reads; a real one is far smaller.
constexpr qint64 maximumDatabaseSize = qint64(512) << 20;

// libgpod trusts the lengths in the file it parses (an iTunesCDB in place of the iTunesDB when
// there is one): a file whose records do not hold together is refused before libgpod reads it.
// A file that cannot be read is left for libgpod to report; anything but a regular file is
// refused before (DatabaseFiles).
void checkDatabaseFiles(const QString& mountPoint) {
    const QString cdbPath = libgpodPath(itdb_get_itunescdb_path, mountPoint);
    if (!cdbPath.isEmpty()) {
        if (QFileInfo(cdbPath).size() >
            Nano5Playlist::maximumPayloadLength + Nano5Playlist::cdbHeaderLength)
            throw DatabaseFiles::damaged(cdbPath);
        try {
            if (const auto cdb = DatabaseFiles::read(cdbPath))
                Nano5Playlist::completePayload(*cdb);
        } catch (const Nano5Error&) {
            throw DatabaseFiles::damaged(cdbPath);
        }
        return;
    }
    const QString dbPath = libgpodPath(itdb_get_itunesdb_path, mountPoint);
    if (dbPath.isEmpty())
        return;
    // Walked where it lies: the application opens only files the helper process has walked
    // already (see DatabasePreflight), so a volume pulled mid-walk costs no more than the helper.
    QFile file;
    if (!DatabaseFiles::open(file, dbPath))
        return;
    if (file.size() > maximumDatabaseSize)
        throw DatabaseFiles::damaged(dbPath);
    const uchar* mapped = file.size() > 0 ? file.map(0, file.size()) : nullptr;
    const auto db = mapped ? std::optional<QByteArray>(QByteArray::fromRawData(
                                 reinterpret_cast<const char*>(mapped), file.size()))
                           : DatabaseFiles::read(dbPath);
    if (db && !ITunesDBStructure::isSound(*db))
        throw DatabaseFiles::damaged(dbPath);
}

// Whether the library is read through this folder: iPod_Control or its iTunes folder.
bool holdsTheLibrary(const QString& folder) {
    const QStringList parts = folder.split(u'/');
    return parts.size() == 1 || (parts.size() == 2 && parts[1].compare(QLatin1String("iTunes"),
                                                                       Qt::CaseInsensitive) == 0);
}

// Why no library could be read through a folder of the volume that is a link (to nothing, most
// likely): the link is named, not the file libgpod missed behind it.
QString linkedFolderReadFailure(const QString& folder) {
    return localizedString(
        LZ("%1 on the iPod is a symbolic link, not a folder, and no library could be read through "
           "it. Move the folder the link points to onto the iPod in place of the link, under the "
           "same name, then reconnect the iPod."),
        AppLanguages::stored(), folder);
}

} // namespace

std::unique_ptr<IPodDatabase> IPodDatabase::open(const QString& mountPoint,
                                                 const std::optional<QByteArray>& sysInfoExtended,
                                                 const ProductIDProvider& productID,
                                                 Checkpoint checkpoint, bool recordsChecked,
                                                 SessionAccess access) {
    return std::make_unique<IPodDatabase>(mountPoint, sysInfoExtended, productID,
                                          std::move(checkpoint), recordsChecked, access);
}

IPodDatabase::IPodDatabase(const QString& mountPoint,
                           const std::optional<QByteArray>& sysInfoExtended,
                           const ProductIDProvider& productID, Checkpoint checkpoint,
                           bool recordsChecked, SessionAccess access)
    : mountPoint_(resolvedMountPoint(mountPoint))
    , checkpoint_(std::move(checkpoint)) {
    if (access == SessionAccess::writing)
        writeLock_.emplace(mountPoint_);
    const QByteArray path = QFile::encodeName(mountPoint_);
    productID_ = productID ? productID() : std::nullopt;
    const std::optional<int> pid = productID_;

    // Nothing on the volume is read before: libgpod would wait forever on a FIFO.
    DatabaseFiles::refuseSpecialFiles(mountPoint_);

    std::optional<QByteArray> firstSnapshot;
    if (pid == Nano5Playlist::productID)
        firstSnapshot = Nano5Playlist::databaseSnapshot(mountPoint_);

    // libgpod reads a device description only once it passed our own strict reading (it crashes
    // on some it cannot read), and no file it would wait on or abort on (DatabaseFiles): those
    // are left out of what libgpod sees, and the session is read-only naming the first. A
    // classic's description read over USB stands in for the volume's.
    std::optional<IPodDatabaseError> refusal;
    std::optional<QByteArray> overUSB;
    if (sysInfoExtended && pid == IPodModel::classicProductID) {
        overUSB = DeviceDescription::plainText(*sysInfoExtended);
        if (!overUSB)
            refusal = IPodDatabaseError::unreadableDeviceDescription(std::nullopt);
    }
    DatabaseFiles::Unread unread = DatabaseFiles::unreadFiles(mountPoint_, overUSB.has_value());
    if (refusal)
        unread.files.description = true;
    else
        refusal = std::move(unread.reason);
    const LeftOutFiles& leftOut = unread.files;

    if (!recordsChecked)
        checkDatabaseFiles(mountPoint_);

    GLibHandles::ErrorSlot error;
    Itdb_iTunesDB* parsed = nullptr;
    bool freshDatabase = false;
    if (pid == IPodModel::nano2ProductID && passesITunesDBProbe(mountPoint_)) {
        parsed = lorvanel_itdb_parse_with_model(path.constData(), "MA477", leftOut, error.out());
        modelForced_ = true;
    } else if (overUSB) {
        parsed = lorvanel_itdb_parse_with_sysinfo(path.constData(), overUSB->constData(), leftOut,
                                                  error.out());
    } else if (pid == IPodModel::shuffle2ProductID && passesShuffle2SDProbe(mountPoint_)) {
        parsed = lorvanel_itdb_parse_with_model(path.constData(), "MA546", leftOut, error.out());
        modelForced_ = true;
    } else if (pid == IPodModel::shuffle3ProductID && passesShuffle3SDProbe(mountPoint_)) {
        parsed = lorvanel_itdb_parse_with_model(path.constData(), "MC306", leftOut, error.out());
        modelForced_ = true;
    } else if (pid == IPodModel::shuffle3ProductID && passesFreshVolumeTest(mountPoint_)) {
        freshDatabase = true;
    } else if (leftOut.any()) {
        parsed = lorvanel_itdb_parse_leaving_out(path.constData(), leftOut, error.out());
    } else {
        parsed = lorvanel_itdb_parse_without_writing(path.constData(), error.out());
    }
    const bool handedBack = parsed != nullptr;
    database_ = GLibHandles::completeParse(parsed, error);
    if (handedBack && !database_) {
        // Handed back with an error: a file libgpod could not read whole.
        const QString cdbPath = libgpodPath(itdb_get_itunescdb_path, mountPoint_);
        throw DatabaseFiles::damaged(
            !cdbPath.isEmpty() ? cdbPath : libgpodPath(itdb_get_itunesdb_path, mountPoint_));
    }

    if (freshDatabase) {
        database_.reset(itdb_new());
        bool ready = false;
        if (database_ && leftOut.any()) {
            if (!lorvanel_itdb_set_mountpoint_leaving_out(database_.get(), path.constData(),
                                                          leftOut))
                database_.reset();
        } else if (database_) {
            itdb_set_mountpoint(database_.get(), path.constData());
        }
        if (database_) {
            const Itdb_IpodInfo* info = itdb_device_get_ipod_info(database_->device);
            if (info && info->ipod_model == ITDB_IPOD_MODEL_INVALID) {
                itdb_device_set_model_for_session(database_.get(), "MC306");
                modelForced_ = true;
                info = itdb_device_get_ipod_info(database_->device);
            }
            if (info && info->ipod_generation == ITDB_IPOD_GENERATION_SHUFFLE_3) {
                const QByteArray name = QFileInfo(mountPoint_).fileName().toUtf8();
                if (Itdb_Playlist* master = itdb_playlist_new(name.constData(), FALSE)) {
                    itdb_playlist_set_mpl(master);
                    itdb_playlist_add(database_.get(), master, -1);
                    ready = true;
                }
            }
        }
        if (!ready)
            database_.reset();
    }

    if (!database_) {
        if (const std::optional<QString> linked = linkedLibraryFolder(mountPoint_);
            linked && holdsTheLibrary(*linked))
            throw IPodDatabaseError::library(LZ("Read library"), linkedFolderReadFailure(*linked));
        std::optional<QString> detail;
        if (error)
            detail = error.get()->message ? QString::fromUtf8(error.get()->message) : QString();
        throw IPodDatabaseError::library(LZ("Read library"), detail);
    }
    error.clear();

    if (pid) {
        const auto model = IPodModel::fromProductID(*pid, std::nullopt);
        if (model && model->family == IPodModel::Family::nano)
            fallbackModel_ = model;
    }

    const int gen = generation();
    if (pid && isIPodUSBProductID(*pid)) {
        const auto model = IPodModel::fromProductID(*pid, std::nullopt);
        supportsRatings_ = !(model && model->family == IPodModel::Family::shuffle);
    } else if (!database_->device || !itdb_device_get_ipod_info(database_->device)) {
        supportsRatings_ = false;
    } else {
        switch (gen) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 16:
        case 17:
        case 18:
        case 19:
        case 26:
            supportsRatings_ = true;
            break;
        default: {
            const auto model =
                IPodModel::fromGeneration(gen, std::nullopt, std::nullopt, std::nullopt);
            supportsRatings_ = model && model->family == IPodModel::Family::nano;
        }
        }
    }

    if (firstSnapshot) {
        const auto second = Nano5Playlist::databaseSnapshot(mountPoint_);
        if (second && *second == *firstSnapshot)
            nano5SourceCDB_ = std::move(firstSnapshot);
    }

    // Read through, never written through; a nano's own writers go with its library.
    if (const std::optional<QString> linked = linkedLibraryFolder(mountPoint_)) {
        writeBlocker_ = IPodDatabaseError::linkedFolder(*linked);
        nano5SourceCDB_.reset();
        return;
    }
    // A damaged ArtworkDB beside which no cover is stored costs nothing to replace: the save
    // writes a new one in its place, as it would for a missing one.
    if (refusal && leftOut.artworkDB && !leftOut.description && !leftOut.sysInfo &&
        isPlainFile(libgpodPath(itdb_get_artworkdb_path, mountPoint_)) &&
        storesNoCover(mountPoint_) && lorvanel_itdb_restore_artwork_folder(database_.get()))
        refusal.reset();
    if (refusal) {
        writeBlocker_ = std::move(refusal);
        return;
    }
    if (pid) {
        const auto model = IPodModel::fromGeneration(gen, std::nullopt, std::nullopt, std::nullopt);
        const bool libgpodSaysClassic = model && model->family == IPodModel::Family::classic;
        if ((*pid == IPodModel::classicProductID) != libgpodSaysClassic ||
            (*pid == IPodModel::shuffle3ProductID && gen != ITDB_IPOD_GENERATION_SHUFFLE_3)) {
            writeBlocker_ = IPodDatabaseError::unsupportedDatabase();
            return;
        }
    }
    writeBlocker_ = detectWriteBlocker(database_.get(), mountPoint_);
}

IPodDatabase::~IPodDatabase() = default;

void IPodDatabase::checkpoint() const {
    if (!writeLock_)
        throw std::logic_error("a reading session of the iPod’s database may not write");
    if (checkpoint_)
        checkpoint_();
    // A folder the session opened as a folder may have been replaced by a link since.
    refuseLinkedFolders(mountPoint_);
}

int IPodDatabase::generation() const {
    if (!database_ || !database_->device)
        return 0;
    const Itdb_IpodInfo* info = itdb_device_get_ipod_info(database_->device);
    return info ? static_cast<int>(info->ipod_generation) : 0;
}

bool IPodDatabase::passesITunesDBProbe(const QString& mountPoint) {
    const QByteArray header = readUpTo(libgpodPath(itdb_get_itunesdb_path, mountPoint), 50);
    return header.size() == 50 && header.startsWith("mhbd") && header[48] == 0 && header[49] == 0;
}

std::optional<quint32> IPodDatabase::shuffle2SDHeaderCount(QFile& file) {
    const QByteArray header = file.read(18);
    if (header.size() != 18)
        return std::nullopt;
    const auto byte = [&](int i) { return static_cast<unsigned char>(header[i]); };
    if (byte(3) != 0x01 || (byte(4) != 0x06 && byte(4) != 0x08) || byte(5) != 0x00 ||
        byte(6) != 0x00 || byte(7) != 0x00 || byte(8) != 0x12)
        return std::nullopt;
    const quint32 count = (quint32(byte(0)) << 16) | (quint32(byte(1)) << 8) | byte(2);
    if (file.size() != qint64(count) * 558 + 18)
        return std::nullopt;
    return count;
}

bool IPodDatabase::passesShuffle2SDProbe(const QString& mountPoint) {
    if (!passesITunesDBProbe(mountPoint))
        return false;
    const QString path = libgpodPath(itdb_get_itunessd_path, mountPoint);
    if (path.isEmpty())
        return false;
    QFile file;
    return DatabaseFiles::open(file, path) && shuffle2SDHeaderCount(file).has_value();
}

bool IPodDatabase::passesShuffle3SDProbe(const QString& mountPoint) {
    if (!passesITunesDBProbe(mountPoint))
        return false;
    const QByteArray header = readUpTo(libgpodPath(itdb_get_itunessd_path, mountPoint), 64);
    return header.size() == 64 && header.startsWith("bdhs");
}

bool IPodDatabase::passesITunesControlTest(const QString& mountPoint) {
    const auto entries = listFolder(mountPoint + QStringLiteral("/iPod_Control/iTunes"));
    if (!entries || entries->size() != 1)
        return false;
    const QFileInfo& entry = entries->first();
    return entry.fileName().toLower() == QLatin1String("itunescontrol") && entry.isFile() &&
           !entry.isSymLink();
}

bool IPodDatabase::passesFreshVolumeTest(const QString& mountPoint) {
    if (!passesITunesControlTest(mountPoint))
        return false;
    const auto entries = listFolder(mountPoint + QStringLiteral("/iPod_Control/Music"));
    if (!entries)
        return false;
    static const QRegularExpression numbered(QStringLiteral("^F[0-9]{2}$"),
                                             QRegularExpression::CaseInsensitiveOption);
    bool hasF00 = false;
    for (const QFileInfo& entry : *entries) {
        const QString name = entry.fileName();
        hasF00 = hasF00 || name.toLower() == QLatin1String("f00");
        if (!numbered.match(name).hasMatch() || !entry.isDir() || entry.isSymLink())
            return false;
        const auto inside = listFolder(entry.filePath());
        if (!inside || !inside->isEmpty())
            return false;
    }
    return hasF00;
}
