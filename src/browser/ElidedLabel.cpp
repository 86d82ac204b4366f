#include "browser/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget* parent)
    : QLabel(parent)
    , mode_(mode) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    // Never wider than the layout allows: a long text shortens rather than pushing its
    // neighbours (or the window) aside.
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
}

QString ElidedLabel::shownText() const {
    const QFontMetrics metrics = fontMetrics();
    const int width = contentsRect().width() - 2 * margin();
    if (metrics.horizontalAdvance(text()) <= width)
        return text();
    return metrics.elidedText(text(), mode_, width);
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, area, int(alignment()) | Qt::TextSingleLine, palette(),
                          isEnabled(), shownText(), foregroundRole());
}
