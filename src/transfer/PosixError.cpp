#include "transfer/PosixError.h"

#include <cerrno>

PosixError PosixError::fromErrno(const QString& path) {
    return PosixError(errno, path);
}

QString PosixError::description(AppLanguage language) const {
    const QString message = systemErrorDescription(code_, language);
    // On a full disk the file is no help: it is often one of ours with a made-up name.
    if (path_.isEmpty() || isFullDiskError(code_))
        return message;
    return QStringLiteral("%1: %2").arg(path_, message);
}
