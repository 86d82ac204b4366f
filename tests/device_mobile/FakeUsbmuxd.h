#pragma once

// A small usbmuxd of our own on a private Unix socket (libusbmuxd connects to it through
// USBMUXD_SOCKET_ADDRESS). It lists fake iOS devices, hands out their pair records, and speaks
// enough lockdown and AFC for the listing and the media-library copy to run for real.

#include <plist/plist.h>

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class FakeUsbmuxd {
public:
    struct PlistFree {
        void operator()(plist_t node) const { plist_free(node); }
    };
    using Plist = std::unique_ptr<void, PlistFree>;

    struct Device {
        std::string udid;
        // Values without a domain; a domain's values are a dictionary under the domain's name.
        Plist values{plist_new_dict()};
        // The pair record: none, or one with this HostID (an empty one has no HostID at all).
        std::optional<std::string> pairRecordHostID;
        // Local folder whose files the device's AFC service serves; empty for no AFC.
        QString afcRoot;

        Device& set(const char* key, plist_t value);
        Device& set(const char* domain, const char* key, plist_t value);
    };

    // Listens on socketPath; USBMUXD_SOCKET_ADDRESS is pointed at it for the test's duration.
    explicit FakeUsbmuxd(QString socketPath);
    ~FakeUsbmuxd();
    FakeUsbmuxd(const FakeUsbmuxd&) = delete;
    FakeUsbmuxd& operator=(const FakeUsbmuxd&) = delete;

    void addDevice(Device device);

    // What the devices were asked, one line per request, e.g. "UDID StartSession HOST".
    std::vector<std::string> requests() const;

    // While held, every AFC connection waits before its first answer, so a copy that has
    // started stays under way until the hold is released.
    void holdAFC();
    void releaseAFC();
    // AFC connections waiting at the hold now.
    int heldAFCConnections() const;

private:
    void acceptLoop();
    void serve(int fd);
    void serveLockdown(int fd, Device& device);
    void serveAFC(int fd, Device& device);
    void log(std::string line);
    Device* findDevice(uint32_t deviceID);
    Device* findDevice(const std::string& udid);

    QString path;
    int listenFd = -1;
    std::thread acceptor;
    mutable std::mutex mutex;
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<int> connections;
    std::vector<std::thread> workers;
    std::vector<std::string> requestLog;
    std::condition_variable afcGate;
    bool afcHeld = false;
    int afcWaiting = 0;
};
