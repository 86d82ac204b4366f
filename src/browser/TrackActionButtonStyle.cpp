#include "browser/TrackActionButtonStyle.h"

#include "appmodel/LorvPalette.h"
#include "browser/SymbolIcon.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace TrackActionButtonStyle {

namespace {

constexpr int glyphSize = 16;

} // namespace

const QColor& destructiveRed() {
    static const QColor red(0xFF, 0x45, 0x3A);
    return red;
}

Appearance appearance(bool isEnabled, bool isHovered, bool pressed, bool destructive) {
    const bool highlighted = isEnabled && (isHovered || pressed);
    Appearance out;
    if (highlighted) {
        out.foreground = destructive ? destructiveRed() : LorvPalette::mist();
        out.background = pressed ? LorvPalette::slate600() : LorvPalette::night700();
    } else {
        out.foreground = LorvPalette::fog();
        out.background = Qt::transparent;
    }
    out.opacity = isEnabled ? 1.0 : disabledOpacity;
    return out;
}

ActionIcon::ActionIcon(const QString& symbol, QWidget* parent)
    : QAbstractButton(parent)
    , symbol_(symbol) {
    setFixedSize(side, side);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::ArrowCursor);
}

void ActionIcon::setSymbol(const QString& symbol) {
    symbol_ = symbol;
    update();
}

void ActionIcon::setDestructive(bool destructive) {
    destructive_ = destructive;
    update();
}

QSize ActionIcon::sizeHint() const {
    return {side, side};
}

bool ActionIcon::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::HoverEnter:
        hovered_ = true;
        update();
        break;
    case QEvent::Leave:
    case QEvent::HoverLeave:
        hovered_ = false;
        update();
        break;
    default:
        break;
    }
    return QAbstractButton::event(event);
}

void ActionIcon::paintEvent(QPaintEvent*) {
    const Appearance look = appearance(isEnabled(), hovered_, isDown(), destructive_);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(look.opacity);
    if (look.background.alpha() > 0) {
        QPainterPath square;
        square.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
        painter.fillPath(square, look.background);
    }
    const QPixmap glyph =
        SymbolIcon::pixmap(symbol_, glyphSize, look.foreground, devicePixelRatioF());
    if (!glyph.isNull()) {
        const QPointF origin((width() - glyphSize) / 2.0, (height() - glyphSize) / 2.0);
        painter.drawPixmap(origin, glyph);
    }
}

} // namespace TrackActionButtonStyle
