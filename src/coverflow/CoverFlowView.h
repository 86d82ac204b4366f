#pragma once

// The library pane's cover-flow mode: one cover per group of the selected iPod's tracks, the
// shown group's caption over the bottom of the covers, buttons to step between groups and to
// make a playlist of the settled group, and under the covers the track table of the group the
// selection has rested on. Covers are read from the iPod in the background, only for the groups
// around a selection that has rested.

#include "device/IPodDevice.h"
#include "library/CoverFlowGroup.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

class IPodStore;

class CoverFlowView : public QWidget {
    Q_OBJECT

public:
    // Called with the settled group; empty when no playlist may be made (no button then).
    using AddPlaylistAction = std::function<void(const CoverFlowGroup&)>;
    // Makes the table shown under the covers for the settled group's tracks, in group order; the
    // view owns what it returns. Empty: the view's own table.
    using TrackTableBuilder = std::function<QWidget*(const QList<Track>& tracks)>;

    // The store is followed so that covers of a device it no longer selects are dropped.
    CoverFlowView(IPodStore& store, const IPodDevice& device, QList<CoverFlowGroup> groups,
                  QString unknownTitle, AddPlaylistAction addPlaylist = {},
                  TrackTableBuilder trackTable = {}, QWidget* parent = nullptr);
    ~CoverFlowView() override;

private:
    IPodStore& store;
    IPodDevice device;
    QList<CoverFlowGroup> groups;
    QString unknownTitle;
    AddPlaylistAction addPlaylist;
    TrackTableBuilder trackTable;
};
