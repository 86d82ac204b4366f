#include "Nano5Fixture.h"

#include "library/Nano5Container.h"
#include "library/Nano5Error.h"

#include <gpod/itdb.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <system_error>

namespace fs = std::filesystem;
using namespace Nano5Playlist;
using Nano5Fixture::TempFolder;

namespace {

void expectUnsupported(const std::function<void()>& fn) {
    try {
        fn();
        ADD_FAILURE() << "no error";
    } catch (const Nano5Error& error) {
        EXPECT_EQ(error.kind(), Nano5Error::Kind::unsupportedDatabase);
    }
}

QByteArray zlibOf(const QByteArray& payload) {
    uLongf length = compressBound(static_cast<uLong>(payload.size()));
    QByteArray out(static_cast<qsizetype>(length), '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                        reinterpret_cast<const Bytef*>(payload.constData()),
                        static_cast<uLong>(payload.size()), 9),
              Z_OK);
    out.truncate(static_cast<qsizetype>(length));
    return out;
}

const Nano5Fixture::Library& library() {
    static const Nano5Fixture::Library lib = Nano5Fixture::makeLibrary(4);
    return lib;
}

} // namespace

TEST(Nano5ContainerTest, HeaderRulesRefuseEachBrokenField) {
    const QByteArray good = library().cdb;
    EXPECT_NO_THROW(checkCDBHeader(good));

    expectUnsupported([&] { checkCDBHeader(good.first(243)); });
    struct Case {
        qsizetype offset;
        char value;
    };
    // Tag, header length, stated size off by one, version 116 and 118, byte 48/49, byte 168.
    for (Case c : {Case{0, 'x'}, Case{4, char(245)}, Case{16, 116}, Case{16, 118}, Case{48, 0},
                   Case{49, 1}, Case{168, 0}}) {
        QByteArray bad = good;
        bad[c.offset] = c.value;
        expectUnsupported([&] { checkCDBHeader(bad); });
    }
    QByteArray longer = good;
    writeUInt32LE(longer, 8, static_cast<std::uint32_t>(good.size() + 1));
    expectUnsupported([&] { checkCDBHeader(longer); });

    // A bare 244-byte header that says 245.
    QByteArray header = good.first(244);
    writeUInt32LE(header, 8, 245);
    expectUnsupported([&] { checkCDBHeader(header); });
}

TEST(Nano5ContainerTest, CompletePayloadWantsTheWholeStreamAndNotTheWritersWords) {
    const QByteArray good = library().cdb;
    const QByteArray payload = inflatePayload(QByteArrayView(good).sliced(cdbHeaderLength));
    EXPECT_EQ(completePayload(good), payload);
    // Header words only the writers rely on: another version, scheme and compression flag.
    QByteArray otherWords = good;
    writeUInt32LE(otherWords, 16, 0x30);
    otherWords[48] = 2;
    otherWords[168] = 0;
    EXPECT_EQ(completePayload(otherWords), payload);
    expectUnsupported([&] { checkCDBHeader(otherWords); });

    // A stream cut short or followed by bytes, with the size field telling the truth; a size
    // field that does not.
    for (const QByteArray& bad : {good.first(good.size() - 6), good + QByteArray(8, '\0')}) {
        QByteArray framed = bad;
        writeUInt32LE(framed, 8, static_cast<std::uint32_t>(framed.size()));
        expectUnsupported([&] { completePayload(framed); });
    }
    expectUnsupported([&] { completePayload(good.first(good.size() - 1)); });
    expectUnsupported([&] { completePayload(good.first(200)); });
}

TEST(Nano5ContainerTest, GuardedReadRefusesLinksSidecarsAndFolders) {
    TempFolder folder;
    const fs::path db = folder.path() / "Library.itdb";
    Nano5Fixture::writeFile(db, "sound");
    EXPECT_EQ(readDatabaseFile(db), QByteArray("sound"));

    fs::create_symlink(db, folder.path() / "link");
    expectUnsupported([&] { readDatabaseFile(folder.path() / "link"); });
    fs::create_directory(folder.path() / "dir");
    expectUnsupported([&] { readDatabaseFile(folder.path() / "dir"); });

    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        const fs::path sidecar = folder.path() / (std::string("Library.itdb") + suffix);
        Nano5Fixture::writeFile(sidecar, {}); // even empty
        expectUnsupported([&] { readDatabaseFile(db); });
        fs::remove(sidecar);
    }
    EXPECT_THROW(readDatabaseFile(folder.path() / "missing"), std::system_error);
}

TEST(Nano5ContainerTest, RebuildKeepsTheHeaderAndLibgpodReadsIt) {
    const QByteArray cdb = library().cdb;
    const QByteArray payload = inflatePayload(QByteArrayView(cdb).sliced(cdbHeaderLength));
    const QByteArray rebuilt = rebuildCDB(cdb, payload);

    EXPECT_NO_THROW(checkCDBHeader(rebuilt));
    EXPECT_EQ(readUInt32LE(rebuilt, 8), static_cast<std::uint32_t>(rebuilt.size()));
    QByteArray a = cdb.first(cdbHeaderLength), b = rebuilt.first(cdbHeaderLength);
    writeUInt32LE(a, 8, 0);
    writeUInt32LE(b, 8, 0);
    EXPECT_EQ(a, b);
    EXPECT_EQ(inflatePayload(QByteArrayView(rebuilt).sliced(cdbHeaderLength)), payload);

    // Level 1, as zlib marks it in the stream header's FLEVEL bits.
    EXPECT_EQ(static_cast<unsigned char>(rebuilt[cdbHeaderLength + 1]) >> 6, 0);

    TempFolder folder;
    Nano5Fixture::writeFile(folder.path() / "iPod_Control/Device/SysInfoExtended",
                            Nano5Fixture::sysInfoExtended());
    EXPECT_NO_THROW(verifyPlaylistCDB(rebuilt, folder.path(), library().playlistID,
                                      QStringLiteral("Road Trip"),
                                      {library().trackIDs.rbegin(), library().trackIDs.rend()}));
}

TEST(Nano5ContainerTest, VerificationTellsNameAndMemberMismatches) {
    TempFolder folder;
    Nano5Fixture::writeFile(folder.path() / "iPod_Control/Device/SysInfoExtended",
                            Nano5Fixture::sysInfoExtended());
    const auto& lib = library();
    const std::vector<std::uint64_t> reversed(lib.trackIDs.rbegin(), lib.trackIDs.rend());

    expectUnsupported([&] {
        verifyPlaylistCDB(lib.cdb, folder.path(), lib.playlistID, QStringLiteral("Road trip"),
                          reversed);
    });
    expectUnsupported([&] {
        verifyPlaylistCDB(lib.cdb, folder.path(), lib.playlistID ^ 1, QStringLiteral("Road Trip"),
                          reversed);
    });
    try {
        // Right playlist and name, members in another order.
        verifyPlaylistCDB(lib.cdb, folder.path(), lib.playlistID, QStringLiteral("Road Trip"),
                          lib.trackIDs);
        ADD_FAILURE() << "order not checked";
    } catch (const Nano5Error& error) {
        EXPECT_EQ(error.kind(), Nano5Error::Kind::trackSelectionChanged);
    }
    QByteArray damaged = lib.cdb;
    damaged[damaged.size() - 3] = static_cast<char>(damaged[damaged.size() - 3] ^ 0x55);
    expectUnsupported([&] {
        verifyPlaylistCDB(damaged, folder.path(), lib.playlistID, QStringLiteral("Road Trip"),
                          reversed);
    });
}

TEST(Nano5ContainerTest, InflateRefusesDamageTruncationAndTrailingBytes) {
    const QByteArray stream = zlibOf(QByteArray(5000, 'a'));
    EXPECT_EQ(inflatePayload(stream), QByteArray(5000, 'a'));
    expectUnsupported([&] { inflatePayload(stream.first(stream.size() - 1)); });
    expectUnsupported([&] { inflatePayload(stream + QByteArray("x")); });
    QByteArray flipped = stream;
    flipped[0] = 0x79;
    expectUnsupported([&] { inflatePayload(flipped); });
    expectUnsupported([&] { inflatePayload({}); });
    EXPECT_EQ(inflatePayload(zlibOf({})), QByteArray());
}

TEST(Nano5ContainerTest, InflateStopsAtTheDoublingCapacity) {
    EXPECT_EQ(inflateCapacityLimit(0), maximumPayloadLength);
    EXPECT_EQ(inflateCapacityLimit(1024), maximumPayloadLength);
    EXPECT_EQ(inflateCapacityLimit(1025), 1025 * 65536);
    EXPECT_EQ(inflateCapacityLimit(100000), 100000 * 1024);
    EXPECT_EQ(inflateCapacityLimit(maximumPayloadLength), maximumPayloadLength);

    // Zeros shrink about a thousandfold: 60 MiB fit the capacity their stream allows, while
    // about 97 MiB need more than theirs, although both are below 128 MiB.
    const QByteArray fits = zlibOf(QByteArray(60 * 1048576, '\0'));
    EXPECT_EQ(inflatePayload(fits).size(), 60 * 1048576);
    const qsizetype tooMany = 101559296;
    const QByteArray over = zlibOf(QByteArray(tooMany, '\0'));
    ASSERT_LT(inflateCapacityLimit(over.size()), tooMany);
    expectUnsupported([&] { inflatePayload(over); });
    expectUnsupported([&] { inflatePayload(QByteArray(maximumPayloadLength + 1, 'x')); });
}

TEST(Nano5ContainerTest, InsertBytesSplicesWithoutOverwriting) {
    QByteArray bytes("abcdef");
    insertBytes("XY", bytes, 0);
    insertBytes("Z", bytes, 4);
    insertBytes("!", bytes, bytes.size());
    EXPECT_EQ(bytes, QByteArray("XYabZcdef!"));
}

TEST(Nano5ContainerTest, FuzzedFilesAreRefusedCleanly) {
    const QByteArray good = library().cdb;
    std::mt19937 random(20261208);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = good;
        switch (round % 4) {
        case 0: // truncate
            bytes.truncate(std::uniform_int_distribution<qsizetype>(0, good.size())(random));
            break;
        case 1: // flip bytes anywhere
        case 2: // flip bytes in the payload, keeping the header valid
            for (int i = 0; i < 1 + round % 7; ++i) {
                const qsizetype from = round % 4 == 2 ? cdbHeaderLength : 0;
                const qsizetype at =
                    std::uniform_int_distribution<qsizetype>(from, bytes.size() - 1)(random);
                bytes[at] = static_cast<char>(random());
            }
            break;
        case 3: { // random tail after a valid header
            bytes.truncate(cdbHeaderLength);
            const int extra = std::uniform_int_distribution<int>(0, 2000)(random);
            for (int i = 0; i < extra; ++i)
                bytes.append(static_cast<char>(random()));
            writeUInt32LE(bytes, 8, static_cast<std::uint32_t>(bytes.size()));
            break;
        }
        }
        try {
            checkCDBHeader(bytes);
            const QByteArray payload =
                inflatePayload(QByteArrayView(bytes).sliced(cdbHeaderLength));
            EXPECT_LE(payload.size(), maximumPayloadLength);
            checkCDBHeader(rebuildCDB(bytes, payload));
        } catch (const Nano5Error& error) {
            EXPECT_EQ(error.kind(), Nano5Error::Kind::unsupportedDatabase);
        }
    }
}
