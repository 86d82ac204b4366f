#pragma once

// Another process taking a volume's write lock the way VolumeWriteLock takes it (an exclusive
// flock on the root folder), through util-linux's flock.

#include <QProcess>
#include <QString>

#include <memory>

namespace TestSupport {

// A process holding the lock of root until its input ends; killing it frees the lock. None when
// it did not get the lock.
std::unique_ptr<QProcess> holdVolumeLockElsewhere(const QString& root);

// Whether another process finds the lock of root free (it lets it go at once).
bool isVolumeLockFreeElsewhere(const QString& root);

} // namespace TestSupport
