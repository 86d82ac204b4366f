#include "device/MountWatcher.h"

#include "device/MountInfo.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

MountWatcher::MountWatcher(QObject* parent)
    : QObject(parent)
    , known(localMounts()) {
    fd.reset(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    if (!fd.isValid())
        return;
    // The kernel reports a change as an exceptional condition (POLLPRI), once per change.
    notifier = std::make_unique<QSocketNotifier>(fd.get(), QSocketNotifier::Exception);
    connect(notifier.get(), &QSocketNotifier::activated, this, &MountWatcher::check);
}

MountWatcher::~MountWatcher() {
    // The notifier goes before the descriptor it watches.
    notifier.reset();
}

MountWatcher::Mounts MountWatcher::localMounts() {
    Mounts mounts;
    for (const MountInfoEntry& entry : MountInfo::read()) {
        if (MountInfo::isLocalFileSystem(entry.fileSystemType))
            mounts.emplace(entry.mountID, entry.mountPoint);
    }
    return mounts;
}

void MountWatcher::check() {
    Mounts current = localMounts();
    QStringList gone;
    QStringList added;
    for (const auto& mount : known) {
        if (!current.count(mount))
            gone.append(mount.second);
    }
    for (const auto& mount : current) {
        if (!known.count(mount))
            added.append(mount.second);
    }
    known = std::move(current);
    for (const QString& path : gone)
        Q_EMIT volumeDidUnmount(path);
    if (!added.isEmpty())
        Q_EMIT volumesDidMount(added);
}
