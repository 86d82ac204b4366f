#pragma once

// Symbols of the interface: the installed Adwaita symbolic icons, tinted in code to a palette
// colour, with our own drawings where the theme has none or is missing.

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace SymbolIcon {

// The theme icon that stands for a symbol name of the interface ("gearshape",
// "battery.50percent", ...); empty for a name without one.
QString themeName(const QString& symbol);

// The symbol at size × size logical pixels, every opaque pixel in colour.
QPixmap pixmap(const QString& symbol, int size, const QColor& color, qreal devicePixelRatio = 1.0);

// An icon whose normal and disabled forms are the tinted symbol.
QIcon icon(const QString& symbol, int size, const QColor& color);

} // namespace SymbolIcon
