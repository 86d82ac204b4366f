#pragma once

// The tags the import takes (title, artist, album, album artist, genre) as TagLib reads them, for
// the files whose tags FFmpeg drops: an unsynchronised or damaged ID3v2 tag, an APEv2 or ID3v1
// tag, a second ID3v2 tag, a WAV file's INFO list wherever it lies. Used only where FFmpeg gives
// nothing.

#include <QString>

#include <optional>

namespace TagLibTags {

struct Tags {
    std::optional<QString> title, artist, album, albumArtist, genre;
};

// The first non-empty value of each, several artists joined; nothing for a file TagLib cannot
// read. Never throws.
Tags readMpeg(const QString& path);
Tags readWave(const QString& path);

// The genre an ID3v2 genre frame names by its ID3v1 number, as "(17)", "(17)Rock" or "17" do;
// other text as it is.
QString genreName(const QString& value);

} // namespace TagLibTags
