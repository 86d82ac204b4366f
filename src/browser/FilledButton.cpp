#include "browser/FilledButton.h"

#include "appmodel/LorvPalette.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int glyphSide = 13;
constexpr int glyphGap = 6;

} // namespace

FilledButton::FilledButton(const QString& symbol, QWidget* parent)
    : QAbstractButton(parent)
    , symbol_(symbol) {
    setFont(TextStyle::callout(QFont::Medium));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize FilledButton::sizeHint() const {
    const int textWidth = fontMetrics().horizontalAdvance(text());
    return {horizontalPadding * 2 + glyphSide + glyphGap + textWidth, buttonHeight};
}

QSize FilledButton::minimumSizeHint() const {
    return sizeHint();
}

void FilledButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(isEnabled() ? 1.0 : disabledOpacity);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    QColor fill = LorvPalette::periwinkle();
    if (isDown())
        fill = fill.darker(115);
    p.fillPath(shape, fill);
    if (hasFocus()) {
        p.setPen(QPen(LorvPalette::mist(), 1));
        p.drawPath(shape);
    }
    const int textWidth = fontMetrics().horizontalAdvance(text());
    const int contentWidth = glyphSide + glyphGap + textWidth;
    int x = (width() - contentWidth) / 2;
    const QPixmap icon =
        SymbolIcon::pixmap(symbol_, glyphSide, LorvPalette::ink(), devicePixelRatioF());
    if (!icon.isNull())
        p.drawPixmap(x, (height() - glyphSide) / 2, icon);
    x += glyphSide + glyphGap;
    p.setPen(LorvPalette::ink());
    p.drawText(QRect(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
}
