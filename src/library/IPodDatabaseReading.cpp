// Device information and the library of an opened database.

#include "library/IPodDatabase.h"

#include "library/DatabaseFiles.h"
#include "library/DeviceDescription.h"
#include "library/GpodExtensions.h"
#include "library/PropertyList.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace {

QString text(const gchar* value) {
    return value ? QString::fromUtf8(value) : QString();
}

quint32 littleEndian32(const QByteArray& bytes, int offset) {
    const auto byte = [&](int i) { return quint32(static_cast<unsigned char>(bytes[offset + i])); };
    return byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24);
}

std::optional<PropertyList> description(const QString& mountPoint) {
    const DeviceDescription::File file = DeviceDescription::read(mountPoint);
    return file.text ? PropertyList::parseDictionary(*file.text) : std::nullopt;
}

std::optional<QString> sysInfoExtendedSerial(const QString& mountPoint) {
    const auto plist = description(mountPoint);
    return plist ? plist->string("SerialNumber") : std::nullopt;
}

std::optional<QString> libgpodSysInfo(Itdb_iTunesDB* database, const char* key) {
    if (!database || !database->device)
        return std::nullopt;
    GLibHandles::CharPtr value{itdb_device_get_sysinfo(database->device, key)};
    if (!value)
        return std::nullopt;
    return QString::fromUtf8(value.get());
}

std::optional<QString> visibleBuildID(const std::optional<PropertyList>& plist) {
    if (!plist)
        return std::nullopt;
    const auto value = plist->string("VisibleBuildID");
    return value ? IPodDatabase::normalizedVersion(*value) : std::nullopt;
}

} // namespace

std::optional<QString> IPodDatabase::mainPlaylistName() const {
    Itdb_Playlist* master = itdb_playlist_mpl(database_.get());
    if (!master || !master->name)
        return std::nullopt;
    const QString name = QString::fromUtf8(master->name);
    if (name.trimmed().isEmpty())
        return std::nullopt;
    return name;
}

// libgpod's model value of the device as the volume itself describes it. A forced model number
// stands for a whole generation and would report its colour for every device, so a forced
// session takes the value from the volume's own SysInfo, or reports none.
std::optional<std::int32_t> IPodDatabase::sessionModelValue() const {
    const Itdb_IpodInfo* info = itdb_device_get_ipod_info(database_->device);
    if (!info)
        return std::nullopt;
    if (!modelForced_)
        return static_cast<std::int32_t>(info->ipod_model);
    const auto sysInfo = DeviceDescription::readSysInfo(mountPoint_).text;
    if (!sysInfo)
        return std::nullopt;
    QString modelNumber;
    for (const QByteArray& line : sysInfo->split('\n')) {
        if (line.startsWith("ModelNumStr:"))
            modelNumber = QString::fromUtf8(line.mid(12)).trimmed();
    }
    // Table entries leave out the region letter ("MA477" is listed as "A477").
    if (!modelNumber.isEmpty() && modelNumber[0].isLetter())
        modelNumber = modelNumber.mid(1);
    if (modelNumber.isEmpty())
        return std::nullopt;
    for (const Itdb_IpodInfo* entry = itdb_info_get_ipod_info_table(); entry && entry->model_number;
         ++entry) {
        if (modelNumber.compare(QLatin1String(entry->model_number), Qt::CaseInsensitive) == 0 &&
            entry->ipod_generation == info->ipod_generation)
            return static_cast<std::int32_t>(entry->ipod_model);
    }
    return std::nullopt;
}

std::optional<IPodModel>
IPodDatabase::model(const SerialNumberProvider& serialNumberProvider) const {
    if (!database_->device)
        return fallbackModel_;
    const Itdb_IpodInfo* info = itdb_device_get_ipod_info(database_->device);
    if (!info)
        return fallbackModel_;
    const int gen = info->ipod_generation;
    if (gen == ITDB_IPOD_GENERATION_SHUFFLE_2 || gen == ITDB_IPOD_GENERATION_SHUFFLE_3 ||
        gen == ITDB_IPOD_GENERATION_SHUFFLE_4) {
        std::optional<QString> serial = serialNumber();
        if (!serial && gen != ITDB_IPOD_GENERATION_SHUFFLE_4 && serialNumberProvider)
            serial = serialNumberProvider();
        const QString modelNumber =
            info->model_number ? QString::fromUtf8(info->model_number) : QString();
        return SerialModel{gen, modelNumber}.model(serial);
    }
    if (auto found =
            IPodModel::fromGeneration(gen, std::nullopt, std::nullopt, sessionModelValue()))
        return found;
    return fallbackModel_;
}

std::optional<IPodModel>
IPodDatabase::SerialModel::model(const std::optional<QString>& serialNumber) const {
    return IPodModel::fromGeneration(generation, serialNumber, modelNumber, std::nullopt);
}

std::optional<IPodDatabase::SerialModel> IPodDatabase::serialModel() const {
    const Itdb_IpodInfo* info =
        database_->device ? itdb_device_get_ipod_info(database_->device) : nullptr;
    if (!info || (info->ipod_generation != ITDB_IPOD_GENERATION_SHUFFLE_2 &&
                  info->ipod_generation != ITDB_IPOD_GENERATION_SHUFFLE_3))
        return std::nullopt;
    if (serialNumber())
        return std::nullopt;
    return SerialModel{int(info->ipod_generation),
                       info->model_number ? QString::fromUtf8(info->model_number) : QString()};
}

std::optional<QString> IPodDatabase::serialNumber() const {
    if (auto serial = sysInfoExtendedSerial(mountPoint_))
        return serial;
    return libgpodSysInfo(database_.get(), "SerialNumber");
}

std::optional<QString> IPodDatabase::serialNumber(const QByteArray& sysInfoExtended) {
    const auto plist = DeviceDescription::dictionary(sysInfoExtended);
    return plist ? plist->string("SerialNumber") : std::nullopt;
}

std::optional<QString> IPodDatabase::normalizedVersion(const QString& value) {
    const QString trimmed = value.trimmed();
    QString version = trimmed;
    const qsizetype open = trimmed.indexOf(u'(');
    if (open >= 0) {
        const QString before = trimmed.left(open);
        const QString after = trimmed.mid(open + 1);
        if (!before.isEmpty() && !after.isEmpty() && trimmed.endsWith(u')'))
            version = after.chopped(1);
    }
    version = version.trimmed();
    static const QRegularExpression pattern(QStringLiteral("^[0-9]+(?:\\.[0-9]+){1,3}$"));
    if (!pattern.match(version).hasMatch())
        return std::nullopt;
    return version;
}

std::optional<QString> IPodDatabase::firmwareVersion(const QString& mountPoint) {
    if (auto version = visibleBuildID(description(mountPoint)))
        return version;
    const auto bytes = DeviceDescription::readSysInfo(mountPoint).text;
    if (!bytes)
        return std::nullopt;
    auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString content = decoder(*bytes);
    if (decoder.hasError())
        return std::nullopt;
    static const QString key = QStringLiteral("visibleBuildID:");
    for (const QString& line : content.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(key))
            return normalizedVersion(line.mid(key.size()));
    }
    return std::nullopt;
}

std::optional<QString> IPodDatabase::firmwareVersion(const QByteArray& sysInfoExtended) {
    return visibleBuildID(DeviceDescription::dictionary(sysInfoExtended));
}

bool IPodDatabase::isMusic(const Itdb_Track* track) {
    if (track->mediatype == 1)
        return true;
    if (track->mediatype != 0 || !track->ipod_path)
        return false;
    const char* dot = std::strrchr(track->ipod_path, '.');
    const QString extension = dot ? QString::fromUtf8(dot + 1).toLower() : QString();
    static const QSet<QString> musicExtensions{QStringLiteral("mp3"),  QStringLiteral("m4a"),
                                               QStringLiteral("aac"),  QStringLiteral("aif"),
                                               QStringLiteral("aiff"), QStringLiteral("wav")};
    return musicExtensions.contains(extension);
}

Track IPodDatabase::makeTrack(const Itdb_Track* track, std::optional<int> position) const {
    return makeTrack(track, position, {nullptr, nullptr});
}

Track IPodDatabase::makeTrack(const Itdb_Track* track, std::optional<int> position,
                              const std::pair<const Itdb_Track*, const Track*>& before) const {
    const auto [earlierRecord, earlier] = before;
    const auto shared = [&](gchar* Itdb_Track::*field, QString Track::*made) {
        const gchar* value = track->*field;
        if (earlier && earlierRecord && value && earlierRecord->*field &&
            std::strcmp(value, earlierRecord->*field) == 0)
            return earlier->*made;
        return text(value);
    };
    Track result;
    result.id = track->dbid;
    result.title = text(track->title);
    result.artist = shared(&Itdb_Track::artist, &Track::artist);
    result.album = shared(&Itdb_Track::album, &Track::album);
    result.albumArtist = shared(&Itdb_Track::albumartist, &Track::albumArtist);
    result.hasCoverArtwork = itdb_track_has_thumbnails(const_cast<Itdb_Track*>(track)) != 0;
    result.genre = shared(&Itdb_Track::genre, &Track::genre);
    result.ratingStars = supportsRatings_ && track->rating <= 100 ? int(track->rating / 20) : 0;
    result.playCount = track->playcount;
    result.isMusic = isMusic(track);
    // Compared before any text is made: a library is mostly these two.
    const char* filetype = track->filetype ? track->filetype : "";
    if (std::strcmp(filetype, "MPEG audio file") == 0)
        result.format = QStringLiteral("MP3");
    else if (std::strcmp(filetype, "AAC audio file") == 0)
        result.format = QStringLiteral("AAC");
    else
        result.format = shared(&Itdb_Track::filetype, &Track::format);
    result.sizeBytes = track->size;
    result.duration = double(track->tracklen) / 1000.0;
    result.playbackPosition = position;
    return result;
}

QList<Track> IPodDatabase::loadTracks() const {
    // The records in order with their positions (0: none) first, then the values made from
    // them: that part waits on memory for each scattered record and text, so a large library
    // is made in parallel stretches.
    std::vector<std::pair<const Itdb_Track*, int>> records;
    records.reserve(g_list_length(database_->tracks));
    QSet<const Itdb_Track*> listed;
    listed.reserve(qsizetype(records.capacity()));
    if (Itdb_Playlist* master = itdb_playlist_mpl(database_.get())) {
        int position = 0;
        for (GList* link = master->members; link; link = link->next) {
            const auto* track = static_cast<const Itdb_Track*>(link->data);
            if (!track)
                continue;
            listed.insert(track);
            records.emplace_back(track, ++position);
        }
    }
    for (GList* link = database_->tracks; link; link = link->next) {
        const auto* track = static_cast<const Itdb_Track*>(link->data);
        if (track && !listed.contains(track))
            records.emplace_back(track, 0);
    }

    QList<Track> tracks(qsizetype(records.size()));
    Track* made = tracks.data();
    const auto makeStretch = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            const auto [track, position] = records[i];
            made[i] = makeTrack(
                track, position > 0 ? std::optional<int>(position) : std::nullopt,
                {i > from ? records[i - 1].first : nullptr, i > from ? &made[i - 1] : nullptr});
        }
    };
    constexpr size_t tracksPerStretch = 8192;
    const size_t stretches =
        std::clamp<size_t>(records.size() / tracksPerStretch, 1,
                           std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4));
    // An exception leaving a thread would end the process: a failed allocation in a helper
    // thread is handed over and thrown here, as one in this thread is. A thread that cannot be
    // started (no memory for its stack) leaves its stretch to this one.
    std::vector<std::exception_ptr> failures(stretches);
    std::vector<std::pair<size_t, size_t>> leftOver;
    std::vector<std::jthread> helpers;
    const size_t length = records.size() / stretches;
    for (size_t s = 1; s < stretches; ++s) {
        const size_t from = s * length;
        const size_t to = s + 1 == stretches ? records.size() : (s + 1) * length;
        try {
            helpers.emplace_back([&makeStretch, &failure = failures[s], from, to] {
                try {
                    makeStretch(from, to);
                } catch (...) {
                    failure = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            leftOver.emplace_back(from, to);
        }
    }
    makeStretch(0, stretches > 1 ? length : records.size());
    for (const auto& [from, to] : leftOver)
        makeStretch(from, to);
    helpers.clear(); // joined
    for (const std::exception_ptr& failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
    return tracks;
}

QList<std::pair<qint32, Itdb_Playlist*>> IPodDatabase::userPlaylists() const {
    QList<std::pair<qint32, Itdb_Playlist*>> playlists;
    qint32 index = 0;
    for (GList* link = database_->playlists; link; link = link->next, ++index) {
        auto* playlist = static_cast<Itdb_Playlist*>(link->data);
        if (playlist && !itdb_playlist_is_mpl(playlist) && !itdb_playlist_is_podcasts(playlist))
            playlists.append({index, playlist});
    }
    return playlists;
}

QList<IPodPlaylist> IPodDatabase::loadPlaylists() const {
    // Shuffles list no playlists. A model that cannot be told shows what libgpod read.
    if (!hasNano5SourceCDB()) {
        const auto found = model();
        if (found && found->family == IPodModel::Family::shuffle)
            return {};
    }
    QList<IPodPlaylist> playlists;
    for (const auto& [index, playlist] : userPlaylists()) {
        IPodPlaylist entry{playlist->id, text(playlist->name), {}};
        for (GList* link = playlist->members; link; link = link->next) {
            if (const auto* track = static_cast<const Itdb_Track*>(link->data))
                entry.trackIDs.append(track->dbid);
        }
        playlists.append(std::move(entry));
    }
    return playlists;
}

bool IPodDatabase::supportsPlaybackStart() const {
    return generation() == ITDB_IPOD_GENERATION_SHUFFLE_2;
}

std::optional<IPodDatabase::PStateFile> IPodDatabase::readPStateFile() const {
    if (generation() != ITDB_IPOD_GENERATION_SHUFFLE_2)
        return std::nullopt;
    GLibHandles::CharPtr folder{itdb_get_itunes_dir(QFile::encodeName(mountPoint_).constData())};
    if (!folder)
        return std::nullopt;
    const QString path = QFile::decodeName(folder.get()) + QStringLiteral("/iTunesPState");
    const auto bytes = DatabaseFiles::read(path, 33);
    if (!bytes || bytes->size() != 32)
        return std::nullopt;
    return PStateFile{path, *bytes};
}

std::optional<IPodDatabase::Shuffle2SD>
IPodDatabase::openShuffle2SD(const PStateFile& pstate) const {
    if (pstate.bytes.size() != 32)
        return std::nullopt;
    GLibHandles::CharPtr sdPath{itdb_get_itunessd_path(QFile::encodeName(mountPoint_).constData())};
    if (!sdPath)
        return std::nullopt;
    const QString path = QFile::decodeName(sdPath.get());
    auto file = std::make_unique<QFile>();
    if (!DatabaseFiles::open(*file, path))
        return std::nullopt;
    const auto count = shuffle2SDHeaderCount(*file);
    if (!count || *count != littleEndian32(pstate.bytes, 16) ||
        littleEndian32(pstate.bytes, 4) >= *count)
        return std::nullopt;
    return Shuffle2SD{pstate.path, path, pstate.bytes, std::move(file), *count};
}

std::optional<IPodDatabase::Shuffle2State> IPodDatabase::readShuffle2PlaybackMode() const {
    const auto pstate = readPStateFile();
    if (!pstate)
        return std::nullopt;
    const auto mode = Shuffle2PlaybackModes::fromRawValue(littleEndian32(pstate->bytes, 20));
    auto sd = openShuffle2SD(*pstate);
    if (!sd) {
        if (!mode)
            return std::nullopt;
        return Shuffle2State{std::nullopt, mode};
    }

    const quint32 current = littleEndian32(pstate->bytes, 4);
    const qint64 pathOffset = 18 + qint64(current) * 558 + 33;
    if (!sd->file->seek(pathOffset))
        return Shuffle2State{std::nullopt, mode};
    const QByteArray raw = sd->file->read(522);
    if (raw.size() != 522)
        return Shuffle2State{std::nullopt, mode};
    qsizetype units = 0;
    while (units < 261 && (raw[units * 2] != 0 || raw[units * 2 + 1] != 0))
        ++units;
    auto decoder = QStringDecoder(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
    const QString entryPath = decoder(raw.left(units * 2));
    if (decoder.hasError() || !entryPath.startsWith(u'/'))
        return Shuffle2State{std::nullopt, mode};

    std::optional<quint64> resume;
    int matches = 0;
    for (GList* link = database_->tracks; link; link = link->next) {
        const auto* track = static_cast<const Itdb_Track*>(link->data);
        if (!track || !track->ipod_path)
            continue;
        if (QString::fromUtf8(track->ipod_path).replace(u':', u'/') == entryPath) {
            ++matches;
            resume = track->dbid;
        }
    }
    return Shuffle2State{matches == 1 ? resume : std::nullopt, mode};
}
