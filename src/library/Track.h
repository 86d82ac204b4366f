#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// One track of an iPod library, as a snapshot that holds no libgpod record.
struct Track {
    quint64 id = 0; // the track's dbid
    QString title;
    QString artist;
    QString album;
    QString albumArtist;
    bool hasCoverArtwork = false;
    QString genre;
    int ratingStars = 0;
    quint32 playCount = 0;
    bool isMusic = false;
    QString format;
    quint32 sizeBytes = 0;
    double duration = 0; // seconds
    // 1-based position in the main playlist; none when the main playlist does not list it.
    std::optional<int> playbackPosition;

    friend bool operator==(const Track&, const Track&) = default;
};
