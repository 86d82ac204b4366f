// Draws the application's default cover picture, a square PNG, at build time.

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

constexpr int side = 512;

void drawBackground(QPainter& p) {
    QLinearGradient sky(0, 0, side, side);
    sky.setColorAt(0.0, QColor(38, 39, 67));
    sky.setColorAt(0.55, QColor(25, 30, 43));
    sky.setColorAt(1.0, QColor(59, 48, 84));
    p.fillRect(QRect(0, 0, side, side), sky);
    QRadialGradient glow(QPointF(side * 0.3, side * 0.25), side * 0.7);
    glow.setColorAt(0.0, QColor(129, 140, 248, 90));
    glow.setColorAt(1.0, QColor(129, 140, 248, 0));
    p.fillRect(QRect(0, 0, side, side), glow);
}

void drawDisc(QPainter& p) {
    const QPointF centre(side * 0.5, side * 0.5);
    QRadialGradient vinyl(centre, side * 0.36);
    vinyl.setColorAt(0.0, QColor(48, 59, 80));
    vinyl.setColorAt(1.0, QColor(18, 22, 34));
    p.setPen(Qt::NoPen);
    p.setBrush(vinyl);
    p.drawEllipse(centre, side * 0.36, side * 0.36);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 6; ++i) {
        p.setPen(QPen(QColor(103, 125, 164, 60 - i * 6), 2));
        const double r = side * (0.33 - i * 0.03);
        p.drawEllipse(centre, r, r);
    }
    QLinearGradient label(centre - QPointF(60, 60), centre + QPointF(60, 60));
    label.setColorAt(0.0, QColor(85, 184, 248));
    label.setColorAt(1.0, QColor(197, 151, 244));
    p.setPen(Qt::NoPen);
    p.setBrush(label);
    p.drawEllipse(centre, side * 0.12, side * 0.12);
    p.setBrush(QColor(16, 19, 29));
    p.drawEllipse(centre, side * 0.018, side * 0.018);
}

// A pair of beamed eighth notes over the disc.
void drawNote(QPainter& p) {
    const QColor ink(241, 244, 251, 235);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const double headW = 46, headH = 34;
    const QPointF left(side * 0.60, side * 0.80), right(side * 0.80, side * 0.75);
    for (const QPointF& c : {left, right}) {
        p.save();
        p.translate(c);
        p.rotate(-20);
        p.drawEllipse(QPointF(0, 0), headW / 2, headH / 2);
        p.restore();
    }
    const double stem = 12, rise = side * 0.30;
    p.drawRect(QRectF(left.x() + headW / 2 - stem, left.y() - rise, stem, rise));
    p.drawRect(QRectF(right.x() + headW / 2 - stem, right.y() - rise, stem, rise));
    QPainterPath beam;
    beam.moveTo(left.x() + headW / 2 - stem, left.y() - rise);
    beam.lineTo(right.x() + headW / 2, right.y() - rise);
    beam.lineTo(right.x() + headW / 2, right.y() - rise + 30);
    beam.lineTo(left.x() + headW / 2 - stem, left.y() - rise + 30);
    beam.closeSubpath();
    p.drawPath(beam);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawBackground(p);
        drawDisc(p);
        drawNote(p);
    }
    if (!image.convertToFormat(QImage::Format_RGB32).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
