#include "device/MountWatcher.h"

#include "device/MountInfo.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

MountWatcher::MountWatcher(QObject* parent)
    : QObject(parent)
    , known(localMounts()) {
    fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    // The kernel reports a change as an exceptional condition (POLLPRI), once per change.
    notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Exception);
    connect(notifier.get(), &QSocketNotifier::activated, this, &MountWatcher::check);
}

MountWatcher::~MountWatcher() {
    notifier.reset();
    if (fd >= 0)
        ::close(fd);
}

std::map<quint64, QString> MountWatcher::localMounts() {
    std::map<quint64, QString> mounts;
    for (const MountInfoEntry& entry : MountInfo::read()) {
        if (MountInfo::isLocalFileSystem(entry.fileSystemType))
            mounts[entry.mountID] = entry.mountPoint;
    }
    return mounts;
}

void MountWatcher::check() {
    std::map<quint64, QString> current = localMounts();
    QStringList gone;
    QStringList added;
    for (const auto& [id, path] : known) {
        if (!current.count(id))
            gone.append(path);
    }
    for (const auto& [id, path] : current) {
        if (!known.count(id))
            added.append(path);
    }
    known = std::move(current);
    for (const QString& path : gone)
        Q_EMIT volumeDidUnmount(path);
    if (!added.isEmpty())
        Q_EMIT volumesDidMount(added);
}
