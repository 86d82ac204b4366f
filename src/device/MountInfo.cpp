#include "device/MountInfo.h"

#include <QFile>
#include <QSet>

#include <optional>

bool MountInfoEntry::isReadOnly() const {
    return mountOptions.contains(QStringLiteral("ro")) ||
           superOptions.contains(QStringLiteral("ro"));
}

namespace MountInfo {

namespace {

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

std::optional<unsigned> parseNumber(const QByteArray& text) {
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || value > 0xFFFFFFFFu)
        return std::nullopt;
    return static_cast<unsigned>(value);
}

} // namespace

QString decodeField(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
            isOctal(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 0xFF) {
                out.append(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return QFile::decodeName(out);
}

std::vector<MountInfoEntry> parse(const QByteArray& text) {
    std::vector<MountInfoEntry> entries;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        // id parent major:minor root mount-point options [optional...] - type source super
        if (fields.size() < 10)
            continue;
        qsizetype separator = -1;
        for (qsizetype i = 6; i < fields.size(); ++i) {
            if (fields[i] == "-") {
                separator = i;
                break;
            }
        }
        if (separator < 0 || separator + 2 >= fields.size())
            continue;
        MountInfoEntry entry;
        bool ok = false;
        entry.mountID = fields[0].toULongLong(&ok, 10);
        if (!ok)
            continue;
        const QList<QByteArray> device = fields[2].split(':');
        if (device.size() != 2)
            continue;
        const auto major = parseNumber(device[0]);
        const auto minor = parseNumber(device[1]);
        if (!major || !minor)
            continue;
        entry.deviceMajor = *major;
        entry.deviceMinor = *minor;
        entry.root = decodeField(fields[3]);
        entry.mountPoint = decodeField(fields[4]);
        entry.mountOptions = QString::fromLatin1(fields[5]).split(u',');
        entry.fileSystemType = decodeField(fields[separator + 1]);
        entry.source = decodeField(fields[separator + 2]);
        if (separator + 3 < fields.size())
            entry.superOptions = decodeField(fields[separator + 3]).split(u',');
        if (!entry.mountPoint.startsWith(u'/'))
            continue;
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<MountInfoEntry> read() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // The file reports a size of 0; read it to the end.
    return parse(file.readAll());
}

bool isLocalFileSystem(const QString& type) {
    static const QSet<QString> excluded = {
        QStringLiteral("proc"),        QStringLiteral("sysfs"),
        QStringLiteral("devtmpfs"),    QStringLiteral("devpts"),
        QStringLiteral("cgroup"),      QStringLiteral("cgroup2"),
        QStringLiteral("debugfs"),     QStringLiteral("tracefs"),
        QStringLiteral("securityfs"),  QStringLiteral("bpf"),
        QStringLiteral("autofs"),      QStringLiteral("mqueue"),
        QStringLiteral("hugetlbfs"),   QStringLiteral("pstore"),
        QStringLiteral("configfs"),    QStringLiteral("fusectl"),
        QStringLiteral("binfmt_misc"), QStringLiteral("efivarfs"),
        QStringLiteral("rpc_pipefs"),  QStringLiteral("nsfs"),
        QStringLiteral("overlay"),     QStringLiteral("squashfs"),
        QStringLiteral("nfs"),         QStringLiteral("nfs4"),
        QStringLiteral("cifs"),        QStringLiteral("smb3"),
        QStringLiteral("smbfs"),       QStringLiteral("9p"),
        QStringLiteral("afs"),         QStringLiteral("ceph"),
        QStringLiteral("glusterfs"),   QStringLiteral("fuse.sshfs"),
        QStringLiteral("fuse.rclone"), QStringLiteral("fuse.gvfsd-fuse"),
        QStringLiteral("fuse.portal"), QStringLiteral("ramfs"),
        QStringLiteral("selinuxfs"),   QStringLiteral("ncpfs"),
        QStringLiteral("coda"),
    };
    return !type.isEmpty() && !excluded.contains(type);
}

QStringList mountedLocalVolumePaths() {
    QStringList paths;
    QSet<QString> seen;
    for (const MountInfoEntry& entry : read()) {
        if (!isLocalFileSystem(entry.fileSystemType) || seen.contains(entry.mountPoint))
            continue;
        seen.insert(entry.mountPoint);
        paths.append(entry.mountPoint);
    }
    return paths;
}

std::optional<MountInfoEntry> entryForMountPoint(const QString& path) {
    std::optional<MountInfoEntry> found;
    for (MountInfoEntry& entry : read()) {
        if (entry.mountPoint == path)
            found = std::move(entry);
    }
    return found;
}

} // namespace MountInfo
