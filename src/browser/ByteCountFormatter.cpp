#include "browser/ByteCountFormatter.h"

#include <QLocale>

#include <array>
#include <cmath>

namespace ByteCountFormatter {

QString format(qint64 bytes, AppLanguage language, Style style) {
    if (bytes == 0)
        return localizedString(LZ("Zero KB"), language);
    const QLocale locale = AppLanguages::locale(language);
    const bool negative = bytes < 0;
    // Magnitude as a double: |INT64_MIN| does not fit the integer type.
    const double magnitude = std::fabs(static_cast<double>(bytes));
    const QString sign = negative ? locale.negativeSign() : QString();
    if (magnitude < (style == Style::file ? 1000.0 : 1024.0)) {
        const QString count = sign + QString::number(static_cast<qint64>(magnitude));
        return magnitude == 1.0 ? localizedString(LZ("%1 byte"), language, count)
                                : localizedString(LZ("%1 bytes"), language, count);
    }
    static constexpr std::array<const char*, 6> units = {"KB", "MB", "GB", "TB", "PB", "EB"};
    const double base = style == Style::file ? 1000.0 : 1024.0;
    std::size_t unit = 0;
    double value = magnitude / base;
    while (unit + 1 < units.size()) {
        // KB whole, MB with one digit, larger units with two; a value that rounds up to the next
        // unit is written in that unit ("1 MB", not "1,000 KB").
        const int digits = unit == 0 ? 0 : unit == 1 ? 1 : 2;
        const double scale = std::pow(10.0, digits);
        if (std::round(value * scale) / scale < base)
            break;
        value /= base;
        ++unit;
    }
    const int digits = unit == 0 ? 0 : unit == 1 ? 1 : 2;
    const double scale = std::pow(10.0, digits);
    const double rounded = std::round(value * scale) / scale;
    QString number = locale.toString(rounded, 'f', digits);
    if (digits > 0) {
        // Trailing zeros are dropped: "80 GB", "1.5 GB".
        const QString point = locale.decimalPoint();
        while (number.endsWith(u'0') && number.contains(point))
            number.chop(1);
        if (number.endsWith(point))
            number.chop(point.size());
    }
    return sign + number + u' ' + QLatin1String(units[unit]);
}

} // namespace ByteCountFormatter
