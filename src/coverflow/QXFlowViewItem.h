#pragma once

// One item of a flow view: what its image is made from, which decoder reads it, and the UID its
// decoded image is cached under (an item whose image changes must change its UID).

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QXFlowViewItem {
public:
    virtual ~QXFlowViewItem() = default;
    // Encoded bytes, an image, a URL, a path, ... as the representation type says.
    virtual QVariant imageItemRepresentation() const = 0;
    // One of the QXFlowView...RepresentationType constants.
    virtual QString imageItemRepresentationType() const = 0;
    virtual QString imageItemUID() const = 0;
    // None: the item does not answer, and the view shows an empty title.
    virtual std::optional<QString> imageItemTitle() const { return std::nullopt; }
};

using QXFlowViewItemPtr = std::shared_ptr<const QXFlowViewItem>;
