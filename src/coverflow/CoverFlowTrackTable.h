#pragma once

// The table the cover flow shows under its covers when the embedding pane gives no table of its
// own: the settled group's tracks, one row each, read-only.

#include "library/Track.h"

#include <QList>
#include <QTableView>

class CoverFlowTrackModel;

class CoverFlowTrackTable : public QTableView {
    Q_OBJECT

public:
    explicit CoverFlowTrackTable(const QList<Track>& tracks, QWidget* parent = nullptr);

    CoverFlowTrackModel* trackModel() const { return model_; }

private:
    CoverFlowTrackModel* model_;
};
