#include "browser/Surfaces.h"

#include "appmodel/LorvPalette.h"

#include <QWidget>

namespace Surfaces {

void fill(QWidget* widget, const QColor& color) {
    widget->setAutoFillBackground(true);
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, color);
    widget->setPalette(p);
}

QWidget* separator(QWidget* parent) {
    auto* line = new QWidget(parent);
    line->setFixedHeight(1);
    fill(line, LorvPalette::slate500());
    return line;
}

} // namespace Surfaces
