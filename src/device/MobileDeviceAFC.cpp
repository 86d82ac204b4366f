#include "device/MobileDeviceAFC.h"

#include "device/MobileDeviceProbe.h"

#include <libimobiledevice/afc.h>

namespace {

using namespace MobileDeviceProbe;

struct AFCFree {
    void operator()(afc_client_t afc) const { afc_client_free(afc); }
};
using AFCHandle = std::unique_ptr<afc_client_private, AFCFree>;

struct InfoListFree {
    void operator()(char** list) const { afc_dictionary_free(list); }
};

class DeviceAFC final : public MobileDeviceAFC {
public:
    // Members free in reverse order: the AFC client first, the device last.
    DeviceHandle device;
    LockdownHandle lockdown;
    ServiceHandle service;
    AFCHandle afc;

    int fileInfo(const std::string& path, std::optional<AFCFileInfo>& info) override {
        char** raw = nullptr;
        const afc_error_t status = afc_get_file_info(afc.get(), path.c_str(), &raw);
        std::unique_ptr<char*, InfoListFree> list(raw);
        info.reset();
        if (list) {
            AFCFileInfo pairs;
            for (char** entry = list.get(); entry[0] && entry[1]; entry += 2)
                pairs.emplace_back(entry[0], entry[1]);
            info = std::move(pairs);
        }
        return status;
    }

    int openForReading(const std::string& path, uint64_t& handle) override {
        return afc_file_open(afc.get(), path.c_str(), AFC_FOPEN_RDONLY, &handle);
    }

    int read(uint64_t handle, char* data, uint32_t length, uint32_t& bytesRead) override {
        return afc_file_read(afc.get(), handle, data, length, &bytesRead);
    }

    int close(uint64_t handle) override { return afc_file_close(afc.get(), handle); }
};

} // namespace

std::unique_ptr<MobileDeviceAFC> MobileDeviceAFC::connect(const char* udid) {
    auto connection = std::make_unique<DeviceAFC>();

    idevice_t rawDevice = nullptr;
    if (idevice_new(&rawDevice, udid) != IDEVICE_E_SUCCESS || !rawDevice)
        return nullptr;
    connection->device.reset(rawDevice);

    lockdownd_client_t rawClient = nullptr;
    if (lockdownd_client_new(connection->device.get(), &rawClient, clientLabel) !=
            LOCKDOWN_E_SUCCESS ||
        !rawClient)
        return nullptr;
    connection->lockdown.reset(rawClient);
    if (!startLockdownSession(connection->lockdown.get(), udid))
        return nullptr;

    lockdownd_service_descriptor_t rawService = nullptr;
    const lockdownd_error_t started =
        lockdownd_start_service(connection->lockdown.get(), "com.apple.afc", &rawService);
    connection->service.reset(rawService);
    if (started != LOCKDOWN_E_SUCCESS || !rawService)
        return nullptr;

    afc_client_t rawAFC = nullptr;
    const afc_error_t opened =
        afc_client_new(connection->device.get(), connection->service.get(), &rawAFC);
    connection->afc.reset(rawAFC);
    if (opened != AFC_E_SUCCESS || !rawAFC)
        return nullptr;
    return connection;
}
