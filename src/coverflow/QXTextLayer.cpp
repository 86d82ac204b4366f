#include "coverflow/QXTextLayer.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

QXTextLayer::QXTextLayer() {
    font_.setPixelSize(int(fontSize_));
}

void QXTextLayer::sizeMayHaveChanged() {
    setNeedsDisplay();
    // A superlayer laying this one out by its preferred size places it again.
    if (superlayer())
        superlayer()->setNeedsLayout();
}

void QXTextLayer::setString(const QString& string) {
    if (string_ == string)
        return;
    string_ = string;
    sizeMayHaveChanged();
}

void QXTextLayer::setFont(const QFont& font) {
    font_ = font;
    sizeMayHaveChanged();
}

void QXTextLayer::setFontSize(double size) {
    if (!std::isfinite(size) || size <= 0 || size == fontSize_)
        return;
    fontSize_ = size;
    sizeMayHaveChanged();
}

void QXTextLayer::setForegroundColor(const QColor& color) {
    foregroundColor_ = color;
    setNeedsDisplay();
}

void QXTextLayer::setAlignmentMode(AlignmentMode mode) {
    alignment_ = mode;
    setNeedsDisplay();
}

QFont QXTextLayer::effectiveFont() const {
    QFont f = font_;
    f.setPixelSize(std::max(1, int(std::lround(fontSize_))));
    return f;
}

std::optional<QSizeF> QXTextLayer::preferredFrameSize() const {
    const QFontMetricsF metrics(effectiveFont());
    return QSizeF(std::ceil(metrics.horizontalAdvance(string_)), std::ceil(metrics.height()));
}

void QXTextLayer::paintContents(QPainter& painter, const double colorScale[3]) {
    QXLayer::paintContents(painter, colorScale);
    const QRectF b = bounds();
    if (string_.isEmpty() || b.isEmpty() || !foregroundColor_.isValid() ||
        foregroundColor_.alpha() == 0)
        return;
    int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    switch (alignment_) {
    case AlignmentMode::right:
        flags |= Qt::AlignRight;
        break;
    case AlignmentMode::center:
        flags |= Qt::AlignHCenter;
        break;
    case AlignmentMode::justified:
        flags |= Qt::AlignJustify;
        break;
    default:
        flags |= Qt::AlignLeft;
        break;
    }
    painter.save();
    // Layer space is y-up; text is laid out top-down.
    painter.setWorldTransform(QTransform(1, 0, 0, -1, 0, b.top() + b.bottom()) *
                              painter.worldTransform());
    painter.setFont(effectiveFont());
    painter.setPen(scaled(foregroundColor_, colorScale));
    painter.drawText(b, flags, string_);
    painter.restore();
}
