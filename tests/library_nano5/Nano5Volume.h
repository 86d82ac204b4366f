#pragma once

// A whole fifth-generation nano volume for the writers: libgpod's own output turned into a signed
// iTunesCDB (track ids moved away from libgpod's 52 so that a missed renumbering shows), the
// three SQLite databases with rows for the library, a signed Locations.itdb.cbk, the device's
// SysInfoExtended and an empty Music/F00. Signatures use a test key of the tests' own.

#include "Nano5Fixture.h"

#include "library/GLibHandles.h"
#include "library/Nano5Signing.h"
#include "library/Nano5Writer.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace Nano5Volume {

Nano5Signing::Key testKey();
Nano5Signing::DeviceParameters testDevice();
// Signs with testKey(), as the device's own files are.
Nano5Playlist::Signer testSigner();

struct Options {
    int trackCount = 3;
    // libgpod writes the playlists twice (types 2 and 3); the nano keeps only type 3.
    bool keepPlaylistDataset = false;
    std::uint32_t firstTrackID = 1001;
    // The file type of every track ("MP3 " unless a test wants a library without a template).
    std::uint32_t fileType = 0x4D503320;
    const char* basePath = "iPod_Control/Music";
    qsizetype songBytes = 0; // > 0: a file of this size on disk for every track
};

// A payload walk shared by the fixture and the tests: calls fn(type, offset, length) for every
// dataset of an inflated payload.
std::vector<std::pair<std::uint32_t, QByteArray>> datasets(const QByteArray& payload);
QByteArray joinDatasets(const std::vector<std::pair<std::uint32_t, QByteArray>>& sets);
// The iTunesCDB with its payload replaced, its dataset count fixed and signed for testDevice().
QByteArray signedCDB(const QByteArray& cdb, const QByteArray& payload, std::uint32_t datasetCount);
QByteArray deviceSigned(QByteArray cdb);

class Volume {
public:
    explicit Volume(const Options& options = {});
    explicit Volume(const QString& base, const Options& options = {});

    std::filesystem::path mount;
    Nano5Fixture::Library library; // cdb is the file on the volume
    QByteArray sysInfo;

    std::filesystem::path itunes() const { return mount / "iPod_Control/iTunes"; }
    std::filesystem::path itlp() const { return itunes() / "iTunes Library.itlp"; }
    QByteArray cdb() const { return Nano5Fixture::readFile(itunes() / "iTunesCDB"); }
    QByteArray database(const char* name) const { return Nano5Fixture::readFile(itlp() / name); }
    // Every entry below the mount point: files by contents, folders and links by kind.
    std::map<std::string, QByteArray> contents() const;
    // libgpod's view of the volume (NULL when it cannot parse it).
    GLibHandles::DatabasePtr parse() const;

private:
    void build(const Options& options);
    Nano5Fixture::TempFolder folder_;
};

} // namespace Nano5Volume
