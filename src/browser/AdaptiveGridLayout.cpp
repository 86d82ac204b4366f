#include "browser/AdaptiveGridLayout.h"

#include <QWidget>

#include <algorithm>

AdaptiveGridLayout::AdaptiveGridLayout(int minimumColumnWidth, int spacing, QWidget* parent)
    : QLayout(parent)
    , minimumColumnWidth(minimumColumnWidth)
    , gap(spacing) {
}

AdaptiveGridLayout::~AdaptiveGridLayout() {
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

int AdaptiveGridLayout::columnCount(int width, int minimumColumnWidth, int spacing) {
    if (minimumColumnWidth <= 0)
        return 1;
    return std::max(1, (width + spacing) / (minimumColumnWidth + spacing));
}

int AdaptiveGridLayout::columns() const {
    const QMargins m = contentsMargins();
    return columnCount(geometry().width() - m.left() - m.right(), minimumColumnWidth, gap);
}

void AdaptiveGridLayout::addItem(QLayoutItem* item) {
    items.append(item);
}

int AdaptiveGridLayout::count() const {
    return static_cast<int>(items.size());
}

QLayoutItem* AdaptiveGridLayout::itemAt(int index) const {
    return index >= 0 && index < items.size() ? items.at(index) : nullptr;
}

QLayoutItem* AdaptiveGridLayout::takeAt(int index) {
    return index >= 0 && index < items.size() ? items.takeAt(index) : nullptr;
}

Qt::Orientations AdaptiveGridLayout::expandingDirections() const {
    return Qt::Horizontal;
}

int AdaptiveGridLayout::heightForWidth(int width) const {
    return arrange(QRect(0, 0, width, 0), false);
}

QSize AdaptiveGridLayout::sizeHint() const {
    const int width = minimumSize().width();
    return {width, heightForWidth(width)};
}

QSize AdaptiveGridLayout::minimumSize() const {
    // The height follows the width (heightForWidth); a fixed minimum height would be that of
    // the narrowest, tallest arrangement and force a scroll bar at every width.
    const QMargins m = contentsMargins();
    return {minimumColumnWidth + m.left() + m.right(), m.top() + m.bottom()};
}

void AdaptiveGridLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int AdaptiveGridLayout::arrange(const QRect& rect, bool place) const {
    const QRect area = rect.marginsRemoved(contentsMargins());
    const int cols = columnCount(area.width(), minimumColumnWidth, gap);
    const int columnWidth = std::max(1, (area.width() - gap * (cols - 1)) / cols);
    int y = area.top();
    int visible = 0;
    int rowHeight = 0;
    for (QLayoutItem* item : items) {
        if (item->isEmpty())
            continue;
        const int column = visible % cols;
        if (column == 0 && visible > 0) {
            y += rowHeight + gap;
            rowHeight = 0;
        }
        const int height = item->hasHeightForWidth() ? item->heightForWidth(columnWidth)
                                                     : item->sizeHint().height();
        if (place)
            item->setGeometry(
                QRect(area.left() + column * (columnWidth + gap), y, columnWidth, height));
        rowHeight = std::max(rowHeight, height);
        ++visible;
    }
    const QMargins m = contentsMargins();
    return (visible > 0 ? y + rowHeight - area.top() : 0) + m.top() + m.bottom();
}
