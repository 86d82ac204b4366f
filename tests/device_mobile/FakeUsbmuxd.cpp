#include "FakeUsbmuxd.h"

#include <QFile>

#include <arpa/inet.h>
#include <endian.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <map>

namespace {

constexpr uint16_t lockdownPort = 62078;
constexpr uint16_t afcPort = 49152;

bool readExact(int fd, void* data, size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::recv(fd, p, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string toXML(plist_t node) {
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    std::string out(xml, length);
    plist_to_xml_free(xml);
    return out;
}

std::string stringItem(plist_t dict, const char* key) {
    plist_t node = plist_dict_get_item(dict, key);
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return {};
    char* value = nullptr;
    plist_get_string_val(node, &value);
    std::string out = value ? value : "";
    std::free(value);
    return out;
}

uint64_t uintItem(plist_t dict, const char* key) {
    plist_t node = plist_dict_get_item(dict, key);
    uint64_t value = 0;
    if (node && plist_get_node_type(node) == PLIST_UINT)
        plist_get_uint_val(node, &value);
    return value;
}

FakeUsbmuxd::Plist parse(const std::string& data) {
    plist_t node = nullptr;
    plist_from_memory(data.data(), static_cast<uint32_t>(data.size()), &node);
    return FakeUsbmuxd::Plist(node);
}

struct MuxHeader {
    uint32_t length;
    uint32_t version;
    uint32_t message;
    uint32_t tag;
};

bool sendMux(int fd, uint32_t tag, plist_t reply) {
    const std::string xml = toXML(reply);
    MuxHeader header{static_cast<uint32_t>(sizeof(MuxHeader) + xml.size()), 1, 8, tag};
    return writeAll(fd, &header, sizeof header) && writeAll(fd, xml.data(), xml.size());
}

bool sendResult(int fd, uint32_t tag, uint64_t number) {
    FakeUsbmuxd::Plist reply(plist_new_dict());
    plist_dict_set_item(reply.get(), "MessageType", plist_new_string("Result"));
    plist_dict_set_item(reply.get(), "Number", plist_new_uint(number));
    return sendMux(fd, tag, reply.get());
}

// Lockdown frames: a big-endian length, then the property list.
bool sendLockdown(int fd, plist_t reply) {
    const std::string xml = toXML(reply);
    const uint32_t length = htonl(static_cast<uint32_t>(xml.size()));
    return writeAll(fd, &length, sizeof length) && writeAll(fd, xml.data(), xml.size());
}

struct AFCHeader {
    char magic[8];
    uint64_t entireLength;
    uint64_t thisLength;
    uint64_t packetNumber;
    uint64_t operation;
};

constexpr uint64_t afcStatus = 0x01;
constexpr uint64_t afcData = 0x02;
constexpr uint64_t afcGetFileInfo = 0x0A;
constexpr uint64_t afcFileOpen = 0x0D;
constexpr uint64_t afcFileOpenResult = 0x0E;
constexpr uint64_t afcFileRead = 0x0F;
constexpr uint64_t afcFileClose = 0x14;

bool sendAFC(int fd, uint64_t packetNumber, uint64_t operation, const std::string& body) {
    AFCHeader header{};
    std::memcpy(header.magic, "CFA6LPAA", 8);
    header.entireLength = htole64(sizeof(AFCHeader) + body.size());
    // As a device does: the payload follows the header, which counts only itself, so the
    // client gathers it over as many reads as it takes.
    header.thisLength = htole64(sizeof(AFCHeader));
    header.packetNumber = htole64(packetNumber);
    header.operation = htole64(operation);
    return writeAll(fd, &header, sizeof header) && writeAll(fd, body.data(), body.size());
}

std::string u64Bytes(uint64_t value) {
    const uint64_t le = htole64(value);
    return std::string(reinterpret_cast<const char*>(&le), sizeof le);
}

uint64_t u64At(const std::string& body, size_t offset) {
    uint64_t value = 0;
    if (body.size() >= offset + 8)
        std::memcpy(&value, body.data() + offset, 8);
    return le64toh(value);
}

} // namespace

FakeUsbmuxd::Device& FakeUsbmuxd::Device::set(const char* key, plist_t value) {
    plist_dict_set_item(values.get(), key, value);
    return *this;
}

FakeUsbmuxd::Device& FakeUsbmuxd::Device::set(const char* domain, const char* key, plist_t value) {
    plist_t dict = plist_dict_get_item(values.get(), domain);
    if (!dict) {
        plist_dict_set_item(values.get(), domain, plist_new_dict());
        dict = plist_dict_get_item(values.get(), domain);
    }
    plist_dict_set_item(dict, key, value);
    return *this;
}

FakeUsbmuxd::FakeUsbmuxd(QString socketPath)
    : path(std::move(socketPath)) {
    const QByteArray encoded = QFile::encodeName(path);
    ::unlink(encoded.constData());
    listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, encoded.constData(), sizeof(address.sun_path) - 1);
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd, 16) != 0)
        std::abort();
    qputenv("USBMUXD_SOCKET_ADDRESS", "UNIX:" + encoded);
    acceptor = std::thread([this] { acceptLoop(); });
}

FakeUsbmuxd::~FakeUsbmuxd() {
    releaseAFC();
    ::shutdown(listenFd, SHUT_RDWR);
    acceptor.join();
    ::close(listenFd);
    std::vector<std::thread> running;
    {
        std::lock_guard lock(mutex);
        for (int fd : connections)
            ::shutdown(fd, SHUT_RDWR);
        running.swap(workers);
    }
    for (auto& worker : running)
        worker.join();
    ::unlink(QFile::encodeName(path).constData());
}

void FakeUsbmuxd::addDevice(Device device) {
    std::lock_guard lock(mutex);
    devices.push_back(std::make_unique<Device>(std::move(device)));
}

std::vector<std::string> FakeUsbmuxd::requests() const {
    std::lock_guard lock(mutex);
    return requestLog;
}

void FakeUsbmuxd::holdAFC() {
    std::lock_guard lock(mutex);
    afcHeld = true;
}

void FakeUsbmuxd::releaseAFC() {
    {
        std::lock_guard lock(mutex);
        afcHeld = false;
    }
    afcGate.notify_all();
}

int FakeUsbmuxd::heldAFCConnections() const {
    std::lock_guard lock(mutex);
    return afcWaiting;
}

void FakeUsbmuxd::log(std::string line) {
    std::lock_guard lock(mutex);
    requestLog.push_back(std::move(line));
}

FakeUsbmuxd::Device* FakeUsbmuxd::findDevice(uint32_t deviceID) {
    std::lock_guard lock(mutex);
    return deviceID >= 1 && deviceID <= devices.size() ? devices[deviceID - 1].get() : nullptr;
}

FakeUsbmuxd::Device* FakeUsbmuxd::findDevice(const std::string& udid) {
    std::lock_guard lock(mutex);
    for (auto& device : devices) {
        if (device->udid == udid)
            return device.get();
    }
    return nullptr;
}

void FakeUsbmuxd::acceptLoop() {
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        std::lock_guard lock(mutex);
        connections.push_back(fd);
        workers.emplace_back([this, fd] {
            serve(fd);
            std::lock_guard inner(mutex);
            std::erase(connections, fd);
            ::close(fd);
        });
    }
}

void FakeUsbmuxd::serve(int fd) {
    for (;;) {
        MuxHeader header{};
        if (!readExact(fd, &header, sizeof header) || header.length < sizeof header)
            return;
        std::string body(header.length - sizeof header, '\0');
        if (!readExact(fd, body.data(), body.size()))
            return;
        if (header.message != 8) {
            sendResult(fd, header.tag, 1);
            continue;
        }
        Plist request = parse(body);
        const std::string type = stringItem(request.get(), "MessageType");
        if (type == "ListDevices") {
            Plist reply(plist_new_dict());
            plist_t list = plist_new_array();
            std::lock_guard lock(mutex);
            for (size_t i = 0; i < devices.size(); ++i) {
                plist_t properties = plist_new_dict();
                plist_dict_set_item(properties, "ConnectionType", plist_new_string("USB"));
                plist_dict_set_item(properties, "DeviceID", plist_new_uint(i + 1));
                plist_dict_set_item(properties, "LocationID", plist_new_uint(0x14100000 + i));
                plist_dict_set_item(properties, "ProductID", plist_new_uint(0x12AB));
                plist_dict_set_item(properties, "SerialNumber",
                                    plist_new_string(devices[i]->udid.c_str()));
                plist_t entry = plist_new_dict();
                plist_dict_set_item(entry, "DeviceID", plist_new_uint(i + 1));
                plist_dict_set_item(entry, "MessageType", plist_new_string("Attached"));
                plist_dict_set_item(entry, "Properties", properties);
                plist_array_append_item(list, entry);
            }
            plist_dict_set_item(reply.get(), "DeviceList", list);
            if (!sendMux(fd, header.tag, reply.get()))
                return;
        } else if (type == "ReadBUID") {
            Plist reply(plist_new_dict());
            plist_dict_set_item(reply.get(), "BUID", plist_new_string("FAKE-SYSTEM-BUID"));
            if (!sendMux(fd, header.tag, reply.get()))
                return;
        } else if (type == "ReadPairRecord") {
            const std::string udid = stringItem(request.get(), "PairRecordID");
            log(udid + " ReadPairRecord");
            Device* device = findDevice(udid);
            if (!device || !device->pairRecordHostID) {
                if (!sendResult(fd, header.tag, 2))
                    return;
                continue;
            }
            Plist record(plist_new_dict());
            if (!device->pairRecordHostID->empty()) {
                plist_dict_set_item(record.get(), "HostID",
                                    plist_new_string(device->pairRecordHostID->c_str()));
            }
            plist_dict_set_item(record.get(), "SystemBUID", plist_new_string("FAKE-SYSTEM-BUID"));
            const std::string data = toXML(record.get());
            Plist reply(plist_new_dict());
            plist_dict_set_item(reply.get(), "PairRecordData",
                                plist_new_data(data.data(), data.size()));
            if (!sendMux(fd, header.tag, reply.get()))
                return;
        } else if (type == "Connect") {
            Device* device = findDevice(static_cast<uint32_t>(uintItem(request.get(), "DeviceID")));
            const uint16_t port =
                ntohs(static_cast<uint16_t>(uintItem(request.get(), "PortNumber")));
            const bool served =
                device && (port == lockdownPort || (port == afcPort && !device->afcRoot.isEmpty()));
            if (!sendResult(fd, header.tag, served ? 0 : 3) || !served)
                return;
            if (port == lockdownPort)
                serveLockdown(fd, *device);
            else
                serveAFC(fd, *device);
            return;
        } else {
            if (!sendResult(fd, header.tag, 1))
                return;
        }
    }
}

void FakeUsbmuxd::serveLockdown(int fd, Device& device) {
    bool session = false;
    for (;;) {
        uint32_t length = 0;
        if (!readExact(fd, &length, sizeof length))
            return;
        std::string body(ntohl(length), '\0');
        if (!readExact(fd, body.data(), body.size()))
            return;
        Plist request = parse(body);
        const std::string name = stringItem(request.get(), "Request");
        Plist reply(plist_new_dict());
        plist_dict_set_item(reply.get(), "Request", plist_new_string(name.c_str()));
        if (name == "QueryType") {
            plist_dict_set_item(reply.get(), "Type", plist_new_string("com.apple.mobile.lockdown"));
        } else if (name == "GetValue") {
            const std::string domain = stringItem(request.get(), "Domain");
            const std::string key = stringItem(request.get(), "Key");
            log(device.udid + " GetValue " + domain + "/" + key + (session ? " (session)" : ""));
            plist_t scope = domain.empty()
                                ? device.values.get()
                                : plist_dict_get_item(device.values.get(), domain.c_str());
            plist_t value = scope && !key.empty() ? plist_dict_get_item(scope, key.c_str()) : scope;
            // Like a real device: domains answer only inside a session.
            if (!value || (!domain.empty() && !session)) {
                plist_dict_set_item(reply.get(), "Error", plist_new_string("MissingValue"));
            } else {
                if (!domain.empty())
                    plist_dict_set_item(reply.get(), "Domain", plist_new_string(domain.c_str()));
                if (!key.empty())
                    plist_dict_set_item(reply.get(), "Key", plist_new_string(key.c_str()));
                plist_dict_set_item(reply.get(), "Value", plist_copy(value));
            }
        } else if (name == "StartSession") {
            const std::string hostID = stringItem(request.get(), "HostID");
            log(device.udid + " StartSession " + hostID);
            if (device.pairRecordHostID && !hostID.empty() && hostID == *device.pairRecordHostID) {
                session = true;
                plist_dict_set_item(reply.get(), "SessionID", plist_new_string("FAKE-SESSION"));
                plist_dict_set_item(reply.get(), "EnableSessionSSL", plist_new_bool(0));
            } else {
                plist_dict_set_item(reply.get(), "Error", plist_new_string("InvalidHostID"));
            }
        } else if (name == "StopSession") {
            session = false;
            plist_dict_set_item(reply.get(), "Result", plist_new_string("Success"));
        } else if (name == "StartService") {
            const std::string service = stringItem(request.get(), "Service");
            log(device.udid + " StartService " + service);
            if (session && service == "com.apple.afc" && !device.afcRoot.isEmpty()) {
                plist_dict_set_item(reply.get(), "Service", plist_new_string(service.c_str()));
                plist_dict_set_item(reply.get(), "Port", plist_new_uint(afcPort));
                plist_dict_set_item(reply.get(), "EnableServiceSSL", plist_new_bool(0));
            } else {
                plist_dict_set_item(reply.get(), "Error", plist_new_string("InvalidService"));
            }
        } else {
            plist_dict_set_item(reply.get(), "Result", plist_new_string("Success"));
        }
        if (!sendLockdown(fd, reply.get()) || name == "Goodbye")
            return;
    }
}

void FakeUsbmuxd::serveAFC(int fd, Device& device) {
    {
        std::unique_lock lock(mutex);
        ++afcWaiting;
        afcGate.wait(lock, [this] { return !afcHeld; });
        --afcWaiting;
    }
    std::map<uint64_t, int> files;
    uint64_t nextHandle = 1;
    const auto localPath = [&device](std::string devicePath) {
        devicePath.resize(std::strlen(devicePath.c_str()));
        return QFile::encodeName(device.afcRoot) + QByteArray::fromStdString(devicePath);
    };
    for (;;) {
        AFCHeader header{};
        if (!readExact(fd, &header, sizeof header) ||
            std::memcmp(header.magic, "CFA6LPAA", 8) != 0 ||
            le64toh(header.entireLength) < sizeof header)
            break;
        std::string body(le64toh(header.entireLength) - sizeof header, '\0');
        if (!readExact(fd, body.data(), body.size()))
            break;
        const uint64_t packet = le64toh(header.packetNumber);
        const uint64_t operation = le64toh(header.operation);
        bool sent = false;
        if (operation == afcGetFileInfo) {
            struct stat st {};
            const QByteArray local = localPath(body);
            log(device.udid + " AFC info " + std::string(body.c_str()));
            if (::stat(local.constData(), &st) != 0) {
                sent = sendAFC(fd, packet, afcStatus, u64Bytes(8));
            } else {
                const long long mtime = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
                std::string info;
                for (const std::string& part :
                     {std::string("st_size"), std::to_string(st.st_size), std::string("st_blocks"),
                      std::to_string(st.st_blocks), std::string("st_nlink"), std::string("1"),
                      std::string("st_ifmt"), std::string("S_IFREG"), std::string("st_mtime"),
                      std::to_string(mtime), std::string("st_birthtime"), std::to_string(mtime)})
                    info += part + '\0';
                sent = sendAFC(fd, packet, afcData, info);
            }
        } else if (operation == afcFileOpen) {
            const int local = ::open(localPath(body.substr(8)).constData(), O_RDONLY | O_CLOEXEC);
            if (local < 0) {
                sent = sendAFC(fd, packet, afcStatus, u64Bytes(8));
            } else {
                files[nextHandle] = local;
                sent = sendAFC(fd, packet, afcFileOpenResult, u64Bytes(nextHandle++));
            }
        } else if (operation == afcFileRead) {
            const auto it = files.find(u64At(body, 0));
            if (it == files.end()) {
                sent = sendAFC(fd, packet, afcStatus, u64Bytes(7));
            } else {
                std::string data(std::min<uint64_t>(u64At(body, 8), 1 << 20), '\0');
                const ssize_t n = ::read(it->second, data.data(), data.size());
                data.resize(n > 0 ? static_cast<size_t>(n) : 0);
                sent = sendAFC(fd, packet, afcData, data);
            }
        } else if (operation == afcFileClose) {
            const auto it = files.find(u64At(body, 0));
            if (it != files.end()) {
                ::close(it->second);
                files.erase(it);
            }
            sent = sendAFC(fd, packet, afcStatus, u64Bytes(0));
        } else {
            sent = sendAFC(fd, packet, afcStatus, u64Bytes(15));
        }
        if (!sent)
            break;
    }
    for (const auto& [handle, local] : files)
        ::close(local);
}
