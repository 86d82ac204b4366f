// The library a load shows, read in this process or sent back by the helper process: both give
// the same values, and the binary form from the helper is taken only when it is exactly one
// snapshot with every value in range.

#include "library/LibrarySnapshot.h"
#include "library/DatabasePreflight.h"
#include "library/IPodDatabase.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include <sys/resource.h>
#include <unistd.h>

using TestSupport::IPodVolume;

namespace {

// A library with what the binary form shares and leaves out: albums listed together, covers,
// ratings, a track the main playlist does not list, one listed twice, empty and non-Latin texts.
class LibrarySnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        DatabasePreflight::forgetReadDatabases();
        QList<int> album;
        for (int i = 0; i < 4; ++i) {
            album.append(volume.addTrack({.title = QStringLiteral("Part %1").arg(i),
                                          .artist = QStringLiteral("Björk"),
                                          .album = QStringLiteral("Homogenic"),
                                          .genre = QStringLiteral("Electronic"),
                                          .rating = quint32(20 * i),
                                          .playcount = quint32(i),
                                          .artwork = i == 0}));
        }
        const int other = volume.addTrack({.title = QStringLiteral("夜曲"),
                                           .artist = QStringLiteral("周杰伦"),
                                           .filetype = QStringLiteral("AAC audio file"),
                                           .extension = QStringLiteral("m4a"),
                                           .tracklenMs = 215'000});
        const int spoken = volume.addTrack({.title = QString(),
                                            .filetype = QStringLiteral("Audible file"),
                                            .extension = QStringLiteral("aa"),
                                            .mediatype = 8,
                                            .inMainPlaylist = false});
        volume.appendToMainPlaylist(other);
        volume.addPlaylist(QStringLiteral("Mix"), {other, album[2], other, spoken});
        volume.addPlaylist(QStringLiteral("Empty"), {});
        volume.write();
    }

    DatabasePreflight::Request request() const {
        return {volume.mountPoint(), std::nullopt, 0x1260, "snapshot volume"};
    }
    LibrarySnapshot readHere() const {
        const IPodDatabase database(volume.mountPoint(), std::nullopt, [] { return 0x1260; });
        return LibrarySnapshot::read(database);
    }

    IPodVolume volume{QStringLiteral("MA477")};
};

// The offset of the first track's record in the binary form of a snapshot (one that has a main
// playlist name and a model, no serial model or number).
qsizetype firstTrackOffset(const LibrarySnapshot& snapshot) {
    const auto textBytes = [](const QString& text) { return 4 + 2 * text.size(); };
    qsizetype offset = 4 + 1 + textBytes(*snapshot.mainPlaylistName);
    offset +=
        1 + 1 + 4 + 1 + (snapshot.model->colorName ? textBytes(*snapshot.model->colorName) : 0);
    offset += textBytes(snapshot.model->iconName);
    offset += 1 + 1;   // serial model, serial number: none
    return offset + 4; // the track count
}

void putNumber(QByteArray& bytes, qsizetype offset, auto value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

// While it lives, the process may map at most `extra` bytes more than it has mapped now, so that
// an allocation sized by a count the bytes cannot hold fails (and the sanitizer build dies of
// it) whatever the machine's overcommit.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(rlim_t extra) {
        ::getrlimit(RLIMIT_AS, &before);
        unsigned long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%lu", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        const rlim_t limit = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + extra;
        const rlimit limited{std::min(limit, before.rlim_max), before.rlim_max};
        applied = pages > 0 && ::setrlimit(RLIMIT_AS, &limited) == 0;
    }
    ~AddressSpaceLimit() { ::setrlimit(RLIMIT_AS, &before); }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

    bool applied = false;

private:
    rlimit before{};
};

// Where the number `value` is followed by `after` in bytes (the first such place), or -1.
qsizetype countOffset(const QByteArray& bytes, quint32 value, const QByteArray& after) {
    QByteArray pattern(sizeof value, Qt::Uninitialized);
    std::memcpy(pattern.data(), &value, sizeof value);
    return bytes.indexOf(pattern + after);
}

QByteArray numberBytes(auto value) {
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}

} // namespace

TEST_F(LibrarySnapshotTest, TheHelpersLibraryEqualsTheOneReadHere) {
    const LibrarySnapshot here = readHere();
    // The main playlist's order (one track listed twice), then the track it does not list.
    ASSERT_EQ(here.tracks.size(), 7);
    ASSERT_EQ(here.playlists.size(), 2);
    ASSERT_TRUE(here.model);
    EXPECT_EQ(here.tracks[5].title, QStringLiteral("夜曲"));
    EXPECT_EQ(here.tracks[5].playbackPosition, 6);
    EXPECT_EQ(here.tracks[6].playbackPosition, std::nullopt);
    EXPECT_EQ(here.tracks[1].ratingStars, 1);
    EXPECT_TRUE(here.tracks[0].hasCoverArtwork);
    EXPECT_FALSE(here.tracks[6].isMusic);

    const std::optional<LibrarySnapshot> fromHelper = DatabasePreflight::read(request());
    ASSERT_TRUE(fromHelper);
    EXPECT_EQ(*fromHelper, here);
    // Read cleanly now, the unchanged files are opened here next time: nothing comes back.
    EXPECT_EQ(DatabasePreflight::read(request()), std::nullopt);

    // Texts shared with the track before are written once and come back whole.
    const QByteArray bytes = here.encoded();
    const QString album = QStringLiteral("Homogenic");
    EXPECT_EQ(
        bytes.count(QByteArrayView(reinterpret_cast<const char*>(album.utf16()), album.size() * 2)),
        1);
    EXPECT_EQ(LibrarySnapshot::decoded(bytes), here);
}

TEST_F(LibrarySnapshotTest, OnlyOneWholeSnapshotWithValuesInRangeIsTaken) {
    const LibrarySnapshot snapshot = readHere();
    const QByteArray bytes = snapshot.encoded();
    ASSERT_TRUE(LibrarySnapshot::decoded(bytes));

    // Cut anywhere, or with anything after it.
    for (qsizetype length = 0; length < bytes.size(); ++length)
        EXPECT_FALSE(LibrarySnapshot::decoded(QByteArrayView(bytes).first(length))) << length;
    EXPECT_FALSE(LibrarySnapshot::decoded(bytes + '\0'));

    // Any one byte changed: either another sound snapshot, which goes through the binary form
    // unchanged, or none (the sanitizers watch the reads and allocations).
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        for (const char value : {'\x00', '\x02', '\x7f', '\xff'}) {
            QByteArray changed = bytes;
            changed[at] = value;
            if (const auto decoded = LibrarySnapshot::decoded(changed)) {
                EXPECT_EQ(LibrarySnapshot::decoded(decoded->encoded()), decoded) << at;
            }
        }
    }

    const qsizetype track = firstTrackOffset(snapshot);
    ASSERT_EQ(std::memcmp(bytes.constData() + track, &snapshot.tracks[0].id, 8), 0);
    const auto refused = [&](const char* what, auto change) {
        QByteArray changed = bytes;
        change(changed);
        EXPECT_FALSE(LibrarySnapshot::decoded(changed)) << what;
    };
    refused("another layout's tag", [](QByteArray& b) { b[0] = char(b[0] ^ 1); });
    // A count far beyond what the bytes could hold is refused before anything is reserved.
    refused("a huge track count",
            [&](QByteArray& b) { putNumber(b, track - 4, quint32(0x7fffffff)); });
    // The first track cannot share a text with a track before it.
    const qsizetype title = track + 8;
    const qsizetype artist = title + 4 + 2 * snapshot.tracks[0].title.size();
    refused("a shared text without a track before",
            [&](QByteArray& b) { putNumber(b, artist, quint32(0xffffffff)); });
    refused("a text longer than what is left",
            [&](QByteArray& b) { putNumber(b, title, quint32(0x7ffffff0)); });
    // Values that no database read gives.
    const qsizetype cover = artist + 4 + 2 * snapshot.tracks[0].artist.size() + 4 +
                            2 * snapshot.tracks[0].album.size() + 4 +
                            2 * snapshot.tracks[0].albumArtist.size();
    refused("a flag that is neither 0 nor 1", [&](QByteArray& b) { b[cover] = 2; });
    const qsizetype rating = cover + 1 + 4 + 2 * snapshot.tracks[0].genre.size();
    refused("six stars", [&](QByteArray& b) { putNumber(b, rating, 6); });
    refused("negative stars", [&](QByteArray& b) { putNumber(b, rating, -1); });
    const qsizetype duration = rating + 4 + 4 + 1 + 4 + 2 * snapshot.tracks[0].format.size() + 4;
    ASSERT_EQ(std::memcmp(bytes.constData() + duration, &snapshot.tracks[0].duration, 8), 0);
    refused("an endless track", [&](QByteArray& b) {
        putNumber(b, duration, std::numeric_limits<double>::infinity());
    });
    refused("a track of no number", [&](QByteArray& b) {
        putNumber(b, duration, std::numeric_limits<double>::quiet_NaN());
    });
    refused("a negative length", [&](QByteArray& b) { putNumber(b, duration, -1.0); });
    ASSERT_EQ(snapshot.tracks[0].playbackPosition, 1);
    refused("position 0", [&](QByteArray& b) { putNumber(b, duration + 8 + 1, 0); });
}

// Thousands of seeded mutants (bit flips, cuts, huge counts in every list and anywhere else):
// each is refused or decodes to a snapshot that goes through the binary form unchanged, and none
// reads past its bytes or asks for memory its bytes could not describe.
TEST_F(LibrarySnapshotTest, MutatedSnapshotsAreRefusedCleanly) {
    const LibrarySnapshot snapshot = readHere();
    const QByteArray bytes = snapshot.encoded();
    ASSERT_EQ(LibrarySnapshot::decoded(bytes), snapshot);

    // The three kinds of list count: tracks, playlists, a playlist's tracks.
    QList<qsizetype> counts{firstTrackOffset(snapshot) - 4,
                            countOffset(bytes, quint32(snapshot.playlists.size()),
                                        numberBytes(snapshot.playlists[0].id))};
    for (const IPodPlaylist& playlist : snapshot.playlists) {
        const qsizetype name =
            countOffset(bytes, quint32(playlist.name.size()),
                        QByteArray(reinterpret_cast<const char*>(playlist.name.utf16()),
                                   playlist.name.size() * 2));
        ASSERT_GE(name, 8);
        ASSERT_EQ(bytes.mid(name - 8, 8), numberBytes(playlist.id));
        counts.append(name + 4 + playlist.name.size() * 2);
    }
    for (const qsizetype count : counts)
        ASSERT_GT(count, 0);
    const QList<quint32> hugeCounts{0xFFFFFFFFu, 0xFFFFFFFEu, 0x7FFFFFFFu,
                                    0x10000000u, 0x01000000u, 0x00100000u};

    std::mt19937 random(20261209);
    const auto below = [&random](qsizetype n) {
        return qsizetype(std::uniform_int_distribution<qsizetype>(0, n - 1)(random));
    };
    QList<QByteArray> mutants;
    for (const qsizetype count : counts) {
        for (const quint32 huge : hugeCounts) {
            QByteArray mutant = bytes;
            std::memcpy(mutant.data() + count, &huge, sizeof huge);
            mutants.append(mutant);
        }
    }
    for (int i = 0; i < 4000; ++i) {
        QByteArray mutant = bytes;
        switch (i % 4) {
        case 0: // a few bits flipped
            for (qsizetype flips = 1 + below(8); flips > 0; --flips)
                mutant[below(mutant.size())] ^= char(1 << below(8));
            break;
        case 1: // cut short, maybe after flipping a bit
            if (below(2) == 0)
                mutant[below(mutant.size())] ^= char(1 << below(8));
            mutant.truncate(below(mutant.size()));
            break;
        case 2: { // a huge count in one of the lists, with a bit flipped elsewhere
            const quint32 huge = hugeCounts[below(hugeCounts.size())] - quint32(below(3));
            std::memcpy(mutant.data() + counts[below(counts.size())], &huge, sizeof huge);
            mutant[below(mutant.size())] ^= char(1 << below(8));
            break;
        }
        default: { // a huge number anywhere
            const quint32 huge = hugeCounts[below(hugeCounts.size())];
            std::memcpy(mutant.data() + below(mutant.size() - 3), &huge, sizeof huge);
            break;
        }
        }
        mutants.append(mutant);
    }

    int decodedCount = 0;
    {
        const AddressSpaceLimit limit(rlim_t(512) << 20);
        EXPECT_TRUE(limit.applied);
        for (qsizetype i = 0; i < mutants.size(); ++i) {
            std::optional<LibrarySnapshot> decoded;
            EXPECT_NO_THROW(decoded = LibrarySnapshot::decoded(mutants[i])) << i;
            if (decoded) {
                ++decodedCount;
                EXPECT_EQ(LibrarySnapshot::decoded(decoded->encoded()), decoded) << i;
            }
        }
    }
    // Most mutants are refused; a flipped bit in a number or text still decodes.
    EXPECT_LT(decodedCount, mutants.size() / 2);
    EXPECT_GT(mutants.size() - decodedCount, 3000);
}

// How the helper reports a refused opening: the error comes back as it was, or not at all.
TEST(LibrarySnapshotErrorTest, AnErrorAloneComesBackAsItWas) {
    for (const IPodDatabaseError& error :
         {IPodDatabaseError::library(QStringLiteral("Read library"), QStringLiteral("Broken")),
          IPodDatabaseError::library(QStringLiteral("Read library"), std::nullopt),
          IPodDatabaseError::unsupportedDatabase(), IPodDatabaseError::missingMainPlaylist(),
          IPodDatabaseError::emptyLibrary(), IPodDatabaseError::noScratchSpace({}),
          IPodDatabaseError::noScratchSpace(
              {{QStringLiteral("/tmp"), ScratchFolder::Refusal::Reason::full},
               {QStringLiteral("/home/ö/.cache/Lorvanel"),
                ScratchFolder::Refusal::Reason::unwritable}}),
          IPodDatabaseError::artworkFormatsOutOfBounds(QStringLiteral("iPod_Control/Device/x")),
          IPodDatabaseError::artworkFormatsOutOfBounds(std::nullopt),
          IPodDatabaseError::storedCoverFormatsUnlisted(QStringLiteral("iPod_Control/Device/x")),
          IPodDatabaseError::storedCoverFormatsUnlisted(std::nullopt),
          IPodDatabaseError::storedCoversUnreadable(QStringLiteral("iPod_Control/Artwork")),
          IPodDatabaseError::storedCoverFormatsOfOtherModel(
              QStringLiteral("iPod_Control/Device/x")),
          IPodDatabaseError::storedCoverFormatsOfOtherModel(std::nullopt)}) {
        const QByteArray bytes = LibrarySnapshot::encodedError(error);
        EXPECT_EQ(LibrarySnapshot::decodedError(bytes), error);
        EXPECT_FALSE(LibrarySnapshot::decodedError(bytes + '\0'));
        for (qsizetype length = 0; length < bytes.size(); ++length)
            EXPECT_FALSE(LibrarySnapshot::decodedError(QByteArrayView(bytes).first(length)));
    }
}
