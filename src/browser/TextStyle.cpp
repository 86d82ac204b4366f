#include "browser/TextStyle.h"

#include "appmodel/InterfaceFont.h"

#include <QGuiApplication>
#include <QLabel>
#include <QWidget>

namespace TextStyle {

QFont sized(int pixels, QFont::Weight weight) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixels);
    return InterfaceFont::weighted(font, weight);
}

QString elided(const QFontMetrics& metrics, const QString& text, int width) {
    // elidedText cuts some texts that fit exactly.
    return metrics.horizontalAdvance(text) <= width
               ? text
               : metrics.elidedText(text, Qt::ElideRight, width);
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    widget->setPalette(p);
}

QLabel* label(const QFont& font, const QColor& color, QWidget* parent) {
    auto* out = new QLabel(parent);
    out->setFont(font);
    setTextColor(out, color);
    return out;
}

} // namespace TextStyle
