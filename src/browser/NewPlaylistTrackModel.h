#pragma once

// The tracks offered by the new-playlist sheet, as a two-column table: "Title" with a check box
// telling whether the track goes into the playlist, and "Artist". The ticked set covers every
// offered track, also those the search hides, so it outlives a change of the rows.

#include "library/Track.h"

#include <QAbstractTableModel>
#include <QList>
#include <QSet>

class NewPlaylistTrackModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        titleColumn,
        artistColumn,
        columnCount_,
    };

    explicit NewPlaylistTrackModel(QObject* parent = nullptr);

    // The rows shown, in their order.
    void setTracks(const QList<Track>& tracks);
    const QList<Track>& tracks() const { return tracks_; }

    const QSet<quint64>& selected() const { return selected_; }
    void setSelected(const QSet<quint64>& ids);
    bool isTrackSelected(quint64 id) const { return selected_.contains(id); }
    void setTrackSelected(quint64 id, bool on);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Column titles follow the interface language.
    void retranslate();

Q_SIGNALS:
    void selectionEdited();

private:
    QList<Track> tracks_;
    QSet<quint64> selected_;
};
