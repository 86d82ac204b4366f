#pragma once

// Follows the mount table of this process (/proc/self/mountinfo, which the kernel flags for
// poll on every change) and reports which local volumes came and went. Linux has no rename
// event: a relabelled volume arrives as an unmount followed by a mount.

#include "platform/OwnedFd.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <set>
#include <utility>

class QSocketNotifier;

class MountWatcher : public QObject {
    Q_OBJECT

public:
    explicit MountWatcher(QObject* parent = nullptr);
    ~MountWatcher() override;

    // Whether the mount table could be opened for watching.
    bool isWatching() const { return notifier != nullptr; }

    // Compares the mount table with the last one seen and reports the difference; the watcher
    // calls it on every change, tests may call it directly.
    void check();

Q_SIGNALS:
    // One per local volume that is no longer mounted, with its mount point.
    void volumeDidUnmount(const QString& mountPoint);
    // After the unmounts of one change, when local volumes were mounted.
    void volumesDidMount(const QStringList& mountPoints);

private:
    // (mount ID, mount point): a mount moved elsewhere keeps its ID but counts as gone and new.
    using Mounts = std::set<std::pair<quint64, QString>>;
    static Mounts localMounts();

    OwnedFd fd;
    std::unique_ptr<QSocketNotifier> notifier;
    Mounts known;
};
