#pragma once

// The three bars that stand for the playing track in its table row: each 2 wide, between 3 and
// 11 high, moving with the time t (seconds since 1 January 2001), or standing at t = 0 while the
// desktop asks for less motion.

#include <QColor>
#include <QRectF>

class QPainter;

namespace NowPlayingIndicator {

inline constexpr int width = 10;
inline constexpr int height = 11;
// 24 frames a second.
inline constexpr int frameMilliseconds = 1000 / 24;

double barHeight(int bar, double t);
// Seconds since the reference date, now.
double currentTime();
// Draws the bars bottom-aligned in a width × height frame at topLeft.
void paint(QPainter& painter, const QPointF& topLeft, double t, const QColor& color);

} // namespace NowPlayingIndicator
