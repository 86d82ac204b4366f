#include "device/IPodEject.h"

#include "device/MountInfo.h"
#include "platform/OwnedFd.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QFile>
#include <QFileInfo>
#include <QVariantMap>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QString udisksService = QStringLiteral("org.freedesktop.UDisks2");
constexpr int udisksTimeoutMs = 120000;

// The device node mounted at mountPoint (the topmost mount there), or none when nothing is.
std::optional<QString> mountedSource(const QString& mountPoint) {
    const auto entry = MountInfo::entryForMountPoint(mountPoint);
    if (!entry)
        return std::nullopt;
    return entry->source;
}

IPodEjectError errnoError(int code) {
    switch (code) {
    case EBUSY:
        return IPodEjectError(IPodEjectError::Kind::busy, code);
    case EPERM:
    case EACCES:
        return IPodEjectError(IPodEjectError::Kind::notAllowed, code);
    case EINVAL:
    case ENOENT:
        return IPodEjectError(IPodEjectError::Kind::notMounted, code);
    default:
        return IPodEjectError(IPodEjectError::Kind::system, code);
    }
}

// Writes out everything cached for the volume, so that nothing is lost if the unmount below is
// refused and the user pulls the cable anyway.
void syncVolume(const QString& mountPoint) {
    const int fd =
        ::open(QFile::encodeName(mountPoint).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw errnoError(errno);
    const OwnedFd held(fd);
    if (::syncfs(fd) != 0)
        throw IPodEjectError(IPodEjectError::Kind::syncFailed, errno);
}

bool udisksRuns(const QDBusConnection& bus) {
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QDBusReply<bool> registered = bus.interface()->isServiceRegistered(udisksService);
    if (registered.isValid() && registered.value())
        return true;
    // Started on demand by the bus: the first call below activates it.
    QDBusInterface daemon(QStringLiteral("org.freedesktop.DBus"),
                          QStringLiteral("/org/freedesktop/DBus"),
                          QStringLiteral("org.freedesktop.DBus"), bus);
    const QDBusReply<QStringList> activatable = daemon.call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(udisksService);
}

IPodEjectError udisksError(const QDBusError& error) {
    const QString name = error.name();
    if (name == QLatin1String("org.freedesktop.UDisks2.Error.DeviceBusy"))
        return IPodEjectError(IPodEjectError::Kind::busy, EBUSY);
    if (name.startsWith(QLatin1String("org.freedesktop.UDisks2.Error.NotAuthorized")))
        return IPodEjectError(IPodEjectError::Kind::notAllowed, EPERM);
    if (name == QLatin1String("org.freedesktop.UDisks2.Error.NotMounted"))
        return IPodEjectError(IPodEjectError::Kind::notMounted, EINVAL);
    return IPodEjectError(IPodEjectError::Kind::service, 0, error.message());
}

// The udisks2 block object of a device node, or none when the service does not know it.
std::optional<QString> udisksBlock(const QDBusConnection& bus, const QString& device) {
    QDBusInterface manager(udisksService, QStringLiteral("/org/freedesktop/UDisks2/Manager"),
                           QStringLiteral("org.freedesktop.UDisks2.Manager"), bus);
    const QDBusReply<QList<QDBusObjectPath>> objects =
        manager.call(QStringLiteral("ResolveDevice"), QVariantMap{{QStringLiteral("path"), device}},
                     QVariantMap{});
    if (!objects.isValid() || objects.value().isEmpty())
        return std::nullopt;
    return objects.value().first().path();
}

// Unmounts through udisks2 and powers the drive off when it allows; false when udisks2 does
// not manage this device (the caller then unmounts by itself).
bool ejectThroughUdisks(const QString& device) {
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!udisksRuns(bus))
        return false;
    const std::optional<QString> block = udisksBlock(bus, device);
    if (!block)
        return false;
    QDBusInterface filesystem(udisksService, *block,
                              QStringLiteral("org.freedesktop.UDisks2.Filesystem"), bus);
    filesystem.setTimeout(udisksTimeoutMs);
    const QDBusMessage unmounted = filesystem.call(QStringLiteral("Unmount"), QVariantMap{});
    if (unmounted.type() == QDBusMessage::ErrorMessage)
        throw udisksError(QDBusError(unmounted));

    QDBusInterface blockInterface(udisksService, *block,
                                  QStringLiteral("org.freedesktop.UDisks2.Block"), bus);
    const QString drive = blockInterface.property("Drive").value<QDBusObjectPath>().path();
    if (drive.isEmpty() || drive == QLatin1String("/"))
        return true;
    QDBusInterface driveInterface(udisksService, drive,
                                  QStringLiteral("org.freedesktop.UDisks2.Drive"), bus);
    driveInterface.setTimeout(udisksTimeoutMs);
    if (driveInterface.property("CanPowerOff").toBool()) {
        // The volume is already safely unmounted; a drive that will not power off can still be
        // unplugged, so its refusal is not an eject failure.
        driveInterface.call(QStringLiteral("PowerOff"), QVariantMap{});
    }
    return true;
}

} // namespace

IPodEjectError::IPodEjectError(Kind kind, int code, QString detail)
    : kind_(kind)
    , code_(code)
    , detail_(std::move(detail)) {
}

QString IPodEjectError::description(AppLanguage language) const {
    const QString reason = qt_error_string(code_);
    switch (kind_) {
    case Kind::notMounted:
        return localizedString(LZ("The volume is no longer mounted."), language);
    case Kind::busy:
        return localizedString(
            LZ("The volume is in use. Close the files open on it and try again."), language);
    case Kind::notAllowed:
        return localizedString(LZ("You do not have permission to eject this volume."), language);
    case Kind::syncFailed:
        return localizedString(LZ("Its data could not be written to the device: %1"), language,
                               reason);
    case Kind::system:
        return localizedString(LZ("The volume could not be unmounted: %1"), language, reason);
    case Kind::service:
        return localizedString(LZ("The disk service refused: %1"), language, detail_);
    }
    return {};
}

namespace IPodEject {

void eject(const QString& mountPath, const IdentityCheck& identityCheck) {
    if (identityCheck)
        identityCheck();
    const QString mountPoint = QFileInfo(mountPath).canonicalFilePath();
    const std::optional<QString> source =
        mountPoint.isEmpty() ? std::nullopt : mountedSource(mountPoint);
    if (!source)
        throw IPodEjectError(IPodEjectError::Kind::notMounted, ENOENT);
    syncVolume(mountPoint);
    if (ejectThroughUdisks(*source))
        return;
    if (::umount2(QFile::encodeName(mountPoint).constData(), UMOUNT_NOFOLLOW) != 0)
        throw errnoError(errno);
}

QString failureMessage(const QString& name, const QString& reason, AppLanguage language) {
    return localizedString(LZ("Could not eject %1.\n%2"), language, name, reason);
}

} // namespace IPodEject
