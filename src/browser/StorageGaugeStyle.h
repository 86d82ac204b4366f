#pragma once

// The storage bar of a device card: a thin capsule track with a gradient fill in proportion to
// the used fraction.

#include <QWidget>

class QPainter;

namespace StorageGaugeStyle {

inline constexpr int barHeight = 6;

// Draws the bar into rect (its full width, `barHeight` high, vertically centred). value is clamped
// to 0...1; a value that is not a number draws the empty track.
void paint(QPainter& painter, const QRectF& rect, double value);

// The gauge as a widget of the offered width.
class Gauge : public QWidget {
    Q_OBJECT

public:
    explicit Gauge(QWidget* parent = nullptr);

    double value() const { return value_; }
    void setValue(double value);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double value_ = 0;
};

} // namespace StorageGaugeStyle
