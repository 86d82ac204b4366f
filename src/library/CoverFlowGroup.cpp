#include "library/CoverFlowGroup.h"

#include "platform/AppLanguage.h"

#include <QHash>

QString CoverFlowGroup::title(Grouping grouping) {
    switch (grouping) {
    case Grouping::artists:
        return LZ("Artists");
    case Grouping::albums:
        return LZ("Albums");
    case Grouping::genres:
        return LZ("Genres");
    }
    return {};
}

QString CoverFlowGroup::unknownTitle(Grouping grouping) {
    switch (grouping) {
    case Grouping::artists:
        return LZ("Unknown Artist");
    case Grouping::albums:
        return LZ("Unknown Album");
    case Grouping::genres:
        return LZ("Unknown Genre");
    }
    return {};
}

QList<CoverFlowGroup> CoverFlowGroup::groups(const QList<Track>& tracks, Grouping grouping) {
    QList<CoverFlowGroup> result;
    QHash<ID, qsizetype> index;
    for (const Track& track : tracks) {
        ID key;
        switch (grouping) {
        case Grouping::artists:
            key = {track.artist, QString()};
            break;
        case Grouping::albums:
            key = {track.album, track.albumArtist.isEmpty() ? track.artist : track.albumArtist};
            break;
        case Grouping::genres:
            key = {track.genre, QString()};
            break;
        }
        const auto found = index.constFind(key);
        if (found != index.constEnd()) {
            result[*found].tracks.append(track);
        } else {
            index.insert(key, result.size());
            result.append(CoverFlowGroup{key, {track}});
        }
    }
    return result;
}

std::optional<quint64> CoverFlowGroup::artworkTrackID() const {
    if (tracks.isEmpty())
        return std::nullopt;
    for (const Track& track : tracks) {
        if (track.hasCoverArtwork)
            return track.id;
    }
    return tracks.first().id;
}
