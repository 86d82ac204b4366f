#pragma once

// The one way a flow view reads its items: a count and the item at an index below it.

#include "coverflow/QXFlowViewItem.h"
#include "coverflow/QXNotFound.h"

class QXFlowViewContentAdapter {
public:
    virtual ~QXFlowViewContentAdapter() = default;
    virtual QXIndex count() const = 0;
    // Null for an index at or past the count when the count is 0; throws std::out_of_range
    // ("Index i out of bounds (n)") for such an index otherwise.
    virtual QXFlowViewItemPtr objectAtIndexedSubscript(QXIndex index) const = 0;
};
