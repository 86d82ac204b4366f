#pragma once

#include "library/Track.h"

#include <QHashFunctions>
#include <QList>
#include <QString>

#include <array>
#include <optional>

// A group of tracks for the cover flow, identified by a title and an artist.
struct CoverFlowGroup {
    struct ID {
        QString title;
        QString artist; // empty for the artist and genre groupings
        bool operator==(const ID&) const = default;
    };

    enum class Grouping {
        artists,
        albums,
        genres,
    };
    static constexpr std::array<Grouping, 3> allGroupings{Grouping::artists, Grouping::albums,
                                                          Grouping::genres};
    // The menu label, a localisable key.
    static QString title(Grouping grouping);
    // Shown in place of an empty group title, a localisable key.
    static QString unknownTitle(Grouping grouping);

    ID id;
    QList<Track> tracks;

    // Groups in order of first appearance, tracks in input order; keys compared exactly.
    static QList<CoverFlowGroup> groups(const QList<Track>& tracks, Grouping grouping);

    // The track whose artwork stands for the group: the first with artwork, else the first.
    std::optional<quint64> artworkTrackID() const;
};

inline size_t qHash(const CoverFlowGroup::ID& id, size_t seed = 0) {
    return qHashMulti(seed, id.title, id.artist);
}
