#pragma once

// Where a flow view gets its items, and what it may do with them. The count and the items are
// required; every other operation is optional, and its default answers "not implemented"
// (none, or false for the operations without a result).

#include "coverflow/QXFlowViewItem.h"
#include "coverflow/QXNotFound.h"

#include <Qt>

#include <optional>

class QDropEvent;
class QMimeData;
class QXFlowView;

class QXFlowViewDataSource {
public:
    virtual ~QXFlowViewDataSource() = default;

    virtual QXIndex numberOfItemsInFlowView(QXFlowView& view) = 0;
    // Asked only for indexes below the count.
    virtual QXFlowViewItemPtr itemAtIndex(QXFlowView& view, QXIndex index) = 0;

    // A drop of URLs on the item at the index (QXNotFound: over no item).
    virtual std::optional<bool> acceptDrop(QXFlowView&, const QDropEvent&, QXIndex) {
        return std::nullopt;
    }
    // The operation a drop there would be; Qt::IgnoreAction for none.
    virtual std::optional<Qt::DropAction> validateDrop(QXFlowView&, const QDropEvent&, QXIndex) {
        return std::nullopt;
    }
    // Fills the drag data of the item being dragged out; true when there is something to drag.
    virtual std::optional<bool> writeItemAtIndex(QXFlowView&, QXIndex, QMimeData&) {
        return std::nullopt;
    }
    // The item was dragged to the trash; false: not implemented.
    virtual bool removeItemAtIndex(QXFlowView&, QXIndex) { return false; }
};
