#pragma once

// Whole numbers in the short compact form of the interface language, as sales figures are
// written: "25M", "4.5M" in English; "2500万", "450万", "1.2亿" in Simplified Chinese. Two
// significant digits below ten units, whole units above.

#include "platform/AppLanguage.h"

#include <QString>
#include <QtGlobal>

namespace CompactNumberFormat {

QString format(qint64 value, AppLanguage language);

} // namespace CompactNumberFormat
