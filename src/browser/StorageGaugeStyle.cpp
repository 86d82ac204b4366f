#include "browser/StorageGaugeStyle.h"

#include "appmodel/LorvPalette.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace StorageGaugeStyle {

namespace {

QPainterPath capsule(const QRectF& rect) {
    QPainterPath path;
    const qreal radius = std::min(rect.height(), rect.width()) / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

void paint(QPainter& painter, const QRectF& rect, double value) {
    const double fraction = std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
    const QRectF track(rect.left(), rect.center().y() - barHeight / 2.0, rect.width(), barHeight);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(capsule(track), LorvPalette::slate600());
    const qreal fillWidth = track.width() * fraction;
    if (fillWidth > 0) {
        // The gradient runs across the fill itself: sky at its start, periwinkle at its end.
        const QRectF fill(track.left(), track.top(), fillWidth, track.height());
        QLinearGradient gradient(fill.topLeft(), fill.topRight());
        gradient.setColorAt(0, LorvPalette::sky());
        gradient.setColorAt(1, LorvPalette::periwinkle());
        painter.fillPath(capsule(fill), gradient);
    }
    painter.restore();
}

Gauge::Gauge(QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(barHeight);
}

void Gauge::setValue(double value) {
    if (value == value_)
        return;
    value_ = value;
    update();
}

QSize Gauge::sizeHint() const {
    return {100, barHeight};
}

QSize Gauge::minimumSizeHint() const {
    return {barHeight, barHeight};
}

void Gauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QRectF(rect()), value_);
}

} // namespace StorageGaugeStyle
