#include "browser/FormattedDuration.h"

#include <cmath>
#include <cstdint>

QString formattedDuration(double seconds) {
    std::int64_t s = 0;
    // 2^63 is exactly representable; anything at or beyond it (or NaN) would be undefined to
    // convert.
    if (std::isfinite(seconds) && seconds > 0 && seconds < 9223372036854775808.0)
        s = static_cast<std::int64_t>(seconds);
    if (s > 3599)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2")
        .arg(s / 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}
