#include "support/IPodVolume.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gpod/itdb.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>

#include <stdexcept>

#include <sys/stat.h>

namespace TestSupport {

namespace {

struct ErrorHolder {
    GError* error = nullptr;
    ~ErrorHolder() {
        if (error)
            g_error_free(error);
    }
    QString message() const {
        return error && error->message ? QString::fromUtf8(error->message) : QString();
    }
};

[[noreturn]] void fail(const QString& what) {
    throw std::runtime_error(what.toStdString());
}

bool isHashedModel(const QString& modelNumber) {
    // Classics, nano 3G/4G and other hash58 models: libgpod refuses to init them without a
    // FireWire ID.
    static const QSet<QString> hashed{
        QStringLiteral("MB029"), QStringLiteral("MB147"), QStringLiteral("MB145"),
        QStringLiteral("MB150"), QStringLiteral("MB562"), QStringLiteral("MB565"),
        QStringLiteral("MC293"), QStringLiteral("MC297"), QStringLiteral("MA978"),
        QStringLiteral("MA980"), QStringLiteral("MA978"), QStringLiteral("MB261"),
        QStringLiteral("MB480"), QStringLiteral("MB598"), QStringLiteral("MB754"),
        QStringLiteral("MB903"),
    };
    return hashed.contains(modelNumber.toUpper());
}

QByteArray placeholderAudio(int index) {
    QByteArray bytes("ID3\x03\x00\x00\x00\x00\x00\x00", 10);
    bytes += QByteArray("placeholder audio #") + QByteArray::number(index);
    return bytes;
}

} // namespace

QString IPodVolume::defaultFirewireGuid() {
    return QStringLiteral("0x000A2700138B0D2E");
}

IPodVolume::IPodVolume()
    : dir_(std::make_unique<QTemporaryDir>()) {
    if (!dir_->isValid())
        fail(QStringLiteral("cannot make a temporary folder"));
}

std::unique_ptr<IPodVolume> IPodVolume::emptyFolder() {
    return std::unique_ptr<IPodVolume>(new IPodVolume());
}

IPodVolume::IPodVolume(const QString& modelNumber)
    : IPodVolume(modelNumber, Options()) {
}

IPodVolume::IPodVolume(const QString& modelNumber, const Options& options)
    : IPodVolume() {
    modelNumber_ = modelNumber;
    QByteArray sysInfo = options.sysInfo;
    const bool hashed = isHashedModel(modelNumber);
    if (sysInfo.isEmpty() && hashed)
        sysInfo = "ModelNumStr: " + modelNumber.toUtf8() +
                  "\nFirewireGuid: " + options.firewireGuid.toUtf8() + "\n";
    if (!sysInfo.isEmpty())
        writeSysInfo(sysInfo);
    if (options.sysInfoExtended)
        writeSysInfoExtended(*options.sysInfoExtended);
    ErrorHolder error;
    const QByteArray mount = QFile::encodeName(mountPoint());
    const QByteArray model = modelNumber.toUtf8();
    const QByteArray name = options.name.toUtf8();
    if (!itdb_init_ipod(mount.constData(), sysInfo.isEmpty() ? model.constData() : nullptr,
                        name.constData(), &error.error))
        fail(QStringLiteral("itdb_init_ipod(%1): %2").arg(modelNumber, error.message()));
}

IPodVolume::~IPodVolume() {
    if (database_)
        itdb_free(database_);
}

QString IPodVolume::mountPoint() const {
    return QFileInfo(dir_->path()).canonicalFilePath();
}

QString IPodVolume::path(const QString& relative) const {
    return mountPoint() + u'/' + relative;
}

void IPodVolume::openDatabase() {
    if (database_)
        return;
    ErrorHolder error;
    database_ = itdb_parse(QFile::encodeName(mountPoint()).constData(), &error.error);
    if (!database_)
        fail(QStringLiteral("itdb_parse: %1").arg(error.message()));
}

int IPodVolume::addTrack(const TrackSpec& spec) {
    openDatabase();
    Itdb_Track* track = itdb_track_new();
    const auto dup = [](const QString& text) {
        return text.isEmpty() ? nullptr : g_strdup(text.toUtf8().constData());
    };
    track->title = dup(spec.title);
    track->artist = dup(spec.artist);
    track->album = dup(spec.album);
    track->albumartist = dup(spec.albumArtist);
    track->genre = dup(spec.genre);
    track->filetype = dup(spec.filetype);
    track->mediatype = spec.mediatype;
    track->rating = spec.rating;
    track->playcount = spec.playcount;
    track->tracklen = gint32(spec.tracklenMs);
    track->dbid = spec.dbid;
    itdb_track_add(database_, track, -1);
    if (spec.inMainPlaylist)
        itdb_playlist_add_track(itdb_playlist_mpl(database_), track, -1);

    const int index = int(ids_.size());
    QString relative;
    if (spec.withoutFile) {
        relative = spec.ipodPath.isEmpty() ? QStringLiteral("iPod_Control/Music/F00/NOFILE%1.%2")
                                                 .arg(index)
                                                 .arg(spec.extension)
                                           : spec.ipodPath;
        track->ipod_path =
            g_strdup(QString(u':' + relative).replace(u'/', u':').toUtf8().constData());
    } else {
        QString source = spec.sourceFile;
        QTemporaryFile scratch(QDir::tempPath() + QStringLiteral("/lorvanel-audio-XXXXXX.") +
                               spec.extension);
        if (source.isEmpty()) {
            if (!scratch.open())
                fail(QStringLiteral("cannot write a scratch audio file"));
            scratch.write(spec.audio.isEmpty() ? placeholderAudio(index) : spec.audio);
            scratch.flush();
            source = scratch.fileName();
        }
        track->size = guint32(QFileInfo(source).size());
        ErrorHolder error;
        const bool copied =
            itdb_cp_track_to_ipod(track, QFile::encodeName(source).constData(), &error.error);
        if (!copied)
            fail(QStringLiteral("itdb_cp_track_to_ipod: %1").arg(error.message()));
        relative = QString::fromUtf8(track->ipod_path).replace(u':', u'/').mid(1);
    }
    if (spec.artwork && !spec.artworkData.isEmpty()) {
        if (!itdb_track_set_thumbnails_from_data(
                track, reinterpret_cast<const guchar*>(spec.artworkData.constData()),
                gsize(spec.artworkData.size())))
            fail(QStringLiteral("itdb_track_set_thumbnails_from_data failed"));
    } else if (spec.artwork) {
        GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 120, 120);
        gdk_pixbuf_fill(pixbuf, (spec.artworkColor << 8) | 0xFF);
        const gboolean set = itdb_track_set_thumbnails_from_pixbuf(track, pixbuf);
        g_object_unref(pixbuf);
        if (!set)
            fail(QStringLiteral("itdb_track_set_thumbnails_from_pixbuf failed"));
    }
    pending_.append(track);
    ids_.append(0);
    files_.append(relative);
    return index;
}

void IPodVolume::addTracksWithoutFiles(int count, quint64 firstID, const TrackSpec& pattern) {
    openDatabase();
    Itdb_Playlist* master = itdb_playlist_mpl(database_);
    // Prepending keeps building linear; the lists are reversed once at the end.
    GList* tracks = nullptr;
    GList* members = nullptr;
    for (int i = 0; i < count; ++i) {
        Itdb_Track* track = itdb_track_new();
        const QByteArray suffix = QByteArray::number(i);
        track->title = g_strdup((pattern.title.toUtf8() + ' ' + suffix).constData());
        track->artist =
            g_strdup((pattern.artist.isEmpty() ? QByteArray("Artist ") + QByteArray::number(i % 500)
                                               : pattern.artist.toUtf8())
                         .constData());
        track->album = g_strdup((QByteArray("Album ") + QByteArray::number(i / 12)).constData());
        track->genre =
            g_strdup(pattern.genre.isEmpty() ? "Rock" : pattern.genre.toUtf8().constData());
        track->filetype = g_strdup(pattern.filetype.toUtf8().constData());
        track->mediatype = pattern.mediatype;
        track->tracklen = gint32(pattern.tracklenMs);
        track->size = 4'000'000;
        track->dbid = firstID + quint64(i);
        track->itdb = database_;
        track->ipod_path = g_strdup(QStringLiteral(":iPod_Control:Music:F%1:T%2.%3")
                                        .arg(i % 20, 2, 10, QLatin1Char('0'))
                                        .arg(i)
                                        .arg(pattern.extension)
                                        .toUtf8()
                                        .constData());
        tracks = g_list_prepend(tracks, track);
        if (pattern.inMainPlaylist)
            members = g_list_prepend(members, track);
        pending_.append(track);
        ids_.append(0);
        files_.append(QString());
    }
    database_->tracks = g_list_concat(database_->tracks, g_list_reverse(tracks));
    master->members = g_list_concat(master->members, g_list_reverse(members));
}

void IPodVolume::addPlaylist(const QString& name, const QList<int>& trackIndexes) {
    openDatabase();
    Itdb_Playlist* playlist = itdb_playlist_new(name.toUtf8().constData(), FALSE);
    itdb_playlist_add(database_, playlist, -1);
    for (int index : trackIndexes)
        itdb_playlist_add_track(playlist, pending_.at(index), -1);
}

void IPodVolume::appendToMainPlaylist(int trackIndex) {
    openDatabase();
    itdb_playlist_add_track(itdb_playlist_mpl(database_), pending_.at(trackIndex), -1);
}

void IPodVolume::write() {
    openDatabase();
    ErrorHolder error;
    if (!itdb_write(database_, &error.error))
        fail(QStringLiteral("itdb_write: %1").arg(error.message()));
    const Itdb_IpodInfo* info = itdb_device_get_ipod_info(database_->device);
    if (info && (info->ipod_generation == ITDB_IPOD_GENERATION_SHUFFLE_1 ||
                 info->ipod_generation == ITDB_IPOD_GENERATION_SHUFFLE_2 ||
                 info->ipod_generation == ITDB_IPOD_GENERATION_SHUFFLE_3)) {
        ErrorHolder shuffleError;
        if (!itdb_shuffle_write(database_, &shuffleError.error))
            fail(QStringLiteral("itdb_shuffle_write: %1").arg(shuffleError.message()));
    }
    // Tracks added after an earlier write come last.
    const qsizetype first = ids_.size() - pending_.size();
    for (int i = 0; i < pending_.size(); ++i)
        ids_[first + i] = pending_[i]->dbid;
    pending_.clear();
    itdb_free(database_);
    database_ = nullptr;
}

quint64 IPodVolume::trackID(int index) const {
    return ids_.at(index);
}

QString IPodVolume::trackFile(int index) const {
    return files_.at(index);
}

void IPodVolume::writeFile(const QString& relative, const QByteArray& bytes) const {
    const QString target = path(relative);
    QDir().mkpath(QFileInfo(target).path());
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(target));
}

QByteArray IPodVolume::readFile(const QString& relative) const {
    QFile file(path(relative));
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(relative));
    return file.readAll();
}

void IPodVolume::removeFile(const QString& relative) const {
    const QString target = path(relative);
    const QFileInfo info(target);
    const bool removed = info.isDir() && !info.isSymLink() ? QDir(target).removeRecursively()
                                                           : QFile::remove(target);
    if (!removed)
        fail(QStringLiteral("cannot remove %1").arg(relative));
}

bool IPodVolume::exists(const QString& relative) const {
    struct stat status {};
    return ::lstat(QFile::encodeName(path(relative)).constData(), &status) == 0;
}

void IPodVolume::writeSysInfo(const QByteArray& text) const {
    writeFile(QStringLiteral("iPod_Control/Device/SysInfo"), text);
}

void IPodVolume::writeSysInfoExtended(const QByteArray& xml) const {
    writeFile(QStringLiteral("iPod_Control/Device/SysInfoExtended"), xml);
}

QByteArray IPodVolume::writeITunesCDBFromITunesDB() const {
    const QByteArray database = readFile(QStringLiteral("iPod_Control/iTunes/iTunesDB"));
    if (database.size() < 244 || !database.startsWith("mhbd"))
        fail(QStringLiteral("no iTunesDB to compress"));
    const auto u32 = [](const QByteArray& bytes, int offset) {
        quint32 value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
        return value;
    };
    const qsizetype headerLength = qsizetype(u32(database, 4));
    QByteArray header = database.left(headerLength);
    const QByteArray payload =
        qCompress(database.mid(headerLength)).mid(4); // drop Qt's length prefix
    header[168] = 1;
    const quint32 size = quint32(header.size() + payload.size());
    for (int i = 0; i < 4; ++i)
        header[8 + i] = char((size >> (8 * i)) & 0xFF);
    writeFile(QStringLiteral("iPod_Control/iTunes/iTunesCDB"), header + payload);
    return header + payload;
}

void IPodVolume::patchFile(const QString& relative, qint64 offset, const QByteArray& bytes) const {
    QFile file(path(relative));
    if (!file.open(QIODevice::ReadWrite) || !file.seek(offset) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot patch %1").arg(relative));
}

QByteArray sysInfoExtendedXML(const QList<std::pair<QString, QVariant>>& entries) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                     "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                     "<plist version=\"1.0\">\n<dict>\n";
    for (const auto& [key, value] : entries) {
        xml += "\t<key>" + key.toHtmlEscaped().toUtf8() + "</key>\n";
        switch (value.typeId()) {
        case QMetaType::Bool:
            xml += value.toBool() ? "\t<true/>\n" : "\t<false/>\n";
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            xml += "\t<integer>" + value.toString().toUtf8() + "</integer>\n";
            break;
        case QMetaType::QByteArray:
            xml += "\t" + value.toByteArray() + "\n";
            break;
        default:
            xml += "\t<string>" + value.toString().toHtmlEscaped().toUtf8() + "</string>\n";
        }
    }
    xml += "</dict>\n</plist>\n";
    return xml;
}

namespace {

QByteArray modificationTime(const struct stat& status) {
    return QByteArray::number(qint64(status.st_mtim.tv_sec)) + '.' +
           QByteArray::number(qint64(status.st_mtim.tv_nsec));
}

// One entry: its kind, and for a folder its modification time (an entry made and removed
// again inside it still shows), for a file its size, modification time and bytes, for anything
// else its modification time.
std::optional<QByteArray> snapshotEntry(const QString& path, FolderTimes folderTimes) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    QByteArray entry;
    if (S_ISLNK(status.st_mode)) {
        entry = "link " + QFile::encodeName(QFileInfo(path).symLinkTarget());
    } else if (S_ISDIR(status.st_mode)) {
        entry = folderTimes == FolderTimes::recorded ? "dir " + modificationTime(status) : "dir";
    } else if (!S_ISREG(status.st_mode)) {
        // A FIFO or device node: opening it could wait forever.
        entry = "special " + modificationTime(status);
    } else {
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (file.open(QIODevice::ReadOnly))
            hash.addData(&file);
        entry = "file " + QByteArray::number(qint64(status.st_size)) + ' ' +
                modificationTime(status) + ' ' + hash.result().toHex();
    }
    return entry + " mode " + QByteArray::number(status.st_mode, 8);
}

} // namespace

TreeSnapshot snapshotTree(const QString& root, FolderTimes folderTimes) {
    TreeSnapshot snapshot;
    if (const auto top = snapshotEntry(root, folderTimes))
        snapshot.insert(QStringLiteral("."), *top);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (const auto entry = snapshotEntry(path, folderTimes))
            snapshot.insert(path.mid(root.size() + 1), *entry);
    }
    return snapshot;
}

QStringList differences(const TreeSnapshot& before, const TreeSnapshot& after) {
    QStringList changed;
    for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
        if (!after.contains(it.key()))
            changed << QStringLiteral("removed ") + it.key();
        else if (after.value(it.key()) != it.value())
            changed << QStringLiteral("changed ") + it.key();
    }
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        if (!before.contains(it.key()))
            changed << QStringLiteral("added ") + it.key();
    }
    return changed;
}

} // namespace TestSupport
