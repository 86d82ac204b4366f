#include "browser/NowPlayingIndicator.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace NowPlayingIndicator {

double barHeight(int bar, double t) {
    return 3.0 + 8.0 * (std::sin(1.5 * bar + t * (2 * bar + 7)) + 1.0) / 2.0;
}

double currentTime() {
    // 1 January 2001, 00:00 UTC, in seconds since the Unix epoch.
    constexpr qint64 referenceDate = 978307200;
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0 - double(referenceDate);
}

void paint(QPainter& painter, const QPointF& topLeft, double t, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    for (int bar = 0; bar < 3; ++bar) {
        const double h = barHeight(bar, t);
        const QRectF capsule(topLeft.x() + bar * 4.0, topLeft.y() + height - h, 2.0, h);
        painter.drawRoundedRect(capsule, 1.0, 1.0);
    }
    painter.restore();
}

} // namespace NowPlayingIndicator
