#include "library/LibrarySnapshot.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace {

// The first four bytes of the binary form; a new layout takes a new tag.
constexpr quint32 formatTag = 0x3153564C; // "LVS1"
// In place of a text's length: the same text as the list element before has there. A library
// lists an album's tracks together, so most of their artists, albums and genres repeat.
constexpr quint32 sameAsBefore = 0xFFFFFFFF;

// The fewest bytes one list element can take, so that a count is checked against what is left
// before anything is allocated for it.
constexpr qsizetype leastTrackBytes = 8 + 5 * 4 + 1 + 4 + 4 + 1 + 4 + 4 + 8 + 1;
constexpr qsizetype leastPlaylistBytes = 8 + 4 + 4;

// Measures the binary form without any text shared with the element before: the most the
// encoder writes.
class Sizer {
public:
    qsizetype size = 0;

    template <typename T> bool number(const T&) {
        size += qsizetype(sizeof(T));
        return true;
    }
    bool flag(const bool&) { return number(quint8()); }
    bool text(const QString& value) {
        size += qsizetype(sizeof(quint32)) + value.size() * 2;
        return true;
    }
    bool text(const QString& value, const QString*) { return text(value); }
    template <typename T, typename Each> bool optional(const std::optional<T>& value, Each each) {
        flag(false);
        return !value || each(*value);
    }
    template <typename T, typename Each> bool list(const QList<T>& items, qsizetype, Each each) {
        number(quint32());
        for (const T& item : items)
            each(item, nullptr);
        return true;
    }
    bool family(const IPodModel::Family&) { return number(quint8()); }
    bool playbackMode(const Shuffle2PlaybackMode&) { return number(quint32()); }
    bool error(const std::optional<IPodDatabaseError>& value) {
        return optional(value, [this](const IPodDatabaseError& error) {
            return number(quint8()) && text(error.operation()) &&
                   optional(error.detail(), [this](const QString& detail) { return text(detail); });
        });
    }
};

class Encoder {
public:
    explicit Encoder(char* into)
        : next(into) {}

    template <typename T> bool number(const T& value) {
        static_assert(std::is_arithmetic_v<T>);
        std::memcpy(next, &value, sizeof value);
        next += sizeof value;
        return true;
    }
    bool flag(const bool& value) { return number(quint8(value ? 1 : 0)); }
    bool text(const QString& value) {
        number(quint32(value.size()));
        std::memcpy(next, value.utf16(), size_t(value.size()) * 2);
        next += value.size() * 2;
        return true;
    }
    bool text(const QString& value, const QString* before) {
        return before && *before == value ? number(sameAsBefore) : text(value);
    }
    template <typename T, typename Each> bool optional(const std::optional<T>& value, Each each) {
        flag(value.has_value());
        return !value || each(*value);
    }
    template <typename T, typename Each> bool list(const QList<T>& items, qsizetype, Each each) {
        number(quint32(items.size()));
        const T* before = nullptr;
        for (const T& item : items) {
            each(item, before);
            before = &item;
        }
        return true;
    }
    bool family(const IPodModel::Family& value) { return number(quint8(value)); }

    qsizetype written(const char* start) const { return next - start; }
    bool playbackMode(const Shuffle2PlaybackMode& value) { return number(quint32(value)); }
    bool error(const std::optional<IPodDatabaseError>& value) {
        return optional(value, [this](const IPodDatabaseError& error) {
            return number(quint8(error.errorCase())) && text(error.operation()) &&
                   optional(error.detail(), [this](const QString& detail) { return text(detail); });
        });
    }

private:
    char* next;
};

class Decoder {
public:
    explicit Decoder(QByteArrayView bytes)
        : next(bytes.data())
        , end(bytes.data() + bytes.size()) {}

    bool atEnd() const { return next == end; }

    template <typename T> bool number(T& value) {
        static_assert(std::is_arithmetic_v<T>);
        if (end - next < qsizetype(sizeof value))
            return false;
        std::memcpy(&value, next, sizeof value);
        next += sizeof value;
        return true;
    }
    bool flag(bool& value) {
        quint8 byte = 0;
        if (!number(byte) || byte > 1)
            return false;
        value = byte == 1;
        return true;
    }
    bool text(QString& value) { return text(value, nullptr); }
    bool text(QString& value, const QString* before) {
        quint32 length = 0;
        if (!number(length))
            return false;
        if (length == sameAsBefore) {
            if (!before)
                return false;
            value = *before;
            return true;
        }
        if (qsizetype(length) > (end - next) / 2)
            return false;
        value = QString(qsizetype(length), Qt::Uninitialized);
        std::memcpy(value.data(), next, size_t(length) * 2);
        next += qsizetype(length) * 2;
        return true;
    }
    template <typename T, typename Each> bool optional(std::optional<T>& value, Each each) {
        bool present = false;
        if (!flag(present))
            return false;
        if (!present) {
            value.reset();
            return true;
        }
        T item{};
        if (!each(item))
            return false;
        value = std::move(item);
        return true;
    }
    template <typename T, typename Each>
    bool list(QList<T>& items, qsizetype leastBytes, Each each) {
        quint32 count = 0;
        if (!number(count) || qsizetype(count) > (end - next) / leastBytes)
            return false;
        items.reserve(qsizetype(count));
        for (quint32 i = 0; i < count; ++i) {
            const T* before = i > 0 ? &items.constLast() : nullptr;
            if (!each(items.emplace_back(), before))
                return false;
        }
        return true;
    }
    bool family(IPodModel::Family& value) {
        quint8 raw = 0;
        if (!number(raw) || raw > quint8(IPodModel::Family::nano))
            return false;
        value = IPodModel::Family(raw);
        return true;
    }
    bool playbackMode(Shuffle2PlaybackMode& value) {
        quint32 raw = 0;
        const auto mode = number(raw) ? Shuffle2PlaybackModes::fromRawValue(raw) : std::nullopt;
        if (!mode)
            return false;
        value = *mode;
        return true;
    }
    bool error(std::optional<IPodDatabaseError>& value) {
        bool present = false;
        if (!flag(present))
            return false;
        value.reset();
        if (!present)
            return true;
        quint8 raw = 0;
        QString operation;
        std::optional<QString> detail;
        if (!number(raw) || raw > quint8(IPodDatabaseError::Case::linkedFolder) ||
            !text(operation) ||
            !optional(detail, [this](QString& text) { return this->text(text); }))
            return false;
        const auto which = IPodDatabaseError::Case(raw);
        if (which == IPodDatabaseError::Case::library) {
            value = IPodDatabaseError::library(operation, detail);
            return true;
        }
        // Only the library case carries an operation; a detail only it, the cover and description
        // cases, the linked folder and the places tried for scratch space.
        if (!operation.isEmpty())
            return false;
        if (which == IPodDatabaseError::Case::noScratchSpace) {
            value = IPodDatabaseError::noScratchSpaceFromDetail(detail);
            return value.has_value();
        }
        if (which == IPodDatabaseError::Case::artworkFormatsOutOfBounds) {
            value = IPodDatabaseError::artworkFormatsOutOfBounds(detail);
            return true;
        }
        if (which == IPodDatabaseError::Case::storedCoverFormatsUnlisted) {
            value = IPodDatabaseError::storedCoverFormatsUnlisted(detail);
            return true;
        }
        if (which == IPodDatabaseError::Case::storedCoversUnreadable) {
            if (!detail)
                return false;
            value = IPodDatabaseError::storedCoversUnreadable(*detail);
            return true;
        }
        if (which == IPodDatabaseError::Case::storedCoverFormatsOfOtherModel) {
            value = IPodDatabaseError::storedCoverFormatsOfOtherModel(detail);
            return true;
        }
        if (which == IPodDatabaseError::Case::unreadableDeviceDescription) {
            value = IPodDatabaseError::unreadableDeviceDescription(detail);
            return true;
        }
        if (which == IPodDatabaseError::Case::linkedFolder) {
            if (!detail)
                return false;
            value = IPodDatabaseError::linkedFolder(*detail);
            return true;
        }
        if (detail)
            return false;
        value = IPodDatabaseError(which);
        return true;
    }

private:
    const char* next;
    const char* end;
};

// The one field order of the binary form, for the encoder (a const snapshot) and the decoder.
template <typename Stream, typename Snapshot> bool transfer(Stream& s, Snapshot& snapshot) {
    const auto text = [&s](auto& value) { return s.text(value); };
    const auto model = [&](auto& value) {
        return s.family(value.family) && s.number(value.generationNumber) &&
               s.optional(value.colorName, text) && s.text(value.iconName);
    };
    const auto serialModel = [&](auto& value) {
        return s.number(value.generation) && s.text(value.modelNumber);
    };
    const auto track = [&](auto& t, const Track* before) {
        const auto shared = [before](QString Track::*field) {
            return before ? &(before->*field) : nullptr;
        };
        return s.number(t.id) && s.text(t.title) && s.text(t.artist, shared(&Track::artist)) &&
               s.text(t.album, shared(&Track::album)) &&
               s.text(t.albumArtist, shared(&Track::albumArtist)) && s.flag(t.hasCoverArtwork) &&
               s.text(t.genre, shared(&Track::genre)) && s.number(t.ratingStars) &&
               s.number(t.playCount) && s.flag(t.isMusic) &&
               s.text(t.format, shared(&Track::format)) && s.number(t.sizeBytes) &&
               s.number(t.duration) &&
               s.optional(t.playbackPosition, [&s](auto& position) { return s.number(position); });
    };
    const auto playlist = [&](auto& p, const IPodPlaylist*) {
        return s.number(p.id) && s.text(p.name) &&
               s.list(p.trackIDs, qsizetype(sizeof(quint64)),
                      [&s](auto& id, const quint64*) { return s.number(id); });
    };
    return s.optional(snapshot.mainPlaylistName, text) && s.optional(snapshot.model, model) &&
           s.optional(snapshot.serialModel, serialModel) &&
           s.optional(snapshot.serialNumber, text) &&
           s.list(snapshot.tracks, leastTrackBytes, track) &&
           s.list(snapshot.playlists, leastPlaylistBytes, playlist) &&
           s.optional(snapshot.resumeTrackID, [&s](auto& id) { return s.number(id); }) &&
           s.optional(snapshot.savedPlaybackMode,
                      [&s](auto& mode) { return s.playbackMode(mode); }) &&
           s.flag(snapshot.supportsRatings) && s.flag(snapshot.supportsPlaybackStart) &&
           s.flag(snapshot.hasNano5SourceCDB) && s.error(snapshot.writeBlocker);
}

// Whether every value lies where a database read gives it: the bytes come from another process.
bool inRange(const LibrarySnapshot& snapshot) {
    if (snapshot.model && snapshot.model->generationNumber < 1)
        return false;
    return std::all_of(snapshot.tracks.cbegin(), snapshot.tracks.cend(), [](const Track& track) {
        return track.ratingStars >= 0 && track.ratingStars <= 5 && std::isfinite(track.duration) &&
               track.duration >= 0 && track.playbackPosition.value_or(1) >= 1;
    });
}

// The binary form of what write puts into a Sizer and then an Encoder.
template <typename Write> QByteArray encode(Write write) {
    Sizer sizer;
    write(sizer);
    QByteArray bytes(sizer.size, Qt::Uninitialized);
    Encoder encoder(bytes.data());
    write(encoder);
    bytes.truncate(encoder.written(bytes.constData()));
    return bytes;
}

} // namespace

LibrarySnapshot LibrarySnapshot::read(const IPodDatabase& database) {
    LibrarySnapshot snapshot;
    snapshot.mainPlaylistName = database.mainPlaylistName();
    snapshot.model = database.model();
    snapshot.serialModel = database.serialModel();
    snapshot.serialNumber = database.serialNumber();
    snapshot.tracks = database.loadTracks();
    snapshot.playlists = database.loadPlaylists();
    if (const auto state = database.readShuffle2PlaybackMode()) {
        snapshot.resumeTrackID = state->resumeTrackID;
        snapshot.savedPlaybackMode = state->savedPlaybackMode;
    }
    snapshot.supportsRatings = database.supportsRatings();
    snapshot.supportsPlaybackStart = database.supportsPlaybackStart();
    snapshot.hasNano5SourceCDB = database.hasNano5SourceCDB();
    snapshot.writeBlocker = database.writeBlocker();
    return snapshot;
}

std::optional<IPodModel>
LibrarySnapshot::modelWithSerial(const IPodDatabase::SerialNumberProvider& serialNumber) const {
    if (serialModel && serialNumber)
        return serialModel->model(serialNumber());
    return model;
}

QByteArray LibrarySnapshot::encoded() const {
    return encode([this](auto& stream) {
        stream.number(formatTag);
        transfer(stream, *this);
    });
}

std::optional<LibrarySnapshot> LibrarySnapshot::decoded(QByteArrayView bytes) {
    Decoder decoder(bytes);
    quint32 tag = 0;
    LibrarySnapshot snapshot;
    if (!decoder.number(tag) || tag != formatTag || !transfer(decoder, snapshot) ||
        !decoder.atEnd() || !inRange(snapshot))
        return std::nullopt;
    return snapshot;
}

QByteArray LibrarySnapshot::encodedError(const IPodDatabaseError& error) {
    const std::optional<IPodDatabaseError> value = error;
    return encode([&value](auto& stream) { stream.error(value); });
}

std::optional<IPodDatabaseError> LibrarySnapshot::decodedError(QByteArrayView bytes) {
    Decoder decoder(bytes);
    std::optional<IPodDatabaseError> error;
    if (!decoder.error(error) || !decoder.atEnd())
        return std::nullopt;
    return error;
}
