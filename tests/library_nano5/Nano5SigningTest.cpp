#include "Nano5Fixture.h"

#include "library/Nano5Container.h"
#include "library/Nano5Locations.h"
#include "library/Nano5Signing.h"

#include <gpod/itdb.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

namespace fs = std::filesystem;
using namespace Nano5Signing;
using Nano5Fixture::readFile;
using Nano5Fixture::TempFolder;
using Nano5Fixture::writeFile;

namespace {

struct ItdbFree {
    void operator()(Itdb_iTunesDB* db) const { itdb_free(db); }
};

Key testKey() {
    return *keyFromHex("00112233445566778899aabbccddeeff");
}

DeviceParameters someDevice(std::uint8_t seed) {
    DeviceParameters p;
    for (int i = 0; i < 16; ++i)
        p.iv[i] = static_cast<std::uint8_t>(seed + 3 * i);
    for (int i = 0; i < 12; ++i)
        p.random[i] = static_cast<std::uint8_t>(seed ^ (7 * i + 1));
    return p;
}

// A file as a device would hold it: scheme field set and signed for that device.
QByteArray deviceSignedCDB(const QByteArray& cdb, const Key& key, const DeviceParameters& device) {
    QByteArray file = cdb;
    file[cdbSchemeOffset] = 2;
    file[cdbSchemeOffset + 1] = 0;
    const QByteArray sig = signature(key, device, *cdbDigest(file));
    std::memcpy(file.data() + cdbSignatureOffset, sig.constData(), signatureLength);
    return file;
}

const Nano5Fixture::Library& library() {
    static const Nano5Fixture::Library lib = Nano5Fixture::makeLibrary(3);
    return lib;
}

} // namespace

TEST(Nano5SigningTest, SignedCDBCarriesTheDeviceParametersForward) {
    const DeviceParameters device = someDevice(40);
    const QByteArray current = deviceSignedCDB(library().cdb, testKey(), device);
    EXPECT_EQ(
        recoverParameters(testKey(), current.sliced(cdbSignatureOffset, 46), *cdbDigest(current)),
        device);

    // A changed database signed from the current one keeps the device's IV and bytes.
    const QByteArray payload =
        Nano5Playlist::inflatePayload(QByteArrayView(current).sliced(244)) + QByteArray(16, '\0');
    QByteArray updated = Nano5Playlist::rebuildCDB(current, payload);
    ASSERT_TRUE(signCDB(testKey(), current, updated));
    EXPECT_EQ(updated.sliced(cdbSignatureOffset, 14), current.sliced(cdbSignatureOffset, 14));
    EXPECT_EQ(
        recoverParameters(testKey(), updated.sliced(cdbSignatureOffset, 46), *cdbDigest(updated)),
        device);
    // Only the signature area of the header changed.
    QByteArray a = updated, b = Nano5Playlist::rebuildCDB(current, payload);
    std::memset(a.data() + cdbSignatureOffset, 0, 46);
    std::memset(b.data() + cdbSignatureOffset, 0, 46);
    EXPECT_EQ(a, b);
}

TEST(Nano5SigningTest, RefusesWhatItCannotVouchFor) {
    const QByteArray current = deviceSignedCDB(library().cdb, testKey(), someDevice(1));
    QByteArray updated = library().cdb;
    // Another key, a file changed after signing, an unsigned file, a short buffer.
    EXPECT_FALSE(signCDB(*keyFromHex("ffeeddccbbaa99887766554433221100"), current, updated));
    QByteArray tampered = current;
    tampered[300] = static_cast<char>(tampered[300] ^ 1);
    EXPECT_FALSE(signCDB(testKey(), tampered, updated));
    EXPECT_FALSE(signCDB(testKey(), library().cdb, updated));
    QByteArray tiny(100, '\0');
    EXPECT_FALSE(signCDB(testKey(), current, tiny));
    EXPECT_EQ(updated, library().cdb); // untouched by every refusal
    // The id, hash58 and signature fields do not feed the digest; the rest does.
    QByteArray moved = current;
    moved[0x18] = 9;
    moved[0x60] = 9;
    EXPECT_EQ(cdbDigest(moved), cdbDigest(current));
    moved[0x20] = 9;
    EXPECT_NE(cdbDigest(moved), cdbDigest(current));

    EXPECT_FALSE(keyFromHex("0011"));
    EXPECT_FALSE(keyFromHex("zz112233445566778899aabbccddeeff"));
}

TEST(Nano5SigningTest, ChecksumFileSignedFromTheCurrentOne) {
    const DeviceParameters device = someDevice(99);
    QByteArray current = Nano5Playlist::locationsChecksum(QByteArray(3 * 1024, 'L'));
    const QByteArray head = signature(testKey(), device, current.sliced(46, 20));
    std::memcpy(current.data(), head.constData(), 46);

    QByteArray next = Nano5Playlist::locationsChecksum(QByteArray(4 * 1024, 'M'));
    ASSERT_TRUE(signLocations(testKey(), current, next));
    EXPECT_EQ(recoverParameters(testKey(), next.first(46), next.sliced(46, 20)), device);
    EXPECT_EQ(next.sliced(46),
              Nano5Playlist::locationsChecksum(QByteArray(4 * 1024, 'M')).sliced(46));

    QByteArray unsignedHead = Nano5Playlist::locationsChecksum(QByteArray(1024, 'L'));
    EXPECT_FALSE(signLocations(testKey(), unsignedHead, next));
}

TEST(Nano5SigningTest, EntryPointsFailSafelyWithoutABuildKey) {
    if (buildKey())
        GTEST_SKIP() << "this build carries a signing key";
    QByteArray current = deviceSignedCDB(library().cdb, testKey(), someDevice(5));
    QByteArray updated = library().cdb;
    const QByteArray before = updated;
    EXPECT_EQ(itdb_nano5_sign_cdb(nullptr, reinterpret_cast<const guint8*>(current.constData()),
                                  static_cast<gsize>(current.size()),
                                  reinterpret_cast<guint8*>(updated.data()),
                                  static_cast<gsize>(updated.size())),
              0);
    EXPECT_EQ(updated, before);
    QByteArray cbk = Nano5Playlist::locationsChecksum(QByteArray(1024, 'x'));
    const auto* head = reinterpret_cast<const guint8*>(cbk.constData());
    EXPECT_EQ(itdb_nano5_sign_locations(head, head + 46, reinterpret_cast<guint8*>(cbk.data())), 0);
}

// libgpod signs what it writes for a nano of this generation when the device folder holds a
// HashInfo (the IV and the 12 bytes we choose); our signer must reproduce it.
class Nano5SigningOracleTest : public ::testing::Test {
protected:
    static constexpr const char* guid = "000A27001A2B3C4D5E6F708192A3B4C5D6E7F801";
    TempFolder folder;
    DeviceParameters device = someDevice(0x20);
    fs::path itlp;

    void SetUp() override {
        const fs::path mount = folder.path();
        writeFile(mount / "iPod_Control/iTunes/iTunesCDB", library().cdb);
        writeFile(mount / "iPod_Control/Device/SysInfoExtended",
                  Nano5Fixture::sysInfoExtended(QString::fromLatin1(guid)));
        QByteArray hashInfo("HASHv0");
        hashInfo += QByteArray::fromHex(guid);
        hashInfo += QByteArray(reinterpret_cast<const char*>(device.random.data()), 12);
        hashInfo += QByteArray(reinterpret_cast<const char*>(device.iv.data()), 16);
        ASSERT_EQ(hashInfo.size(), 54);
        writeFile(mount / "iPod_Control/Device/HashInfo", hashInfo);

        GError* error = nullptr;
        std::unique_ptr<Itdb_iTunesDB, ItdbFree> db(itdb_parse(mount.c_str(), &error));
        g_clear_error(&error);
        ASSERT_TRUE(db);
        const bool written = itdb_write(db.get(), &error);
        const std::string message = error ? error->message : "";
        g_clear_error(&error);
        ASSERT_TRUE(written) << message;
        itlp = mount / "iPod_Control/iTunes/iTunes Library.itlp";
    }
};

TEST_F(Nano5SigningOracleTest, ChecksumFileMatchesLibgpodByteForByte) {
    const QByteArray cbk = readFile(itlp / "Locations.itdb.cbk");
    const QByteArray locations = readFile(itlp / "Locations.itdb");
    // Layout and digests need no key.
    EXPECT_EQ(cbk.sliced(46), Nano5Playlist::locationsChecksum(locations).sliced(46));
    EXPECT_EQ(cbk.first(2), QByteArray::fromHex("0100"));
    EXPECT_EQ(cbk.sliced(2, 12),
              QByteArray(reinterpret_cast<const char*>(device.random.data()), 12));

    const auto key = buildKey();
    if (!key)
        GTEST_SKIP() << "no signing key configured (LORVANEL_NANO5_SIGNING_KEY)";
    EXPECT_EQ(recoverParameters(*key, cbk.first(46), cbk.sliced(46, 20)), device);
    // Re-sign libgpod's own file from its own head: the same 46 bytes.
    QByteArray ours = Nano5Playlist::locationsChecksum(locations);
    ASSERT_EQ(itdb_nano5_sign_locations(reinterpret_cast<const guint8*>(cbk.constData()),
                                        reinterpret_cast<const guint8*>(cbk.constData()) + 46,
                                        reinterpret_cast<guint8*>(ours.data())),
              1);
    EXPECT_EQ(ours, cbk);
}

TEST_F(Nano5SigningOracleTest, CDBMatchesLibgpodByteForByte) {
    const QByteArray cdb = readFile(folder.path() / "iPod_Control/iTunes/iTunesCDB");
    ASSERT_GE(cdb.size(), 0xA0);
    if (cdb[cdbSchemeOffset] != 2)
        GTEST_SKIP() << "libgpod signed this iTunesCDB with scheme " << int(cdb[cdbSchemeOffset])
                     << ", not the one our signer writes";
    const auto key = buildKey();
    if (!key)
        GTEST_SKIP() << "no signing key configured (LORVANEL_NANO5_SIGNING_KEY)";
    EXPECT_EQ(recoverParameters(*key, cdb.sliced(cdbSignatureOffset, 46), *cdbDigest(cdb)), device);
    QByteArray resigned = cdb;
    std::memset(resigned.data() + cdbSignatureOffset, 0, 46);
    ASSERT_TRUE(signCDB(*key, cdb, resigned));
    EXPECT_EQ(resigned, cdb);
}
