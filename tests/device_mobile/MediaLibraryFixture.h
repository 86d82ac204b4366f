#pragma once

// A synthetic media-library database in WAL mode, laid out like a device's, and a stand-in for
// the device's AFC service that serves a local folder and can fail at any call.

#include "device/MobileDeviceAFC.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace MediaLibraryFixture {

struct Row {
    qint64 itemPid = 0;
    const char* title = nullptr; // nullptr stores NULL
    const char* artist = nullptr;
    const char* album = nullptr;
    const char* genre = nullptr;
    const char* location = nullptr;
    qint64 fileSize = 0;
    std::optional<double> totalTimeMs = std::nullopt;
    int mediaKind = 1;
    int inMyLibrary = 1;
};

// Writes the database into folder/"iTunes_Control/iTunes" as a device holds it: the rows in
// checkpointed go into the database file, the rows in logged stay in the write-ahead log (no
// log file at all when logged is empty). paddingRows adds songs of about 1 KiB each so that
// the files need several reads.
void writeDeviceLibrary(const QString& folder, const std::vector<Row>& checkpointed,
                        const std::vector<Row>& logged, int paddingRows = 0);

// Serves deviceRoot + the device path from the local disk.
class LocalAFC : public MobileDeviceAFC {
public:
    explicit LocalAFC(QString deviceRoot)
        : root(std::move(deviceRoot)) {}
    ~LocalAFC() override;

    int fileInfo(const std::string& path, std::optional<AFCFileInfo>& info) override;
    int openForReading(const std::string& path, uint64_t& handle) override;
    int read(uint64_t handle, char* data, uint32_t length, uint32_t& bytesRead) override;
    int close(uint64_t handle) override;

    // Called before each read with its 1-based number; a non-zero result is returned as the
    // read's status.
    std::function<int(int)> beforeRead;
    // Ends the file early (a successful read of 0 bytes) at this read number.
    int endEarlyAtRead = 0;
    int reads = 0;
    int openFiles() const { return static_cast<int>(files.size()); }

    QString localPath(const std::string& devicePath) const;

private:
    QString root;
    std::map<uint64_t, int> files;
    uint64_t nextHandle = 1;
};

} // namespace MediaLibraryFixture
