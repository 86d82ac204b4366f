#pragma once

// A stand-in for the open helper that waits before it runs: each start appends its process id
// to a log, then waits for a line on a fifo, then runs the real helper with its arguments.

#include <QFile>
#include <QString>

namespace TestSupport {

// Writes the script at path; false when it could not be written.
inline bool writeWaitingHelper(const QString& path, const QString& log, const QString& fifo,
                               const QByteArray& helper) {
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        return false;
    script.write("#!/bin/sh\necho $$ >> '" + QFile::encodeName(log) + "'\nread line < '" +
                 QFile::encodeName(fifo) + "'\nexec '" + helper + "' \"$@\"\n");
    script.close();
    return script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
}

} // namespace TestSupport
