#include "coverflow/CoverFlowTrackTable.h"

#include "appmodel/LorvPalette.h"
#include "coverflow/CoverFlowTrackModel.h"

#include <QHeaderView>

CoverFlowTrackTable::CoverFlowTrackTable(const QList<Track>& tracks, QWidget* parent)
    : QTableView(parent)
    , model_(new CoverFlowTrackModel(tracks, this)) {
    setModel(model_);
    setObjectName(QStringLiteral("coverFlowTrackTable"));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setShowGrid(false);
    setAlternatingRowColors(true);
    setWordWrap(false);
    setFrameShape(QFrame::NoFrame);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    QHeaderView* columns = horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setSectionResizeMode(CoverFlowTrackModel::title, QHeaderView::Stretch);
    columns->resizeSection(CoverFlowTrackModel::number, 44);
    columns->resizeSection(CoverFlowTrackModel::artist, 200);
    columns->resizeSection(CoverFlowTrackModel::album, 200);
    columns->resizeSection(CoverFlowTrackModel::duration, 64);
    QPalette colors = palette();
    colors.setColor(QPalette::Base, LorvPalette::night800());
    colors.setColor(QPalette::AlternateBase, LorvPalette::night700());
    colors.setColor(QPalette::Text, LorvPalette::mist());
    setPalette(colors);
}
