#include "showcase/CapsuleChip.h"

#include "artwork/DeviceArt.h"
#include "showcase/ShowcaseDrawing.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

CapsuleChip::CapsuleChip(const Style& style, QWidget* parent)
    : QWidget(parent)
    , style_(style) {
    setSizePolicy(style.minimumScale < 1 ? QSizePolicy::Preferred : QSizePolicy::Fixed,
                  QSizePolicy::Fixed);
}

void CapsuleChip::setRuns(const QList<Run>& runs) {
    if (runs == runs_)
        return;
    runs_ = runs;
    setAccessibleName(text());
    updateGeometry();
    update();
}

QString CapsuleChip::text() const {
    QStringList parts;
    for (const Run& run : runs_)
        parts << run.text;
    return parts.join(u' ');
}

QFont CapsuleChip::fontFor(const Run& run, double scale) const {
    return ShowcaseDrawing::font(style_.fontSize * scale,
                                 run.weight != QFont::Normal ? run.weight : style_.weight, this);
}

double CapsuleChip::naturalWidth(double scale) const {
    double w = 0;
    for (const Run& run : runs_)
        w += ShowcaseDrawing::lineWidth(run.text, fontFor(run, scale));
    if (runs_.size() > 1)
        w += style_.spacing * (runs_.size() - 1);
    return w;
}

QSize CapsuleChip::sizeHint() const {
    double h = style_.height;
    if (h <= 0)
        h = QFontMetricsF(ShowcaseDrawing::font(style_.fontSize, style_.weight, this)).height() +
            2 * style_.paddingY;
    return QSize(int(std::ceil(naturalWidth(1) + 2 * style_.paddingX)), int(std::ceil(h)));
}

QSize CapsuleChip::minimumSizeHint() const {
    if (style_.minimumScale >= 1)
        return sizeHint();
    return QSize(int(std::ceil(2 * style_.paddingX)), sizeHint().height());
}

void CapsuleChip::paintEvent(QPaintEvent*) {
    if (runs_.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(rect());
    if (style_.background.isValid())
        p.fillPath(style_.radius < 0 ? ShowcaseDrawing::capsule(r)
                                     : DeviceArt::roundedRect(r, style_.radius),
                   style_.background);
    const double room = std::max(0.0, r.width() - 2 * style_.paddingX);
    const double natural = naturalWidth(1);
    const double scale = natural > room ? std::max(style_.minimumScale, room / natural) : 1.0;
    const double used = naturalWidth(scale);
    double x = style_.paddingX + std::max(0.0, (room - used) / 2);
    const double right = r.width() - style_.paddingX;
    for (const Run& run : runs_) {
        const QFont font = fontFor(run, scale);
        const double w = ShowcaseDrawing::lineWidth(run.text, font);
        ShowcaseDrawing::FittedLine line =
            ShowcaseDrawing::fitLine(run.text, font, std::max(0.0, right - x), 1.0);
        ShowcaseDrawing::drawLine(p, line, QRectF(x, 0, line.width, r.height()),
                                  Qt::AlignLeft | Qt::AlignVCenter, run.colour);
        x += w + style_.spacing;
        if (x >= right)
            break;
    }
}
