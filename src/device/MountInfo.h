#pragma once

// The mounted volumes of this process's mount namespace, read from /proc/self/mountinfo.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

struct MountInfoEntry {
    quint64 mountID = 0;
    unsigned deviceMajor = 0;
    unsigned deviceMinor = 0;
    QString root;       // the part of the file system that is mounted here
    QString mountPoint; // escapes decoded
    QStringList mountOptions;
    QString fileSystemType;
    QString source;
    QStringList superOptions;

    bool isReadOnly() const;
};

namespace MountInfo {

// Decodes the octal escapes the kernel writes for space, tab, newline and backslash ("\040").
QString decodeField(const QByteArray& field);

// Parses the text of a mountinfo file; malformed lines are skipped.
std::vector<MountInfoEntry> parse(const QByteArray& text);

// The current mounts; empty when the file cannot be read.
std::vector<MountInfoEntry> read();

// Whether a file system type is a local one worth looking at for iPods: not network, not a
// pseudo or automount file system (a stat on those can hang or trigger mounts).
bool isLocalFileSystem(const QString& fileSystemType);

// Mount points of the local file systems, in mount order, each listed once.
QStringList mountedLocalVolumePaths();

// The mount whose mount point is exactly this path (the last one when stacked).
std::optional<MountInfoEntry> entryForMountPoint(const QString& path);

} // namespace MountInfo
