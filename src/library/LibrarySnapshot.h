#pragma once

// Everything a library load takes from an opened database, as plain values. The first read of a
// database happens in the helper process (DatabasePreflight), which sends this back in a compact
// binary form, so the application never parses that database itself; a database read cleanly
// before is opened in the application and gives the very same values.

#include "library/IPodDatabase.h"
#include "library/IPodDatabaseError.h"
#include "library/IPodModel.h"
#include "library/IPodPlaylist.h"
#include "library/Shuffle2PlaybackMode.h"
#include "library/Track.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

struct LibrarySnapshot {
    std::optional<QString> mainPlaylistName;
    std::optional<IPodModel> model; // without a serial number from elsewhere
    std::optional<IPodDatabase::SerialModel> serialModel;
    std::optional<QString> serialNumber;
    QList<Track> tracks;
    QList<IPodPlaylist> playlists;
    std::optional<quint64> resumeTrackID;
    std::optional<Shuffle2PlaybackMode> savedPlaybackMode;
    bool supportsRatings = false;
    bool supportsPlaybackStart = false;
    bool hasNano5SourceCDB = false;
    std::optional<IPodDatabaseError> writeBlocker;

    bool operator==(const LibrarySnapshot&) const = default;

    // Reads it all from the database.
    static LibrarySnapshot read(const IPodDatabase& database);

    // The model, completed by the serial number serialNumber gives when the volume lacks one.
    std::optional<IPodModel>
    modelWithSerial(const IPodDatabase::SerialNumberProvider& serialNumber) const;

    // The binary form: only ever read by the same build on the same machine, so numbers are in
    // the machine's own byte order and texts in UTF-16 as QString holds them.
    QByteArray encoded() const;
    // Strict: none unless bytes are exactly one snapshot's binary form with every value in
    // range. Never reads or allocates past what bytes hold.
    static std::optional<LibrarySnapshot> decoded(QByteArrayView bytes);

    // An error alone in the same binary form (how the helper reports a refused opening), and
    // back under the same rules.
    static QByteArray encodedError(const IPodDatabaseError& error);
    static std::optional<IPodDatabaseError> decodedError(QByteArrayView bytes);
};
