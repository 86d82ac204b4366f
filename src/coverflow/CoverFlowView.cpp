#include "coverflow/CoverFlowView.h"

#include "device/IPodStore.h"

CoverFlowView::CoverFlowView(IPodStore& store, const IPodDevice& device,
                             QList<CoverFlowGroup> groups, QString unknownTitle,
                             AddPlaylistAction addPlaylist, TrackTableBuilder trackTable,
                             QWidget* parent)
    : QWidget(parent)
    , store(store)
    , device(device)
    , groups(std::move(groups))
    , unknownTitle(std::move(unknownTitle))
    , addPlaylist(std::move(addPlaylist))
    , trackTable(std::move(trackTable)) {
}

CoverFlowView::~CoverFlowView() = default;
