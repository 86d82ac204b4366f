#pragma once

// What the browser shows of one iPod: a snapshot read in one pass from a freshly opened
// database that is closed again right after, with what the device allows to change.

#include "library/IPodDatabaseError.h"
#include "library/IPodModel.h"
#include "library/IPodPlaylist.h"
#include "library/Shuffle2PlaybackMode.h"
#include "library/Track.h"

#include <QList>
#include <QString>

#include <optional>

struct IPodLibrary {
    std::optional<QString> deviceName; // the master playlist's name; none when blank
    std::optional<IPodModel> model;
    QList<Track> tracks; // the main playlist in play order, then every other track
    QList<IPodPlaylist> playlists;
    std::optional<quint64> resumeTrackID; // second-generation shuffle only
    std::optional<Shuffle2PlaybackMode> savedPlaybackMode;
    bool supportsRatings = false;
    bool supportsPlaybackStart = false;
    bool supportsNano5PlaylistCreation = false;
    bool supportsNano5Import = false;
    // Whether a save may leave the library without tracks: only a freshly prepared iPod takes
    // one, so elsewhere deleting every track or a first playlist on an empty library is refused.
    bool savesEmptyLibrary = false;
    // Why the database must not be written through libgpod; none when it may.
    std::optional<IPodDatabaseError> writeBlocker;
};
