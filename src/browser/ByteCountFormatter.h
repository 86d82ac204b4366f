#pragma once

// Byte counts as a file manager writes them: "Zero KB", "512 bytes", "12 KB", "1.2 MB",
// "4.56 GB", in the number format of the interface language.

#include "platform/AppLanguage.h"

#include <QString>
#include <QtGlobal>

namespace ByteCountFormatter {

enum class Style {
    file,   // powers of 1000
    memory, // powers of 1024
};

QString format(qint64 bytes, AppLanguage language, Style style = Style::file);

} // namespace ByteCountFormatter
