#include "coverflow/CoverFlowTrackModel.h"

#include <cmath>

CoverFlowTrackModel::CoverFlowTrackModel(QList<Track> tracks, QObject* parent)
    : QAbstractTableModel(parent)
    , tracks_(std::move(tracks)) {
}

void CoverFlowTrackModel::setTracks(QList<Track> tracks) {
    if (tracks.size() != tracks_.size()) {
        beginResetModel();
        tracks_ = std::move(tracks);
        endResetModel();
        return;
    }
    tracks_ = std::move(tracks);
    if (!tracks_.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(int(tracks_.size()) - 1, columnCount_ - 1));
}

QString CoverFlowTrackModel::formattedDuration(double seconds) {
    // Up to 100,000 hours; anything else is no length a track has.
    if (!std::isfinite(seconds) || seconds < 0 || seconds >= 3.6e8)
        return QStringLiteral("0:00");
    const long long total = static_cast<long long>(std::floor(seconds));
    const long long hours = total / 3600;
    const long long minutes = (total / 60) % 60;
    const long long rest = total % 60;
    if (hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(rest, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
}

int CoverFlowTrackModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(tracks_.size());
}

int CoverFlowTrackModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant CoverFlowTrackModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= tracks_.size() || index.column() >= columnCount_)
        return {};
    const Track& track = tracks_[index.row()];
    if (role == Qt::TextAlignmentRole) {
        const bool right = index.column() == number || index.column() == duration;
        return QVariant::fromValue(Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (Column(index.column())) {
    case number:
        return index.row() + 1;
    case title:
        return track.title;
    case artist:
        return track.artist;
    case album:
        return track.album;
    case duration:
        return formattedDuration(track.duration);
    default:
        return {};
    }
}
