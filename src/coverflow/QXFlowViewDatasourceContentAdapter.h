#pragma once

// The content adapter of a flow view that has a data source: count and items are asked of the
// view's data source each time.

#include "coverflow/QXFlowViewContentAdapter.h"

#include <QPointer>

class QXFlowView;

class QXFlowViewDatasourceContentAdapter : public QXFlowViewContentAdapter {
public:
    // Throws QXInvalidParameter("aFlowView") without a view.
    explicit QXFlowViewDatasourceContentAdapter(QXFlowView* flowView);

    QXFlowView* flowView() const { return flowView_; }
    // 0 without a view or a data source.
    QXIndex count() const override;
    QXFlowViewItemPtr objectAtIndexedSubscript(QXIndex index) const override;

    // The reason of the range error.
    static std::string outOfBoundsReason(QXIndex index, QXIndex count);

private:
    QPointer<QXFlowView> flowView_;
};
