#include "showcase/CompactNumberFormat.h"

#include <QLocale>

#include <array>
#include <cmath>

namespace CompactNumberFormat {

namespace {

struct Unit {
    double size;
    const char16_t* suffix;
};

// English groups by thousands, Chinese by ten thousands (万) and hundred millions (亿).
constexpr std::array<Unit, 4> englishUnits = {
    {{1e3, u"K"}, {1e6, u"M"}, {1e9, u"B"}, {1e12, u"T"}}};
constexpr std::array<Unit, 3> chineseUnits = {{{1e4, u"万"}, {1e8, u"亿"}, {1e12, u"万亿"}}};

// Digits without grouping, as compact forms write them.
QString plain(qint64 value, const QLocale& locale) {
    return locale.toString(value).remove(locale.groupSeparator());
}

template <std::size_t N>
QString compact(double magnitude, const std::array<Unit, N>& units, const QLocale& locale) {
    int unit = -1;
    for (int i = 0; i < int(N); ++i)
        if (magnitude >= units[std::size_t(i)].size)
            unit = i;
    if (unit < 0)
        return plain(qint64(magnitude), locale);
    for (;;) {
        const double scaled = magnitude / units[std::size_t(unit)].size;
        const double rounded = scaled < 10 ? std::round(scaled * 10) / 10 : std::round(scaled);
        // 999,950 rounds to 1000K: say 1M instead.
        if (unit + 1 < int(N) &&
            rounded * units[std::size_t(unit)].size >= units[std::size_t(unit + 1)].size) {
            ++unit;
            continue;
        }
        const QString digits = rounded == std::floor(rounded) ? plain(qint64(rounded), locale)
                                                              : locale.toString(rounded, 'f', 1);
        return digits + QString::fromUtf16(units[std::size_t(unit)].suffix);
    }
}

} // namespace

QString format(qint64 value, AppLanguage language) {
    const AppLanguage resolved = AppLanguages::resolved(language);
    const QLocale locale = AppLanguages::locale(resolved);
    const double magnitude = std::abs(double(value));
    const QString text = resolved == AppLanguage::simplifiedChinese
                             ? compact(magnitude, chineseUnits, locale)
                             : compact(magnitude, englishUnits, locale);
    return value < 0 ? locale.negativeSign() + text : text;
}

} // namespace CompactNumberFormat
