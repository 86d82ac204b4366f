#include "browser/TextStyle.h"

#include <QGuiApplication>

namespace TextStyle {

QFont sized(int pixels, QFont::Weight weight) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

} // namespace TextStyle
