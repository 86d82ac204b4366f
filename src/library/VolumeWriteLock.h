#pragma once

// The right to write to one mounted volume, exclusive across the processes of this machine: an
// advisory lock (flock) on the volume's root folder. It creates nothing on the volume, stays out
// of child processes, and goes with the process that held it however that ends. Holds within
// one process share one lock, from any thread, until the last of them ends.

#include <QString>

#include <sys/types.h>

// What a database session is opened for. A writing session holds its volume's lock from
// before it reads anything until it ends; a reading session never takes it, is never kept out
// by it, and writes nothing.
enum class SessionAccess { reading, writing };

class VolumeWriteLock {
public:
    // Takes the lock of the volume whose root folder is mountPoint, or shares this process's
    // hold of it. Never waits: throws IPodDatabaseError::deviceInUse when another process holds
    // it, and IPodDatabaseError::library when the folder cannot be opened or locked.
    explicit VolumeWriteLock(const QString& mountPoint);
    ~VolumeWriteLock();
    VolumeWriteLock(const VolumeWriteLock&) = delete;
    VolumeWriteLock& operator=(const VolumeWriteLock&) = delete;

    // Whether this process holds the lock of the volume whose root folder is mountPoint.
    static bool isHeld(const QString& mountPoint);

    struct Volume {
        dev_t device = 0;
        ino_t root = 0;
        auto operator<=>(const Volume&) const = default;
    };

private:
    Volume volume;
};
