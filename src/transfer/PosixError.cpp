#include "transfer/PosixError.h"

#include <cerrno>
#include <cstring>

PosixError PosixError::fromErrno(const QString& path) {
    return PosixError(errno, path);
}

QString PosixError::description(AppLanguage) const {
    char buffer[256] = {};
    // The GNU strerror_r returns the text, which may not be the buffer.
    const char* text = strerror_r(code_, buffer, sizeof buffer);
    const QString message = QString::fromLocal8Bit(text);
    return path_.isEmpty() ? message : QStringLiteral("%1: %2").arg(path_, message);
}
