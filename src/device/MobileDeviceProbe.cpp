#include "device/MobileDeviceProbe.h"

#include "platform/Task.h"

#include <usbmuxd.h>

#include <cstdint>
#include <limits>

namespace MobileDeviceProbe {

namespace {

struct DeviceListFree {
    void operator()(char** list) const { idevice_device_list_free(list); }
};

// Reads the values of a lockdown domain that the device dictionary keeps.
void copyDomainValues(QVariantMap& dictionary, lockdownd_client_t client, const char* domain,
                      std::initializer_list<std::pair<const char*, const char*>> keys) {
    plist_t raw = nullptr;
    const lockdownd_error_t status = lockdownd_get_value(client, domain, nullptr, &raw);
    PlistHandle values(raw);
    if (status != LOCKDOWN_E_SUCCESS || !values || plist_get_node_type(values.get()) != PLIST_DICT)
        return;
    for (const auto& [dictionaryKey, lockdownKey] : keys) {
        setPlistNumberOrBool(dictionary, QString::fromLatin1(dictionaryKey),
                             plist_dict_get_item(values.get(), lockdownKey));
    }
}

std::optional<QVariantMap> copyDeviceDictionary(const char* udid) {
    idevice_t rawDevice = nullptr;
    if (idevice_new(&rawDevice, udid) != IDEVICE_E_SUCCESS || !rawDevice)
        return std::nullopt;
    DeviceHandle device(rawDevice);

    lockdownd_client_t rawClient = nullptr;
    if (lockdownd_client_new(device.get(), &rawClient, clientLabel) != LOCKDOWN_E_SUCCESS ||
        !rawClient)
        return std::nullopt;
    LockdownHandle client(rawClient);

    const auto productType = copyLockdownString(client.get(), "ProductType");
    if (!productType || !(productType->startsWith(u"iPod") || productType->startsWith(u"iPad") ||
                          productType->startsWith(u"iPhone")))
        return std::nullopt;

    QVariantMap dictionary;
    dictionary.insert(QStringLiteral("ID"), QString::fromUtf8(udid));
    dictionary.insert(QStringLiteral("ProductType"), *productType);
    setLockdownString(dictionary, QStringLiteral("DeviceName"), client.get(), "DeviceName");
    setLockdownString(dictionary, QStringLiteral("MarketingName"), client.get(), "MarketingName");

    if (startLockdownSession(client.get(), udid)) {
        copyDomainValues(dictionary, client.get(), "com.apple.disk_usage",
                         {{"Capacity", "TotalDataCapacity"}, {"Available", "TotalDataAvailable"}});
        copyDomainValues(dictionary, client.get(), "com.apple.mobile.battery",
                         {{"BatteryPercent", "BatteryCurrentCapacity"},
                          {"Charging", "BatteryIsCharging"},
                          {"FullyCharged", "FullyCharged"}});
        setLockdownString(dictionary, QStringLiteral("IMEI"), client.get(),
                          "InternationalMobileEquipmentIdentity");
        setLockdownString(dictionary, QStringLiteral("ICCID"), client.get(),
                          "IntegratedCircuitCardIdentity");
    }
    return dictionary;
}

} // namespace

std::optional<QList<QVariantMap>> copyMobileDeviceList() {
    char** rawList = nullptr;
    int count = 0;
    if (idevice_get_device_list(&rawList, &count) != IDEVICE_E_SUCCESS)
        return std::nullopt;
    std::unique_ptr<char*, DeviceListFree> list(rawList);

    QList<QVariantMap> dictionaries;
    for (int i = 0; list && i < count && list.get()[i]; ++i) {
        // A cancelled poll publishes nothing rather than part of the devices.
        if (Task::isCancelled())
            return std::nullopt;
        if (auto dictionary = copyDeviceDictionary(list.get()[i]))
            dictionaries.append(std::move(*dictionary));
    }
    return dictionaries;
}

bool startLockdownSession(lockdownd_client_t client, const char* udid) {
    char* rawRecord = nullptr;
    uint32_t recordSize = 0;
    if (usbmuxd_read_pair_record(udid, &rawRecord, &recordSize) != 0 || !rawRecord)
        return false;
    CString record(rawRecord);

    plist_t rawPairRecord = nullptr;
    plist_from_memory(record.get(), recordSize, &rawPairRecord);
    PlistHandle pairRecord(rawPairRecord);
    if (!pairRecord || plist_get_node_type(pairRecord.get()) != PLIST_DICT)
        return false;
    plist_t hostIDNode = plist_dict_get_item(pairRecord.get(), "HostID");
    if (!hostIDNode || plist_get_node_type(hostIDNode) != PLIST_STRING)
        return false;
    char* rawHostID = nullptr;
    plist_get_string_val(hostIDNode, &rawHostID);
    CString hostID(rawHostID);
    if (!hostID || hostID.get()[0] == '\0')
        return false;
    return lockdownd_start_session(client, hostID.get(), nullptr, nullptr) == LOCKDOWN_E_SUCCESS;
}

std::optional<QString> copyLockdownString(lockdownd_client_t client, const char* key) {
    plist_t raw = nullptr;
    const lockdownd_error_t status = lockdownd_get_value(client, nullptr, key, &raw);
    PlistHandle node(raw);
    if (status != LOCKDOWN_E_SUCCESS || !node || plist_get_node_type(node.get()) != PLIST_STRING)
        return std::nullopt;
    char* rawValue = nullptr;
    plist_get_string_val(node.get(), &rawValue);
    CString value(rawValue);
    if (!value || value.get()[0] == '\0')
        return std::nullopt;
    return QString::fromUtf8(value.get());
}

void setLockdownString(QVariantMap& dictionary, const QString& dictionaryKey,
                       lockdownd_client_t client, const char* lockdownKey) {
    if (auto value = copyLockdownString(client, lockdownKey))
        dictionary.insert(dictionaryKey, *value);
}

void setPlistNumberOrBool(QVariantMap& dictionary, const QString& key, plist_t node) {
    if (!node)
        return;
    switch (plist_get_node_type(node)) {
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        if (value <= static_cast<uint64_t>(std::numeric_limits<qint64>::max()))
            dictionary.insert(key, static_cast<qint64>(value));
        break;
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        dictionary.insert(key, value != 0);
        break;
    }
    default:
        break;
    }
}

} // namespace MobileDeviceProbe
