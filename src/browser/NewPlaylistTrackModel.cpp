#include "browser/NewPlaylistTrackModel.h"

#include "platform/AppLanguage.h"

NewPlaylistTrackModel::NewPlaylistTrackModel(QObject* parent)
    : QAbstractTableModel(parent) {
}

void NewPlaylistTrackModel::setTracks(const QList<Track>& tracks) {
    beginResetModel();
    tracks_ = tracks;
    endResetModel();
}

void NewPlaylistTrackModel::setSelected(const QSet<quint64>& ids) {
    if (ids == selected_)
        return;
    selected_ = ids;
    if (!tracks_.isEmpty())
        Q_EMIT dataChanged(index(0, titleColumn), index(rowCount() - 1, titleColumn),
                           {Qt::CheckStateRole});
    Q_EMIT selectionEdited();
}

void NewPlaylistTrackModel::setTrackSelected(quint64 id, bool on) {
    if (on == selected_.contains(id))
        return;
    if (on)
        selected_.insert(id);
    else
        selected_.remove(id);
    // One track may be offered on several rows.
    for (int row = 0; row < tracks_.size(); ++row)
        if (tracks_[row].id == id)
            Q_EMIT dataChanged(index(row, titleColumn), index(row, titleColumn),
                               {Qt::CheckStateRole});
    Q_EMIT selectionEdited();
}

int NewPlaylistTrackModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(tracks_.size());
}

int NewPlaylistTrackModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant NewPlaylistTrackModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Track& track = tracks_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return index.column() == titleColumn ? track.title : track.artist;
    case Qt::CheckStateRole:
        if (index.column() == titleColumn)
            return selected_.contains(track.id) ? Qt::Checked : Qt::Unchecked;
        return {};
    default:
        return {};
    }
}

bool NewPlaylistTrackModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != titleColumn ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    setTrackSelected(tracks_[index.row()].id, value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags NewPlaylistTrackModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags out = Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == titleColumn)
        out |= Qt::ItemIsUserCheckable;
    return out;
}

QVariant NewPlaylistTrackModel::headerData(int section, Qt::Orientation orientation,
                                           int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    const AppLanguage language = AppLanguages::stored();
    if (section == titleColumn)
        return localizedString(LZ("Title"), language);
    if (section == artistColumn)
        return localizedString(LZ("Artist"), language);
    return {};
}

void NewPlaylistTrackModel::retranslate() {
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount_ - 1);
}
