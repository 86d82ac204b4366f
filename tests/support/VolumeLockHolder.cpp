#include "support/VolumeLockHolder.h"

namespace TestSupport {

std::unique_ptr<QProcess> holdVolumeLockElsewhere(const QString& root) {
    auto holder = std::make_unique<QProcess>();
    // The command does not hold the lock (--close): flock itself does, until the command ends.
    holder->start(QStringLiteral("flock"),
                  {QStringLiteral("--exclusive"), QStringLiteral("--close"), root,
                   QStringLiteral("sh"), QStringLiteral("-c"),
                   QStringLiteral("echo held; exec cat >/dev/null")});
    while (!holder->canReadLine() && holder->waitForReadyRead(60'000)) {
    }
    if (holder->readLine() != "held\n")
        return nullptr;
    return holder;
}

bool isVolumeLockFreeElsewhere(const QString& root) {
    return QProcess::execute(QStringLiteral("flock"),
                             {QStringLiteral("--exclusive"), QStringLiteral("--nonblock"), root,
                              QStringLiteral("true")}) == 0;
}

} // namespace TestSupport
