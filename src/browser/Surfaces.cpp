#include "browser/Surfaces.h"

#include "appmodel/LorvPalette.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace Surfaces {

void fill(QWidget* widget, const QColor& color) {
    widget->setAutoFillBackground(true);
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, color);
    widget->setPalette(p);
}

QWidget* separator(QWidget* parent) {
    auto* line = new QWidget(parent);
    line->setFixedHeight(1);
    fill(line, LorvPalette::slate500());
    return line;
}

QPainterPath paintPanel(QPainter& painter, const QRect& rect, qreal radius, const QColor& fill,
                        const QColor& border) {
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.fillPath(shape, fill);
    if (border.isValid()) {
        painter.setPen(QPen(border, 1));
        painter.drawPath(shape);
    }
    return shape;
}

void fillRounded(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color) {
    QPainterPath shape;
    shape.addRoundedRect(rect, radius, radius);
    painter.fillPath(shape, color);
}

} // namespace Surfaces
