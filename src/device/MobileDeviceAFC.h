#pragma once

// The few AFC file calls the media-library copy makes, behind an interface so that the copy
// runs the same against a device and against a local stand-in that can fail at any call.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// AFC file information: key/value pairs in the order the service sent them.
using AFCFileInfo = std::vector<std::pair<std::string, std::string>>;

class MobileDeviceAFC {
public:
    // The AFC status codes the copy tells apart.
    static constexpr int success = 0;
    static constexpr int objectNotFound = 8;
    static constexpr int endOfData = 14;
    static constexpr int ioError = 20;

    virtual ~MobileDeviceAFC() = default;

    // The status; info is set when the service answered with a list.
    virtual int fileInfo(const std::string& path, std::optional<AFCFileInfo>& info) = 0;
    virtual int openForReading(const std::string& path, uint64_t& handle) = 0;
    virtual int read(uint64_t handle, char* data, uint32_t length, uint32_t& bytesRead) = 0;
    virtual int close(uint64_t handle) = 0;

    // A connection to the AFC service of the device with the udid, through a lockdown session
    // with its pair record; nothing when any step fails.
    static std::unique_ptr<MobileDeviceAFC> connect(const char* udid);
};
