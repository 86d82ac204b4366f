#include "Nano5Volume.h"

#include "library/IPodDatabase.h"
#include "library/Nano5Container.h"
#include "library/Nano5Locations.h"
#include "library/Nano5Playlist.h"
#include "library/Nano5Signing.h"

#include <gpod/itdb.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace fs = std::filesystem;
using namespace Nano5Signing;
using Nano5Fixture::readFile;
using Nano5Fixture::TempFolder;
using Nano5Fixture::writeFile;
using Nano5Volume::LibgpodNanoVolume;
using Nano5Volume::Signatures;

namespace {

struct ItdbFree {
    void operator()(Itdb_iTunesDB* db) const { itdb_free(db); }
};
struct DeviceFree {
    void operator()(Itdb_Device* device) const { itdb_device_free(device); }
};

DeviceParameters someDevice(std::uint8_t seed) {
    DeviceParameters p;
    for (int i = 0; i < 16; ++i)
        p.iv[i] = static_cast<std::uint8_t>(seed + 3 * i);
    for (int i = 0; i < 12; ++i)
        p.random[i] = static_cast<std::uint8_t>(seed ^ (7 * i + 1));
    return p;
}

const Nano5Fixture::Library& library() {
    static const Nano5Fixture::Library lib = Nano5Fixture::makeLibrary(3);
    return lib;
}

QByteArray hash58Field(const QByteArray& cdb) {
    return cdb.sliced(hash58Offset, hash58Length);
}
QByteArray hash72Field(const QByteArray& cdb) {
    return cdb.sliced(hash72Offset, hash72Length);
}

// cdb rebuilt around a payload that differs from its own; the header, stale signatures
// included, is carried over as the writers carry it.
QByteArray changedCopy(const QByteArray& cdb) {
    const QByteArray payload =
        Nano5Playlist::inflatePayload(QByteArrayView(cdb).sliced(Nano5Playlist::cdbHeaderLength));
    return Nano5Playlist::rebuildCDB(cdb, payload + QByteArray(16, '\0'));
}

// A device as libgpod opens it from a folder holding only the given SysInfoExtended.
std::unique_ptr<Itdb_Device, DeviceFree> describedDevice(const TempFolder& folder,
                                                         const char* guid) {
    writeFile(folder.path() / "iPod_Control/Device/SysInfoExtended",
              Nano5Fixture::sysInfoExtended(QString::fromLatin1(guid)));
    std::unique_ptr<Itdb_Device, DeviceFree> device(itdb_device_new());
    itdb_device_set_mountpoint(device.get(), folder.path().c_str());
    return device;
}

int signThroughEntryPoint(Itdb_Device* device, const QByteArray& current, QByteArray& updated) {
    return itdb_nano5_sign_cdb(device, reinterpret_cast<const guint8*>(current.constData()),
                               static_cast<gsize>(current.size()),
                               reinterpret_cast<guint8*>(updated.data()),
                               static_cast<gsize>(updated.size()));
}

} // namespace

TEST(Nano5SigningTest, FireWireGUIDReadsAsTheDeviceGivesIt) {
    const FireWireGUID expected{0x00, 0x0A, 0x27, 0x00, 0x1A, 0x2B, 0x3C, 0x4D};
    EXPECT_EQ(fireWireGUID("000A27001A2B3C4D5E6F708192A3B4C5D6E7F801"), expected);
    EXPECT_EQ(fireWireGUID("0x000A27001A2B3C4D"), expected);
    EXPECT_EQ(fireWireGUID("000a27001a2b3c4d"), expected);
    for (const char* bad : {"", "0x", "000A27001A2B3C4", "000A27001A2B3C4D5", "zz0A27001A2B3C4D",
                            "000A27001A2B3C4D5E6F708192A3B4C5D6E7F80102"})
        EXPECT_FALSE(fireWireGUID(QByteArrayView(bad))) << bad;
    EXPECT_FALSE(fireWireGUID(static_cast<const Itdb_Device*>(nullptr)));
}

TEST(Nano5SigningTest, Hash72CarriesTheDeviceParametersForward) {
    const DeviceParameters device = someDevice(40);
    QByteArray current = library().cdb;
    const QByteArray sig = hash72(device, *cdbDigest(current));
    std::memcpy(current.data() + hash72Offset, sig.constData(), hash72Length);
    EXPECT_EQ(cdbParameters(current), device);

    QByteArray updated = changedCopy(current);
    ASSERT_TRUE(signCDB(current, updated, std::nullopt));
    EXPECT_EQ(updated.sliced(hash72Offset, 14), current.sliced(hash72Offset, 14));
    EXPECT_NE(hash72Field(updated), hash72Field(current));
    EXPECT_EQ(cdbParameters(updated), device);
    // Only the signature area of the header changed.
    QByteArray a = updated, b = changedCopy(current);
    std::memset(a.data() + hash72Offset, 0, hash72Length);
    std::memset(b.data() + hash72Offset, 0, hash72Length);
    EXPECT_EQ(a, b);
}

TEST(Nano5SigningTest, EveryKindTheCurrentFileCarriesIsRenewedAndNoneLeftStale) {
    const auto guid = Nano5Volume::guid();
    for (Signatures kinds :
         {Signatures::hash58, Signatures::hash72, Signatures::both, Signatures::none}) {
        SCOPED_TRACE(static_cast<int>(kinds));
        const QByteArray current = Nano5Volume::deviceSigned(library().cdb, kinds);
        // The rebuild carries the current signatures over; none of them fits its content.
        QByteArray updated = changedCopy(current);
        ASSERT_TRUE(signCDB(current, updated, guid));

        if (Nano5Volume::hasHash72(kinds))
            EXPECT_EQ(cdbParameters(updated), Nano5Volume::testDevice());
        else
            EXPECT_EQ(hash72Field(updated), QByteArray(hash72Length, '\0'));
        if (Nano5Volume::hasHash58(kinds)) {
            EXPECT_EQ(hash58Field(updated), hash58(guid, updated));
            EXPECT_NE(hash58Field(updated), hash58Field(current));
        } else {
            EXPECT_EQ(hash58Field(updated), QByteArray(hash58Length, '\0'));
        }
        // The scheme word stays as the device wrote it.
        EXPECT_EQ(updated.sliced(0x30, 2), current.sliced(0x30, 2));
    }
}

TEST(Nano5SigningTest, RefusesWhatItCannotVouchFor) {
    const auto guid = Nano5Volume::guid();
    const QByteArray both = Nano5Volume::deviceSigned(library().cdb, Signatures::both);
    const QByteArray untouched = changedCopy(both);
    QByteArray updated = untouched;

    // hash58 for another device, or with no GUID to check it against.
    FireWireGUID other = guid;
    other[7] ^= 1;
    EXPECT_FALSE(signCDB(both, updated, other));
    EXPECT_FALSE(signCDB(both, updated, std::nullopt));
    // A hash72 that does not decrypt consistently, a file changed after signing, short buffers.
    QByteArray badHash72 = Nano5Volume::deviceSigned(library().cdb, Signatures::hash72);
    badHash72[hash72Offset + 40] = static_cast<char>(badHash72[hash72Offset + 40] ^ 1);
    EXPECT_FALSE(signCDB(badHash72, updated, guid));
    QByteArray tampered = both;
    tampered[300] = static_cast<char>(tampered[300] ^ 1);
    EXPECT_FALSE(signCDB(tampered, updated, guid));
    QByteArray tiny(100, '\0');
    EXPECT_FALSE(signCDB(both, tiny, guid));
    EXPECT_FALSE(signCDB(tiny, updated, guid));
    EXPECT_EQ(updated, untouched); // every refusal leaves the buffer as it was

    // The database id and both signature fields do not feed the hash72 digest; the rest does.
    QByteArray moved = both;
    moved[0x18] = 9;
    moved[0x60] = 9;
    moved[0x80] = 9;
    EXPECT_EQ(cdbDigest(moved), cdbDigest(both));
    moved[0x20] = 9;
    EXPECT_NE(cdbDigest(moved), cdbDigest(both));
    // hash58 skips the id, the bytes at 0x32 and its own field, and covers the hash72 bytes.
    moved = both;
    moved[0x18] = 9;
    moved[0x40] = 9;
    moved[0x60] = 9;
    EXPECT_EQ(hash58(guid, moved), hash58(guid, both));
    moved[0x80] = 9;
    EXPECT_NE(hash58(guid, moved), hash58(guid, both));
}

TEST(Nano5SigningTest, DeviceParametersComeFromWhicheverFileVouches) {
    const DeviceParameters fromChecksum = someDevice(1);
    QByteArray checksum = Nano5Playlist::locationsChecksum(QByteArray(2 * 1024, 'L'));
    ASSERT_TRUE(signLocations(fromChecksum, checksum));
    QByteArray brokenChecksum = checksum;
    brokenChecksum[20] = static_cast<char>(brokenChecksum[20] ^ 1);
    const QByteArray withHash72 = Nano5Volume::deviceSigned(library().cdb, Signatures::both);
    const QByteArray withHash58 = Nano5Volume::deviceSigned(library().cdb, Signatures::hash58);

    EXPECT_EQ(checksumParameters(checksum), fromChecksum);
    EXPECT_EQ(deviceParameters(checksum, withHash72), fromChecksum);
    EXPECT_EQ(deviceParameters(brokenChecksum, withHash72), Nano5Volume::testDevice());
    EXPECT_EQ(deviceParameters({}, withHash72), Nano5Volume::testDevice());
    EXPECT_EQ(deviceParameters(checksum, withHash58), fromChecksum);
    EXPECT_FALSE(deviceParameters(brokenChecksum, withHash58));
    EXPECT_FALSE(deviceParameters({}, library().cdb));
}

TEST(Nano5SigningTest, ChecksumFileSignedForTheDevice) {
    const DeviceParameters device = someDevice(99);
    QByteArray current = Nano5Playlist::locationsChecksum(QByteArray(3 * 1024, 'L'));
    ASSERT_TRUE(signLocations(device, current));

    const QByteArray plain = Nano5Playlist::locationsChecksum(QByteArray(4 * 1024, 'M'));
    QByteArray next = plain;
    ASSERT_TRUE(signLocations(device, next));
    EXPECT_EQ(checksumParameters(next), device);
    EXPECT_EQ(next.sliced(46), plain.sliced(46));

    // The entry point finds the device in the current file's head.
    QByteArray viaEntryPoint = plain;
    const auto* head = reinterpret_cast<const guint8*>(current.constData());
    ASSERT_EQ(
        itdb_nano5_sign_locations(head, head + 46, reinterpret_cast<guint8*>(viaEntryPoint.data())),
        1);
    EXPECT_EQ(viaEntryPoint, next);
    const QByteArray unsignedHead = Nano5Playlist::locationsChecksum(QByteArray(1024, 'L'));
    head = reinterpret_cast<const guint8*>(unsignedHead.constData());
    EXPECT_EQ(itdb_nano5_sign_locations(head, head + 46, reinterpret_cast<guint8*>(next.data())),
              0);
    EXPECT_EQ(checksumParameters(next), device);
}

TEST(Nano5SigningTest, EntryPointSignsForTheGUIDOfTheDeviceDescription) {
    TempFolder folder;
    const auto device = describedDevice(folder, Nano5Volume::fireWireGUID);
    const QByteArray current = Nano5Volume::deviceSigned(library().cdb, Signatures::hash58);
    QByteArray updated = changedCopy(current);
    const QByteArray before = updated;

    // Without a device there is no GUID to sign hash58 with.
    EXPECT_EQ(signThroughEntryPoint(nullptr, current, updated), 0);
    EXPECT_EQ(updated, before);
    ASSERT_EQ(signThroughEntryPoint(device.get(), current, updated), 1);
    EXPECT_EQ(hash58Field(updated), hash58(Nano5Volume::guid(), updated));
}

TEST(Nano5SigningOracleTest, OurChecksumFileSignatureIsLibgpods) {
    const DeviceParameters device = someDevice(0x20);
    const LibgpodNanoVolume volume(Nano5Volume::fireWireGUID, device);
    const QByteArray cbk = volume.database("Locations.itdb.cbk");
    const QByteArray locations = volume.database("Locations.itdb");
    EXPECT_EQ(cbk.sliced(46), Nano5Playlist::locationsChecksum(locations).sliced(46));

    // Our recovery finds libgpod's HashInfo in its signature, and our signer, from libgpod's own
    // head, writes the same 46 bytes.
    EXPECT_EQ(checksumParameters(cbk), device);
    QByteArray ours = Nano5Playlist::locationsChecksum(locations);
    ASSERT_EQ(itdb_nano5_sign_locations(reinterpret_cast<const guint8*>(cbk.constData()),
                                        reinterpret_cast<const guint8*>(cbk.constData()) + 46,
                                        reinterpret_cast<guint8*>(ours.data())),
              1);
    EXPECT_EQ(ours, cbk);
}

TEST(Nano5SigningOracleTest, OurITunesCDBSignatureIsLibgpods) {
    // Zero bytes in either or both places of a pair take the lcm rule's other road.
    for (const char* guid : {Nano5Volume::fireWireGUID, "00000A2700FF3C005E6F708192A3B4C5D6E7F801",
                             "1122334455667788990011223344556677889900"}) {
        SCOPED_TRACE(guid);
        const LibgpodNanoVolume volume(guid, someDevice(0x50));
        const QByteArray cdb = volume.cdb();
        ASSERT_GE(cdb.size(), Nano5Playlist::cdbHeaderLength);
        // What libgpod puts in this nano's iTunesCDB: scheme 1, a hash58 and no hash72.
        EXPECT_EQ(cdb.sliced(0x30, 2), QByteArray::fromHex("0100"));
        EXPECT_EQ(hash72Field(cdb), QByteArray(hash72Length, '\0'));
        EXPECT_EQ(hash58(*fireWireGUID(guid), cdb), hash58Field(cdb));

        // Signed from itself through the entry point, with a device that has no HashInfo.
        TempFolder described;
        const auto device = describedDevice(described, guid);
        QByteArray resigned = cdb;
        std::memset(resigned.data() + hash58Offset, 0, hash58Length);
        ASSERT_EQ(signThroughEntryPoint(device.get(), cdb, resigned), 1);
        EXPECT_EQ(resigned, cdb);
    }
}

TEST(Nano5SigningOracleTest, ACDBWeSignParsesWithLibgpodAndBothSignaturesVerify) {
    const LibgpodNanoVolume volume(Nano5Volume::fireWireGUID, Nano5Volume::testDevice());
    // libgpod's file with a hash72 beside its hash58, as the vendor's software signs it.
    const QByteArray current = Nano5Volume::deviceSigned(volume.cdb(), Signatures::both);

    // A change libgpod reads: the first song's rating (byte 31 of its record).
    QByteArray payload = Nano5Playlist::inflatePayload(
        QByteArrayView(current).sliced(Nano5Playlist::cdbHeaderLength));
    const qsizetype track = payload.indexOf("mhit");
    ASSERT_GT(track, 0);
    payload[track + 31] = 60;
    QByteArray updated = Nano5Playlist::rebuildCDB(current, payload);

    TempFolder described;
    const auto device = describedDevice(described, Nano5Volume::fireWireGUID);
    ASSERT_EQ(signThroughEntryPoint(device.get(), current, updated), 1);
    EXPECT_EQ(cdbParameters(updated), Nano5Volume::testDevice());
    EXPECT_EQ(hash58Field(updated), hash58(Nano5Volume::guid(), updated));

    writeFile(volume.itunes() / "iTunesCDB", updated);
    GError* error = nullptr;
    std::unique_ptr<Itdb_iTunesDB, ItdbFree> db(itdb_parse(volume.mount.c_str(), &error));
    EXPECT_FALSE(error);
    g_clear_error(&error);
    ASSERT_TRUE(db);
    ASSERT_EQ(g_list_length(db->tracks), 3u);
    EXPECT_EQ(static_cast<Itdb_Track*>(db->tracks->data)->rating, 60u);
}

TEST(Nano5LibgpodVolumeTest, LibgpodsOwnLibraryPassesTheReadCheck) {
    // libgpod writes its own header words (0x30 at 16) and dataset layout; the check before
    // libgpod parses looks only at the frame and the stream.
    const LibgpodNanoVolume volume(Nano5Volume::fireWireGUID, someDevice(3));
    const auto session =
        IPodDatabase::open(QString::fromStdString(volume.mount.string()), std::nullopt,
                           [] { return std::optional<int>(Nano5Playlist::productID); });
    EXPECT_EQ(session->loadTracks().size(), 3);
    EXPECT_TRUE(session->hasNano5SourceCDB());
}
