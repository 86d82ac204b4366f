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
    if (!separator_.isEmpty()) {
        QStringList parts = text().split(separator_);
        while (parts.size() > 1) {
            parts.removeLast();
            const QString shortened = parts.join(separator_) + separator_ + QChar(0x2026);
            if (metrics.horizontalAdvance(shortened) <= width)
                return shortened;
        }
        // Not even the first part fits whole.
        return metrics.elidedText(parts.first(), mode_, width);
    }
    return metrics.elidedText(text(), mode_, width);
}

void ElidedLabel::setPartSeparator(const QString& separator) {
    separator_ = separator;
    update();
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
