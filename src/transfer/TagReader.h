#pragma once

// Title, artist and album of an audio file before it goes onto an iPod: from its tags, from the
// INFO list of a WAV file, and, when the user allows it, from its file name.

#include "platform/audio/AudioMetadata.h"

#include <QString>

#include <optional>
#include <utility>

struct FileTags {
    QString title;  // never cleaned
    QString artist; // link tail stripped; may be empty
    QString album;  // link tail stripped, never blank
    // The title did not come from the file name, and artist and album are exactly the tags'.
    bool tagsComplete = false;

    friend bool operator==(const FileTags&, const FileTags&) = default;
};

// Never throws.
FileTags readTags(const QString& path, const AudioMetadata& commonMetadata,
                  const AudioMetadata& metadata, bool parseFilenameTags);

// The first non-blank IPRD (product, our album) text of a WAV file's LIST/INFO chunk. Throws
// PosixError when the file cannot be read and IPodDatabaseError::invalidTrack when a chunk claims
// more bytes than the file, or an INFO entry more than its list, holds.
std::optional<QString> parseWaveInfo(const QString& path);

// Splits "left - right" at the first " - " into trimmed halves; none when either is empty.
std::optional<std::pair<QString, QString>> splitAtDashSeparator(const QString& text);
