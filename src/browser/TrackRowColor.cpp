#include "browser/TrackRowColor.h"

#include <QPainter>

TrackRowColor::TrackRowColor(QObject* parent)
    : QStyledItemDelegate(parent) {
}

void TrackRowColor::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    // The row colour is painted once below, over the whole cell rectangle.
    option->backgroundBrush = Qt::NoBrush;
}

void TrackRowColor::paintRowColor(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) {
    // The view has already drawn its row panel, highlighted when selected; the cell covers it.
    const QVariant color = index.data(colorRole);
    QBrush brush = option.palette.brush(QPalette::Base);
    if (color.isValid()) {
        const QBrush given = color.userType() == QMetaType::QColor ? QBrush(color.value<QColor>())
                                                                   : color.value<QBrush>();
        if (given.style() != Qt::NoBrush)
            brush = given;
    }
    painter->fillRect(option.rect, brush);
}

void TrackRowColor::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    paintRowColor(painter, option, index);
    QStyleOptionViewItem cell = option;
    cell.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    QStyledItemDelegate::paint(painter, cell, index);
}
