#pragma once

// A whole fifth-generation nano volume for the writers: libgpod's own output turned into a signed
// iTunesCDB (track ids moved away from libgpod's 52 so that a missed renumbering shows), the
// three SQLite databases with rows for the library, a signed Locations.itdb.cbk, the device's
// SysInfoExtended and an empty Music/F00. The checksum file carries a hash72 for testDevice();
// the iTunesCDB carries the signatures a test asks for, by default a hash58 alone, as libgpod
// signs this nano's iTunesCDB.

#include "Nano5Fixture.h"

#include "library/GLibHandles.h"
#include "library/Nano5Signing.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace Nano5Volume {

// The device: its FireWire GUID (a real one's 40 digits, with zero bytes in it) and the hash72
// parameters its files carry.
inline constexpr const char* fireWireGUID = "000A27001A2B3C4D5E6F708192A3B4C5D6E7F801";
Nano5Signing::FireWireGUID guid();
Nano5Signing::DeviceParameters testDevice();

// Which signatures an iTunesCDB carries.
enum class Signatures { hash58, hash72, both, none };
bool hasHash58(Signatures kinds);
bool hasHash72(Signatures kinds);

struct Options {
    int trackCount = 3;
    // libgpod writes the playlists twice (types 2 and 3); the nano keeps only type 3.
    bool keepPlaylistDataset = false;
    std::uint32_t firstTrackID = 1001;
    // The file type of every track ("MP3 " unless a test wants a library without a template).
    std::uint32_t fileType = 0x4D503320;
    const char* basePath = "iPod_Control/Music";
    qsizetype songBytes = 0; // > 0: a file of this size on disk for every track
    Signatures signatures = Signatures::hash58;
};

// A payload walk shared by the fixture and the tests: the type and bytes of every dataset of an
// inflated payload, and those joined back into one.
std::vector<std::pair<std::uint32_t, QByteArray>> datasets(const QByteArray& payload);
QByteArray joinDatasets(const std::vector<std::pair<std::uint32_t, QByteArray>>& sets);
// The iTunesCDB with its payload replaced, its dataset count fixed and signed for the device.
QByteArray signedCDB(const QByteArray& cdb, const QByteArray& payload, std::uint32_t datasetCount,
                     Signatures kinds = Signatures::hash58);
// cdb with both signature fields rewritten: the kinds asked for, valid for the device, the
// others zero.
QByteArray deviceSigned(QByteArray cdb, Signatures kinds = Signatures::hash58);
// A checksum file whose head is signed for the device.
QByteArray deviceSignedChecksum(QByteArray checksumFile);

// Every entry below a folder: files by contents, folders and links by kind.
std::map<std::string, QByteArray> treeContents(const std::filesystem::path& folder);

// A nano volume written by libgpod itself: it parses a small library of trackCount songs with
// the device's SysInfoExtended and a HashInfo (the GUID, the 12 bytes and the IV), and writes
// its own iTunesCDB (signed with hash58 alone), SQLite databases and signed Locations.itdb.cbk.
class LibgpodNanoVolume {
    Nano5Fixture::TempFolder folder_; // first: mount lies in it

public:
    LibgpodNanoVolume(const char* guid, const Nano5Signing::DeviceParameters& device,
                      int trackCount = 3);

    std::filesystem::path mount;
    QByteArray sysInfo;

    std::filesystem::path itunes() const { return mount / "iPod_Control/iTunes"; }
    QByteArray cdb() const { return Nano5Fixture::readFile(itunes() / "iTunesCDB"); }
    QByteArray database(const char* name) const {
        return Nano5Fixture::readFile(itunes() / "iTunes Library.itlp" / name);
    }
};

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
