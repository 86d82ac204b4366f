#pragma once

// The rows of the cover flow's own track table: the settled group's tracks numbered from 1 in
// group order, with title, artist, album and length.

#include "library/Track.h"

#include <QAbstractTableModel>
#include <QList>

class CoverFlowTrackModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { number, title, artist, album, duration, columnCount_ };

    explicit CoverFlowTrackModel(QList<Track> tracks, QObject* parent = nullptr);

    const QList<Track>& tracks() const { return tracks_; }
    // As many tracks as before change the cells in place (the view keeps its selection and
    // scroll position); another count resets the rows.
    void setTracks(QList<Track> tracks);
    // "m:ss", or "h:mm:ss" from an hour on; "0:00" for lengths that are not finite or negative.
    static QString formattedDuration(double seconds);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<Track> tracks_;
};
