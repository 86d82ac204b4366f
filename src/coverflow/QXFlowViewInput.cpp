// How the flow view answers the pointer, the keyboard, the wheel, its scroll bar and drags.

#include "coverflow/QXFlowView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QWheelEvent>

#include <cmath>

// Mouse.

void QXFlowView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        handleMouseDown(event, 1);
    event->accept();
}

void QXFlowView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click arrives as this event alone.
    if (event->button() == Qt::LeftButton)
        handleMouseDown(event, 2);
    event->accept();
}

void QXFlowView::handleMouseDown(QMouseEvent* event, int clickCount) {
    const QPointF point = event->position();
    handleScrollBarClick(point);
    handleItemClick(point, clickCount);
    QXLayer* hit = hitLayerAtPoint(point);
    selectedLayer_ = hit ? hit->weak_from_this() : std::weak_ptr<QXLayer>();
}

void QXFlowView::handleScrollBarClick(QPointF point) {
    const QPointF root = toRoot(point);
    if (scrollBarFrame().contains(root))
        scrollBarLayer_->mouseDownAtPoint(rootToLayer(root, *scrollBarLayer_, false));
}

void QXFlowView::handleItemClick(QPointF point, int clickCount) {
    const QXIndex index = indexOfItemAtPoint(point);
    if (index == QXNotFound)
        return;
    if (index != selectedIndex()) {
        setSelectedIndex(index);
        return;
    }
    if (clickCount == 2)
        doubleClickOnSelection();
    else
        pendingDragFrom = point; // a drag out starts once the pointer has moved far enough
}

void QXFlowView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF point = event->position();
    if (event->buttons() & Qt::LeftButton) {
        startDragIfMoved(event);
        scrollBarLayer_->mouseDraggedToPoint(rootToLayer(toRoot(point), *scrollBarLayer_, false));
    }
    updateTracking(point);
}

void QXFlowView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        scrollBarLayer_->endDrag();
        selectedLayer_.reset();
        pendingDragFrom.reset();
    } else if (event->button() == Qt::RightButton && delegate_) {
        const QXIndex index = indexOfItemAtPoint(event->position());
        if (index != QXNotFound)
            delegate_->itemWasRightClickedAtIndex(*this, index, *event);
    }
    event->accept();
}

void QXFlowView::doubleClickOnSelection() {
    const QXIndex selected = selectedIndex();
    if (delegate_ && delegate_->itemWasDoubleClickedAtIndex(*this, selected))
        return;
    if (isSignalConnected(QMetaMethod::fromSignal(&QXFlowView::actionTriggered))) {
        Q_EMIT actionTriggered();
        return;
    }
    if (const auto url = urlFromSelection())
        QDesktopServices::openUrl(*url);
}

// Keys and the wheel.

void QXFlowView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
        moveLeft();
        event->accept();
        return;
    case Qt::Key_Right:
        moveRight();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void QXFlowView::moveLeft() {
    const QXIndex selected = selectedIndex();
    if (selected != QXNotFound && selected > 0)
        setSelectedIndex(selected - 1);
}

void QXFlowView::moveRight() {
    const QXIndex selected = selectedIndex();
    if (selected != QXNotFound)
        setSelectedIndex(selected + 1);
}

void QXFlowView::wheelEvent(QWheelEvent* event) {
    scrollWheel(qx_scrollEvent(*event));
    event->accept();
}

void QXFlowView::scrollWheel(const QXScrollEvent& event) {
    changeSelectionFromEvent(event);
}

void QXFlowView::changeSelectionFromEvent(const QXScrollEvent& event) {
    const QXIndex selected = selectedIndex();
    const QXIndex count = numberOfItems();
    if (selected >= count)
        return;
    const double delta = event.dominantDeltaInXYSpace();
    if (!std::isfinite(delta))
        return;
    // Truncated toward zero, then kept within the items: an unsigned conversion of a negative
    // or huge value would be undefined.
    const double target = std::trunc(double(selected) + delta);
    if (target <= 0)
        setSelectedIndex(0);
    else if (target >= double(count - 1))
        setSelectedIndex(count - 1);
    else
        setSelectedIndex(QXIndex(target));
}

// The scroll bar's requests.

bool QXFlowView::knobDraggedToPosition(QXScrollBarLayer& bar, double position) {
    if (&bar != scrollBarLayer_.get() || std::isnan(position))
        return true;
    const QXIndex count = numberOfItems();
    if (count == 0)
        return true;
    const double p = std::clamp(position, 0.0, 1.0);
    setSelectedIndex(std::min(count - 1, QXIndex(p * double(count - 1))));
    return true;
}

bool QXFlowView::decrementClicked(QXScrollBarLayer& bar) {
    if (&bar == scrollBarLayer_.get())
        moveLeft();
    return true;
}

bool QXFlowView::incrementClicked(QXScrollBarLayer& bar) {
    if (&bar == scrollBarLayer_.get())
        moveRight();
    return true;
}

std::optional<double> QXFlowView::contentSize(QXScrollBarLayer&) {
    return layout_->contentSize().width();
}

std::optional<double> QXFlowView::visibleSize(QXScrollBarLayer&) {
    return coverFlowLayer_->bounds().width();
}

std::optional<double> QXFlowView::currentKnobPosition(QXScrollBarLayer&) {
    const QXIndex selected = selectedIndex();
    if (selected == QXNotFound)
        return 0.0;
    return double(selected) / double(std::max<QXIndex>(numberOfItems() - 1, 1));
}

// Dragging items out.

std::optional<QUrl> QXFlowView::urlFromSelection() const {
    const QXFlowViewItemPtr item = itemAt(selectedIndex());
    if (!item || !pathRepresentationTypes().contains(item->imageItemRepresentationType()))
        return std::nullopt;
    const QVariant representation = item->imageItemRepresentation();
    if (representation.metaType() == QMetaType::fromType<QUrl>())
        return representation.toUrl();
    const QString path = representation.toString();
    if (path.isEmpty())
        return std::nullopt;
    return QUrl::fromLocalFile(path);
}

bool QXFlowView::isPathRepresentationAtSelection() const {
    const QXFlowViewItemPtr item = itemAt(selectedIndex());
    return item && pathRepresentationTypes().contains(item->imageItemRepresentationType());
}

QImage QXFlowView::draggedImageForSelection() {
    const QXFlowViewItemPtr item = itemAt(selectedIndex());
    if (!item)
        return {};
    const QImage image = imageCache_->imageForUUID(item->imageItemUID());
    const QSize size = selectedItemFrame().size().toSize();
    if (image.isNull() || size.isEmpty())
        return {};
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

bool QXFlowView::initiateDragFromSelection(QMimeData& data) {
    if (dataSource_)
        if (const auto written = dataSource_->writeItemAtIndex(*this, selectedIndex(), data))
            return *written;
    const auto url = urlFromSelection();
    if (!url)
        return false;
    data.setUrls({*url});
    return true;
}

void QXFlowView::startDragIfMoved(QMouseEvent* event) {
    if (!pendingDragFrom || (event->position() - *pendingDragFrom).manhattanLength() <
                                QApplication::startDragDistance())
        return;
    pendingDragFrom.reset();
    auto data = std::make_unique<QMimeData>();
    if (!initiateDragFromSelection(*data))
        return;
    const std::optional<Qt::DropActions> mask =
        delegate_ ? delegate_->sourceOperationMask(*this) : std::nullopt;
    QDrag* drag = new QDrag(this);
    drag->setMimeData(data.release());
    const QImage image = draggedImageForSelection();
    if (!image.isNull()) {
        drag->setPixmap(QPixmap::fromImage(image));
        drag->setHotSpot((event->position() - selectedItemFrame().topLeft()).toPoint());
    }
    const Qt::DropAction result = drag->exec(mask.value_or(Qt::IgnoreAction));
    draggingSessionEnded(result);
}

void QXFlowView::draggingSessionEnded(Qt::DropAction operation) {
    // The desktop's trash takes a dragged item as a move.
    if (operation == Qt::MoveAction && dataSource_ && selectedIndex() != QXNotFound)
        dataSource_->removeItemAtIndex(*this, selectedIndex());
}

// Drops onto the view.

void QXFlowView::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData() || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    if (event->source() != this)
        highlightedLayer_ = backgroundLayer_;
    update();
    // Nothing to drop on yet; the moves that follow say where.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
}

void QXFlowView::dragMoveEvent(QDragMoveEvent* event) {
    const QXIndex index = indexOfItemAtPoint(event->position());
    highlightedLayer_.reset();
    std::optional<Qt::DropAction> operation;
    if ((event->source() != this || index != selectedIndex()) && dataSource_)
        operation = dataSource_->validateDrop(*this, *event, index);
    if (operation && *operation != Qt::IgnoreAction) {
        if (index == QXNotFound)
            highlightedLayer_ = backgroundLayer_;
        else if (QXLayer* item = coverFlowLayer_->contentLayerAtIndex(index))
            highlightedLayer_ = item->weak_from_this();
        event->setDropAction(*operation);
        event->accept();
    } else {
        event->ignore();
    }
    update();
}

void QXFlowView::dragLeaveEvent(QDragLeaveEvent* event) {
    highlightedLayer_.reset();
    update();
    event->accept();
}

void QXFlowView::dropEvent(QDropEvent* event) {
    const QXIndex index = indexOfItemAtPoint(event->position());
    std::optional<bool> accepted;
    if (index != QXNotFound && dataSource_)
        accepted = dataSource_->acceptDrop(*this, *event, index);
    event->setAccepted(accepted.value_or(false));
    highlightedLayer_.reset();
    update();
}
