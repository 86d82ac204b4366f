#pragma once

// Listing of iOS devices over usbmuxd and lockdown, as plain dictionaries. Nothing here throws:
// a device that cannot be read is left out, a value that cannot be read is left unset.

#include "library/GLibHandles.h"

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <plist/plist.h>

#include <QList>
#include <QString>
#include <QVariantMap>

#include <cstdlib>
#include <memory>
#include <optional>

namespace MobileDeviceProbe {

// The label lockdown sees for our connections.
inline constexpr char clientLabel[] = "Lorvanel";

// Owners of what the C libraries hand out; each frees it on every path.
struct DeviceFree {
    void operator()(idevice_t device) const { idevice_free(device); }
};
struct LockdownFree {
    void operator()(lockdownd_client_t client) const { lockdownd_client_free(client); }
};
struct ServiceFree {
    void operator()(lockdownd_service_descriptor_t service) const {
        lockdownd_service_descriptor_free(service);
    }
};
struct MallocFree {
    void operator()(void* p) const { std::free(p); }
};
using DeviceHandle = std::unique_ptr<idevice_private, DeviceFree>;
using LockdownHandle = std::unique_ptr<lockdownd_client_private, LockdownFree>;
using ServiceHandle = std::unique_ptr<lockdownd_service_descriptor, ServiceFree>;
using PlistHandle = GLibHandles::PlistPtr;
using CString = std::unique_ptr<char, MallocFree>;

// One dictionary per accepted device, in list order; nothing when libimobiledevice cannot list
// devices at all, or when the running task is cancelled.
std::optional<QList<QVariantMap>> copyMobileDeviceList();

// Starts a lockdown session with the HostID of the usbmuxd pair record of udid; false when there
// is no pair record, it has no HostID or lockdown refuses.
bool startLockdownSession(lockdownd_client_t client, const char* udid);

// A non-empty string value of the lockdown key (no domain).
std::optional<QString> copyLockdownString(lockdownd_client_t client, const char* key);

void setLockdownString(QVariantMap& dictionary, const QString& dictionaryKey,
                       lockdownd_client_t client, const char* lockdownKey);

// An unsigned integer that fits a signed 64-bit integer is stored as one, a boolean as a
// boolean; anything else (or no node) stores nothing.
void setPlistNumberOrBool(QVariantMap& dictionary, const QString& key, plist_t node);

} // namespace MobileDeviceProbe
