#include "library/TrackMetadata.h"

const QSet<QString>& TrackMetadata::defaultGenres() {
    static const QSet<QString> genres{
        QStringLiteral("Pop"),         QStringLiteral("Rock"), QStringLiteral("Electronic"),
        QStringLiteral("Hip Hop/Rap"), QStringLiteral("Jazz"), QStringLiteral("Classical"),
    };
    return genres;
}

std::optional<std::pair<QString, QString>> splitAtDashSeparator(const QString& text,
                                                                const QString& separator) {
    const qsizetype at = text.indexOf(separator, 0, Qt::CaseSensitive);
    if (at < 0 || separator.isEmpty())
        return std::nullopt;
    QString left = text.left(at).trimmed();
    QString right = text.mid(at + separator.size()).trimmed();
    if (left.isEmpty() || right.isEmpty())
        return std::nullopt;
    return std::pair{std::move(left), std::move(right)};
}

std::optional<TrackMetadata> TrackMetadata::splitArtistAndTitle() const {
    static const QString spaced = QStringLiteral(" - ");
    static const QString bare = QStringLiteral("-");
    const auto halves = splitAtDashSeparator(title, title.contains(spaced) ? spaced : bare);
    if (!halves)
        return std::nullopt;
    const QString currentArtist = artist.trimmed();
    if (!currentArtist.isEmpty() && currentArtist != halves->first)
        return std::nullopt;
    TrackMetadata result = *this;
    result.artist = halves->first;
    result.title = halves->second;
    return result;
}
