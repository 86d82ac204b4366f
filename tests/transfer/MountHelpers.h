#pragma once

// Real small file systems for the fault tests: root only, skipped elsewhere.

#include <QDir>
#include <QProcess>
#include <QString>

#include <sys/mount.h>
#include <unistd.h>

class TmpfsMount {
public:
    // Mounts a tmpfs of sizeBytes at path (created); isMounted() says whether it worked.
    TmpfsMount(const QString& path, long long sizeBytes)
        : path_(path) {
        if (geteuid() != 0)
            return;
        QDir().mkpath(path);
        const QByteArray options = "size=" + QByteArray::number(sizeBytes) + ",mode=0755";
        mounted_ =
            ::mount("tmpfs", path.toLocal8Bit().constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~TmpfsMount() {
        if (mounted_)
            ::umount2(path_.toLocal8Bit().constData(), MNT_DETACH);
    }
    bool isMounted() const { return mounted_; }
    bool remountReadOnly() {
        return ::mount(nullptr, path_.toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                       nullptr) == 0;
    }
    // Detaches the mount from its path at once; open files keep working.
    bool detach() {
        if (!mounted_ || ::umount2(path_.toLocal8Bit().constData(), MNT_DETACH) != 0)
            return false;
        mounted_ = false;
        return true;
    }
    const QString& path() const { return path_; }

private:
    QString path_;
    bool mounted_ = false;
};
