#include "browser/ActivitySpinner.h"

#include "appmodel/LorvPalette.h"
#include "appmodel/ReduceMotion.h"
#include "browser/TextStyle.h"

#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int spokes = 12;

class Wheel : public QWidget {
public:
    Wheel(QWidget* parent, int side)
        : QWidget(parent) {
        setFixedSize(side, side);
    }
    int step = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(width() / 2.0, height() / 2.0);
        // Drawn for 28 pixels, scaled to the wheel's side.
        const qreal scale = width() / 28.0;
        p.scale(scale, scale);
        for (int i = 0; i < spokes; ++i) {
            QColor color = LorvPalette::fog();
            // The spoke at the current step is brightest; the ones behind it fade.
            const int age = (step - i + spokes) % spokes;
            color.setAlphaF(float(1.0 - 0.75 * age / double(spokes - 1)));
            p.setPen(QPen(color, 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(0, -6.5), QPointF(0, -12));
            p.rotate(360.0 / spokes);
        }
    }
};

} // namespace

ActivitySpinner::ActivitySpinner(QWidget* parent, Size size)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(8);
    if (size == Size::small)
        column->setContentsMargins(0, 0, 0, 0);
    column->addStretch(1);
    wheel_ = new Wheel(this, size == Size::small ? 16 : 28);
    column->addWidget(wheel_, 0, Qt::AlignHCenter);
    label_ = TextStyle::label(TextStyle::body(), LorvPalette::fog(), this);
    column->addWidget(label_, 0, Qt::AlignHCenter);
    label_->setVisible(size == Size::regular);
    column->addStretch(1);
    timer_ = new QTimer(this);
    timer_->setInterval(1000 / spokes);
    connect(timer_, &QTimer::timeout, this, [this] {
        auto* wheel = static_cast<Wheel*>(wheel_);
        wheel->step = (wheel->step + 1) % spokes;
        wheel->update();
    });
}

void ActivitySpinner::setText(const QString& text) {
    label_->setText(text);
    setAccessibleName(text);
}

void ActivitySpinner::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!ReduceMotion::isOn())
        timer_->start();
}

void ActivitySpinner::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_->stop();
}
