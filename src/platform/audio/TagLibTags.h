#pragma once

// Title, artist and album as TagLib reads them, for the files whose tags FFmpeg drops: an
// unsynchronised or damaged ID3v2 tag, an APEv2 or ID3v1 tag, a second ID3v2 tag, a WAV file's
// INFO list wherever it lies. Used only where FFmpeg gives nothing.

#include <QString>

#include <optional>

namespace TagLibTags {

struct Tags {
    std::optional<QString> title, artist, album;
};

// The first non-empty value of each, several artists joined; nothing for a file TagLib cannot
// read. Never throws.
Tags readMpeg(const QString& path);
Tags readWave(const QString& path);

} // namespace TagLibTags
