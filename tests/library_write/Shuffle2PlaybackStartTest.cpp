// The second-generation shuffle's start track on real libgpod-written iTunesSD files.

#include "WriteTestSupport.h"
#include "library/Nano5FileOps.h"
#include "support/IPodVolume.h"

#include <system_error>

using TestSupport::IPodVolume;
using WriteTests::failureOf;
using Case = IPodDatabaseError::Case;

namespace {

const QString sdFile = QStringLiteral("iPod_Control/iTunes/iTunesSD");
const QString pstateFile = QStringLiteral("iPod_Control/iTunes/iTunesPState");
const QString shuffleFile = QStringLiteral("iPod_Control/iTunes/iTunesShuffle");
const QString statsFile = QStringLiteral("iPod_Control/iTunes/iTunesStats");

QByteArray u32s(const QList<quint32>& values) {
    QByteArray bytes;
    for (quint32 value : values)
        for (int i = 0; i < 4; ++i)
            bytes.append(char((value >> (8 * i)) & 0xFF));
    return bytes;
}

QList<quint32> readU32s(const QByteArray& bytes, int count) {
    QList<quint32> values;
    for (int i = 0; i < count; ++i)
        values.append(IPodDatabase::readUInt32LE(bytes, i * 4));
    return values;
}

QByteArray pstate(quint32 current, quint32 position, quint32 count) {
    QByteArray bytes(32, '\x5A'); // uninterpreted bytes must survive
    const QByteArray words = u32s({current, position, 0xDEADBEEF, count, 2});
    bytes.replace(4, 20, words);
    return bytes;
}

QByteArray stats(quint32 count, int records) {
    QByteArray bytes;
    bytes.append(char(count & 0xFF)).append(char((count >> 8) & 0xFF)).append(char(count >> 16));
    bytes.append("xyz");
    for (int i = 0; i < records; ++i) {
        QByteArray record(18 + i, char('a' + i)); // lengths differ on purpose
        record[0] = char(record.size());
        record[1] = record[2] = 0;
        bytes.append(record);
    }
    return bytes.append("TAIL");
}

QByteArray entry(const QByteArray& sd, int index) {
    return sd.mid(18 + 558 * index, 558);
}

// A shuffle of six tracks with every resume file present: current entry c, shuffle
// position 1, shuffle order 3,5,0,1,4,2.
struct Shuffle {
    IPodVolume volume{QStringLiteral("MA546")};
    explicit Shuffle(quint32 current = 2) {
        for (int i = 0; i < 6; ++i)
            volume.addTrack({.title = QStringLiteral("T%1").arg(i)});
        volume.write();
        volume.writeFile(pstateFile, pstate(current, 1, 6));
        volume.writeFile(shuffleFile, u32s({3, 5, 0, 1, 4, 2}) + "tail");
        volume.writeFile(statsFile, stats(6, 6));
    }
    quint64 id(int index) const { return volume.trackID(index); }
    QByteArray read(const QString& file) const { return volume.readFile(file); }
};

// Fails the k-th file operation, once.
class FailingOps : public Nano5FileOps {
public:
    explicit FailingOps(int failAt, int failAlsoFrom = 0)
        : failAt_(failAt)
        , failAlsoFrom_(failAlsoFrom) {}
    int performed = 0;

protected:
    void willPerform(Operation, const std::filesystem::path& path) override {
        ++performed;
        if (performed == failAt_ || (failAlsoFrom_ > 0 && performed >= failAlsoFrom_))
            throw std::system_error(EIO, std::generic_category(), "injected " + path.string());
    }

private:
    int failAt_;
    int failAlsoFrom_;
};

} // namespace

TEST(Shuffle2PlaybackStart, TheChosenTrackMovesToTheCurrentEntryWithItsOrderAndStats) {
    Shuffle shuffle; // c = 2
    const QByteArray oldSD = shuffle.read(sdFile);
    const QByteArray oldStats = shuffle.read(statsFile);
    IPodDatabase database(shuffle.volume.mountPoint());
    database.setPlaybackStart(shuffle.id(5)); // t = 5

    const QByteArray newSD = shuffle.read(sdFile);
    ASSERT_EQ(newSD.size(), oldSD.size());
    EXPECT_EQ(newSD.left(18), oldSD.left(18));
    const QList<int> expected{0, 1, 5, 2, 3, 4};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(entry(newSD, k), entry(oldSD, expected[k])) << k;
    const QByteArray newShuffle = shuffle.read(shuffleFile);
    EXPECT_EQ(readU32s(newShuffle, 6), (QList<quint32>{4, 2, 0, 1, 5, 3}));
    EXPECT_TRUE(newShuffle.endsWith("tail"));
    EXPECT_EQ(newShuffle.size(), 28);
    QByteArray expectedPState = pstate(2, 1, 6);
    expectedPState.replace(12, 4, QByteArray(4, '\0'));
    EXPECT_EQ(shuffle.read(pstateFile), expectedPState);
    const QByteArray expectedStats = [&] {
        QByteArray records[6];
        qsizetype at = 6;
        for (int i = 0; i < 6; ++i) {
            records[i] = oldStats.mid(at, 18 + i);
            at += 18 + i;
        }
        QByteArray bytes = oldStats.left(6);
        for (int k : expected)
            bytes.append(records[k]);
        return bytes.append("TAIL");
    }();
    EXPECT_EQ(shuffle.read(statsFile), expectedStats);

    // The resume reader now finds the chosen track at the current entry.
    IPodDatabase reopened(shuffle.volume.mountPoint());
    EXPECT_EQ(reopened.readShuffle2PlaybackMode()->resumeTrackID, shuffle.id(5));
}

TEST(Shuffle2PlaybackStart, TheCurrentTrackKeepsItsEntryAndTheStatsStayUntouched) {
    Shuffle shuffle;
    IPodDatabase database(shuffle.volume.mountPoint());
    shuffle.volume.writeFile(statsFile, stats(9, 0)); // would fail if it were read
    const QByteArray oldSD = shuffle.read(sdFile);
    database.setPlaybackStart(shuffle.id(2));
    EXPECT_EQ(shuffle.read(sdFile), oldSD);
    // 2 moves to shuffle position 1.
    EXPECT_EQ(readU32s(shuffle.read(shuffleFile), 6), (QList<quint32>{3, 2, 5, 0, 1, 4}));
    EXPECT_EQ(shuffle.read(statsFile), stats(9, 0));
    EXPECT_EQ(shuffle.read(pstateFile).mid(12, 4), QByteArray(4, '\0'));
}

TEST(Shuffle2PlaybackStart, AMissingShuffleOrderIsMadeUp) {
    Shuffle shuffle(0);
    shuffle.volume.removeFile(shuffleFile);
    shuffle.volume.removeFile(statsFile);
    shuffle.volume.writeFile(pstateFile, pstate(0, 9, 6)); // shuffle position past the end
    IPodDatabase(shuffle.volume.mountPoint()).setPlaybackStart(shuffle.id(3));
    const QByteArray order = shuffle.read(shuffleFile);
    ASSERT_EQ(order.size(), 24);
    const QList<quint32> values = readU32s(order, 6);
    EXPECT_EQ(QSet<quint32>(values.begin(), values.end()), (QSet<quint32>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(values[0], 0u); // the target, now entry 0, at position 0
    EXPECT_EQ(shuffle.read(pstateFile).mid(8, 8), QByteArray(8, '\0'));
    EXPECT_FALSE(shuffle.volume.exists(statsFile));
}

TEST(Shuffle2PlaybackStart, DoubledEntriesPreferTheCurrentThenTheShufflePositionThenTheFirst) {
    Shuffle shuffle(4);
    // Entry 4 names the file of entry 1 as well.
    QByteArray sd = shuffle.read(sdFile);
    sd.replace(18 + 558 * 4, 558, entry(sd, 1));
    shuffle.volume.writeFile(sdFile, sd);
    const auto chosen = [&](quint32 current, quint32 atPosition) {
        shuffle.volume.writeFile(sdFile, sd);
        shuffle.volume.writeFile(pstateFile, pstate(current, 1, 6));
        const quint32 other = atPosition == 4 ? 5 : 4;
        shuffle.volume.writeFile(shuffleFile, u32s({3, atPosition, 0, 1, other, 2}) + "tail");
        shuffle.volume.writeFile(statsFile, stats(6, 6));
        IPodDatabase(shuffle.volume.mountPoint()).setPlaybackStart(shuffle.id(1));
        // Which old entry landed at the current index: its statistics record tells.
        const QByteArray newStats = shuffle.read(statsFile);
        qsizetype at = 6;
        for (quint32 k = 0; k < current; ++k)
            at += static_cast<unsigned char>(newStats[at]);
        return static_cast<unsigned char>(newStats[at]) - 18;
    };
    EXPECT_EQ(chosen(4, 5), 4); // current entry 4 plays it: nothing moves
    EXPECT_EQ(chosen(0, 4), 4);
    EXPECT_EQ(chosen(0, 5), 1);
}

TEST(Shuffle2PlaybackStart, InconsistentFilesAreRefusedBeforeAnythingIsWritten) {
    Shuffle shuffle;
    const auto refusedUnchanged = [&](const std::function<void()>& damage, Case expected) {
        // libgpod itself reads iTunesStats when it opens the database, so the damage comes
        // after the opening.
        IPodDatabase database(shuffle.volume.mountPoint());
        damage();
        const auto before = TestSupport::snapshotTree(shuffle.volume.mountPoint());
        EXPECT_EQ(failureOf([&] { database.setPlaybackStart(shuffle.id(5)); }), expected);
        EXPECT_TRUE(TestSupport::snapshotTree(shuffle.volume.mountPoint()) == before);
        shuffle.volume.writeFile(pstateFile, pstate(2, 1, 6));
        shuffle.volume.writeFile(shuffleFile, u32s({3, 5, 0, 1, 4, 2}) + "tail");
        shuffle.volume.writeFile(statsFile, stats(6, 6));
    };
    refusedUnchanged(
        [&] {
            shuffle.volume.writeFile(shuffleFile, u32s({3, 5, 0, 1, 4, 6}));
        },
        Case::invalidPlaybackState);
    refusedUnchanged(
        [&] {
            shuffle.volume.writeFile(shuffleFile, u32s({3, 5, 0, 1, 4, 4}));
        },
        Case::invalidPlaybackState);
    refusedUnchanged(
        [&] {
            shuffle.volume.writeFile(shuffleFile, u32s({3, 5, 0, 1, 4, 2}) + "x");
        },
        Case::invalidPlaybackState);
    refusedUnchanged(
        [&] {
            shuffle.volume.writeFile(shuffleFile, u32s({3, 5, 0, 1, 4}));
        },
        Case::invalidPlaybackState);
    refusedUnchanged([&] { shuffle.volume.writeFile(pstateFile, pstate(2, 6, 6)); },
                     Case::invalidPlaybackState);
    refusedUnchanged([&] { shuffle.volume.writeFile(statsFile, stats(5, 5)); },
                     Case::invalidPlaybackState);
    refusedUnchanged([&] { shuffle.volume.writeFile(statsFile, stats(6, 5)); },
                     Case::invalidPlaybackState);
    refusedUnchanged([&] { shuffle.volume.writeFile(pstateFile, pstate(2, 1, 5)); },
                     Case::invalidPlaybackState);
    refusedUnchanged([&] { shuffle.volume.removeFile(pstateFile); }, Case::invalidPlaybackState);
    // An entry path in other letters is another file.
    refusedUnchanged(
        [&] {
            QByteArray sd = shuffle.read(sdFile);
            const QString path = *[&] {
                QFile file(shuffle.volume.path(sdFile));
                file.open(QIODevice::ReadOnly);
                return IPodDatabase::readShuffle2EntryPath(file, 5);
            }();
            const QString lower = path.toLower();
            ASSERT_NE(lower, path);
            sd.replace(18 + 558 * 5 + 33, lower.size() * 2,
                       QByteArray(reinterpret_cast<const char*>(lower.utf16()), lower.size() * 2));
            shuffle.volume.writeFile(sdFile, sd);
        },
        Case::trackSelectionChanged);

    IPodVolume nano(QStringLiteral("MA477"));
    const int song = nano.addTrack({});
    nano.write();
    EXPECT_EQ(
        failureOf([&] { IPodDatabase(nano.mountPoint()).setPlaybackStart(nano.trackID(song)); }),
        Case::unsupportedDatabase);
}

TEST(Shuffle2PlaybackStart, StatsRecordsMustEachFit) {
    const QList<quint32> order{1, 0};
    EXPECT_EQ(IPodDatabase::reorderStats(stats(2, 2), order).mid(6, 37),
              stats(2, 2).mid(6 + 18, 19) + stats(2, 2).mid(6, 18));
    QByteArray shortRecord = stats(2, 2);
    shortRecord[6] = 17;
    EXPECT_EQ(failureOf([&] { IPodDatabase::reorderStats(shortRecord, order); }),
              Case::invalidPlaybackState);
    QByteArray overrun = stats(2, 2).left(6 + 18 + 19);
    overrun[6 + 18] = 20;
    EXPECT_EQ(failureOf([&] { IPodDatabase::reorderStats(overrun, order); }),
              Case::invalidPlaybackState);
    EXPECT_EQ(failureOf([&] { IPodDatabase::reorderStats(stats(2, 2).left(30), order); }),
              Case::invalidPlaybackState);
}

TEST(Shuffle2PlaybackStart, AFailedWriteAtAnyStepLeavesAllFourFilesAsTheyWere) {
    int operations = 0;
    const QString files[4] = {sdFile, shuffleFile, statsFile, pstateFile};
    {
        Shuffle shuffle;
        FailingOps counting(0);
        IPodDatabase(shuffle.volume.mountPoint()).setPlaybackStart(shuffle.id(5), counting);
        operations = counting.performed;
    }
    ASSERT_EQ(operations, 24); // four files: create, write, flush, close, rename, folder flush
    Shuffle shuffle;
    QByteArray oldFiles[4];
    for (int i = 0; i < 4; ++i)
        oldFiles[i] = shuffle.read(files[i]);
    for (int k = 1; k <= operations; ++k) {
        for (int i = 0; i < 4; ++i)
            shuffle.volume.writeFile(files[i], oldFiles[i]);
        const auto before = TestSupport::snapshotTree(shuffle.volume.mountPoint());
        FailingOps failing(k);
        IPodDatabase database(shuffle.volume.mountPoint());
        EXPECT_THROW(database.setPlaybackStart(shuffle.id(5), failing), std::system_error) << k;
        // A failed call has undone everything it wrote, even a file whose rename got through.
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(shuffle.read(files[i]), oldFiles[i]) << "failure at operation " << k;
        EXPECT_EQ(TestSupport::snapshotTree(shuffle.volume.mountPoint()).keys(), before.keys())
            << k; // no temporary file left
    }
}

TEST(Shuffle2PlaybackStart, ACreatedShuffleOrderIsRemovedWhenALaterWriteFails) {
    Shuffle shuffle;
    shuffle.volume.removeFile(shuffleFile);
    FailingOps failing(13); // the first operation of the stats file
    IPodDatabase database(shuffle.volume.mountPoint());
    EXPECT_THROW(database.setPlaybackStart(shuffle.id(5), failing), std::system_error);
    EXPECT_FALSE(shuffle.volume.exists(shuffleFile));

    // When the undo fails as well, the save is reported as failed with the undo's reason.
    FailingOps broken(13, 14);
    IPodDatabase again(shuffle.volume.mountPoint());
    try {
        again.setPlaybackStart(shuffle.id(5), broken);
        ADD_FAILURE() << "no failure";
    } catch (const IPodDatabaseError& error) {
        EXPECT_EQ(error.errorCase(), Case::library);
        EXPECT_EQ(error.operation(), QStringLiteral("Save library"));
        EXPECT_TRUE(error.detail() && error.detail()->contains(QStringLiteral("injected")));
    }
}

TEST(Shuffle2PlaybackStart, TheSessionCheckpointStopsTheTransactionBeforeItsFirstWrite) {
    Shuffle shuffle;
    bool swapped = false;
    IPodDatabase database(shuffle.volume.mountPoint(), std::nullopt, {}, [&] {
        if (swapped)
            throw std::runtime_error("The iPod was disconnected.");
    });
    swapped = true;
    const auto before = TestSupport::snapshotTree(shuffle.volume.mountPoint());
    EXPECT_THROW(database.setPlaybackStart(shuffle.id(5)), std::runtime_error);
    EXPECT_EQ(
        TestSupport::differences(before, TestSupport::snapshotTree(shuffle.volume.mountPoint())),
        QStringList());
    swapped = false;
    database.setPlaybackStart(shuffle.id(5));
    EXPECT_FALSE(
        TestSupport::differences(before, TestSupport::snapshotTree(shuffle.volume.mountPoint()))
            .isEmpty());
}
