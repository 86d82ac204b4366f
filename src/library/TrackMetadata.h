#pragma once

#include <QSet>
#include <QString>

#include <optional>
#include <utility>

// The five editable tags of a track.
struct TrackMetadata {
    QString title;
    QString artist;
    QString album;
    QString albumArtist;
    QString genre;

    bool operator==(const TrackMetadata&) const = default;

    // The genres the track editor always offers.
    static const QSet<QString>& defaultGenres();

    // "Artist - Title" in the title becomes artist and title; none when the title holds no
    // usable separator or when a filled-in artist would be replaced by something else.
    std::optional<TrackMetadata> splitArtistAndTitle() const;
};

// The trimmed halves around the first occurrence of separator; none when it is missing or
// either half is empty.
std::optional<std::pair<QString, QString>> splitAtDashSeparator(const QString& text,
                                                                const QString& separator);
