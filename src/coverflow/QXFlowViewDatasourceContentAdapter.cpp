#include "coverflow/QXFlowViewDatasourceContentAdapter.h"

#include "coverflow/QXFlowView.h"
#include "coverflow/QXInvalidParameter.h"

#include <stdexcept>

QXFlowViewDatasourceContentAdapter::QXFlowViewDatasourceContentAdapter(QXFlowView* flowView)
    : flowView_(flowView) {
    QX_PRECONDITION(flowView != nullptr, "aFlowView");
}

QXIndex QXFlowViewDatasourceContentAdapter::count() const {
    QXFlowView* view = flowView_;
    QXFlowViewDataSource* source = view ? view->dataSource() : nullptr;
    return source ? source->numberOfItemsInFlowView(*view) : 0;
}

std::string QXFlowViewDatasourceContentAdapter::outOfBoundsReason(QXIndex index, QXIndex count) {
    return "Index " + std::to_string(index) + " out of bounds (" + std::to_string(count) + ")";
}

QXFlowViewItemPtr
QXFlowViewDatasourceContentAdapter::objectAtIndexedSubscript(QXIndex index) const {
    const QXIndex n = count();
    // With no items there is nothing to forward to: a data source would index an empty list.
    if (index >= n) {
        if (n == 0)
            return nullptr;
        throw std::out_of_range(outOfBoundsReason(index, n));
    }
    QXFlowView* view = flowView_;
    QXFlowViewDataSource* source = view ? view->dataSource() : nullptr;
    return source ? source->itemAtIndex(*view, index) : nullptr;
}
