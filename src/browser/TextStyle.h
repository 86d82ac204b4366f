#pragma once

// The text styles of the interface in logical pixels: body 13, callout 12, caption and caption2
// 10, title3 15, title2 17; and the colour a text is drawn in.

#include <QColor>
#include <QFont>

class QWidget;

namespace TextStyle {

QFont sized(int pixels, QFont::Weight weight = QFont::Normal);

inline QFont body(QFont::Weight weight = QFont::Normal) {
    return sized(13, weight);
}
inline QFont callout(QFont::Weight weight = QFont::Normal) {
    return sized(12, weight);
}
inline QFont caption(QFont::Weight weight = QFont::Normal) {
    return sized(10, weight);
}
inline QFont caption2(QFont::Weight weight = QFont::Normal) {
    return sized(10, weight);
}
inline QFont title3(QFont::Weight weight = QFont::Normal) {
    return sized(15, weight);
}
inline QFont title2(QFont::Weight weight = QFont::Normal) {
    return sized(17, weight);
}

// The colour the widget's text is drawn in, enabled or not.
void setTextColor(QWidget* widget, const QColor& color);

} // namespace TextStyle
