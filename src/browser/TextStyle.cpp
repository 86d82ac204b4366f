#include "browser/TextStyle.h"

#include <QGuiApplication>
#include <QWidget>

namespace TextStyle {

QFont sized(int pixels, QFont::Weight weight) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    widget->setPalette(p);
}

} // namespace TextStyle
