#pragma once

// The text styles of the interface in logical pixels: body 13, callout 12, caption and caption2
// 10, title3 15, title2 17; and the colour a text is drawn in.

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QString>

class QLabel;
class QWidget;

namespace TextStyle {

QFont sized(int pixels, QFont::Weight weight = QFont::Normal);

// The text as it is when it fits width, else cut short with an ellipsis at its end.
QString elided(const QFontMetrics& metrics, const QString& text, int width);

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

// A label drawn in this font and colour.
QLabel* label(const QFont& font, const QColor& color, QWidget* parent);

} // namespace TextStyle
