#pragma once

// What a flow view tells its client. Every operation is optional; the defaults do nothing and
// answer "not implemented" (false, or none).

#include "coverflow/QXNotFound.h"

#include <Qt>

#include <optional>

class QMouseEvent;
class QXFlowView;

class QXFlowViewDelegate {
public:
    virtual ~QXFlowViewDelegate() = default;

    // False: not implemented (the view falls back to its action, then to opening the item).
    virtual bool itemWasDoubleClickedAtIndex(QXFlowView&, QXIndex) { return false; }
    virtual bool itemWasRightClickedAtIndex(QXFlowView&, QXIndex, const QMouseEvent&) {
        return false;
    }
    // Told synchronously inside every change of the selection.
    virtual void flowViewSelectionDidChange(QXFlowView&) {}
    // The operations a drag of the selection out of the view allows.
    virtual std::optional<Qt::DropActions> sourceOperationMask(QXFlowView&) { return std::nullopt; }
};
