#include "Nano5Fixture.h"

#include "library/Nano5Commit.h"
#include "library/Nano5Container.h"
#include "library/Nano5Error.h"

#include <gtest/gtest.h>

#include <set>
#include <system_error>

namespace fs = std::filesystem;
using namespace Nano5Playlist;
using Nano5Fixture::readFile;
using Nano5Fixture::TempFolder;
using Nano5Fixture::writeFile;

namespace {

// Fails the Nth operation; in crash mode every later one too, as if the power had gone.
class FailingOps : public Nano5FileOps {
public:
    FailingOps(int failAt, bool crash)
        : failAt(failAt)
        , crash(crash) {}
    int calls = 0;
    std::vector<std::pair<Operation, fs::path>> log;

protected:
    void willPerform(Operation operation, const fs::path& path) override {
        ++calls;
        log.emplace_back(operation, path);
        if (calls == failAt || (crash && failAt > 0 && calls > failAt))
            throw std::system_error(EIO, std::generic_category(), "injected");
    }

private:
    int failAt;
    bool crash;
};

struct Volume {
    TempFolder folder{Nano5Fixture::memoryTempBase()};
    fs::path mount;
    std::vector<fs::path> targets;
    std::vector<QByteArray> oldContents, newContents;
    std::optional<StagedAudio> audio;
    fs::path transaction;
    QByteArray song;

    explicit Volume(bool import, qsizetype songBytes = 4096) {
        mount = folder.path() / "NANO";
        targets = import ? importTargets(mount) : playlistTargets(mount);
        transaction = import ? importTransactionFolder(mount) : playlistTransactionFolder(mount);
        for (size_t i = 0; i < targets.size(); ++i) {
            oldContents.push_back(QByteArray("old contents of ") + QByteArray::number(i));
            newContents.push_back(QByteArray(3000 + 100 * int(i), char('a' + i)));
            writeFile(targets[i], oldContents[i]);
        }
        fs::create_directories(mount / "iPod_Control/Music/F00");
        if (import) {
            song = QByteArray(songBytes, 'S');
            writeFile(folder.path() / "source.mp3", song);
            audio = StagedAudio{folder.path() / "source.mp3",
                                mount / "iPod_Control/Music/F00/0A1B2C3D.mp3"};
        }
    }

    void commit(
        Nano5FileOps& ops, const Checkpoint& checkpoint = [] {}) {
        commitFiles(newContents, oldContents, targets, transaction, checkpoint, audio, ops);
    }

    std::vector<QByteArray> current() const {
        std::vector<QByteArray> out;
        for (const auto& target : targets)
            out.push_back(readFile(target));
        return out;
    }
    bool audioPresent() const { return audio && fs::exists(audio->destination); }

    // All old without the song, or all new with it; never a mix.
    void expectConsistent(const std::string& context) const {
        const auto now = current();
        if (now == oldContents) {
            EXPECT_FALSE(audioPresent()) << context;
        } else {
            EXPECT_EQ(now, newContents) << context << ": targets are a mix";
            if (audio) {
                ASSERT_TRUE(audioPresent()) << context;
                EXPECT_EQ(readFile(audio->destination), song) << context;
            }
        }
    }
    // What an interrupted commit left: complete once every target holds its new contents.
    bool isComplete() const { return current() == newContents; }
    // Recovery finishes a complete transaction and rolls back any other.
    void expectRecovered(bool complete, const std::string& context) const {
        if (complete) {
            EXPECT_EQ(current(), newContents) << context << ": a complete commit was rolled back";
            EXPECT_EQ(audioPresent(), audio.has_value()) << context;
        } else {
            EXPECT_EQ(current(), oldContents) << context << ": an incomplete commit was kept";
            EXPECT_FALSE(audioPresent()) << context;
        }
    }
    void expectClean(const std::string& context) const {
        EXPECT_FALSE(fs::exists(transaction)) << context;
        for (const auto& target : targets)
            EXPECT_FALSE(fs::exists(target.parent_path() /
                                    ("." + target.filename().string() + ".lorvanel-tmp")))
                << context;
    }
};

int countOperations(bool import) {
    Volume volume(import);
    FailingOps ops(0, false);
    volume.commit(ops);
    return ops.calls;
}

} // namespace

TEST(Nano5CommitTest, CommitReplacesEveryTargetAndMovesTheSong) {
    for (bool import : {false, true}) {
        Volume volume(import, 2 * 1048576 + 17); // more than one copy chunk
        volume.commit(Nano5FileOps::system());
        EXPECT_EQ(volume.current(), volume.newContents);
        EXPECT_EQ(volume.audioPresent(), import);
        volume.expectClean("commit");
        EXPECT_TRUE(fs::exists(volume.folder.path() / "source.mp3") || !import);
    }
}

TEST(Nano5CommitTest, EveryCrashPointRecoversToAllOldOrAllNew) {
    for (bool import : {false, true}) {
        const int total = countOperations(import);
        ASSERT_GT(total, 20);
        std::set<bool> outcomes;
        for (int n = 1; n <= total; ++n) {
            const std::string context =
                (import ? "import" : "playlist") + std::string(" crash at ") + std::to_string(n);
            Volume volume(import);
            FailingOps ops(n, true);
            try {
                volume.commit(ops);
                // Only the clean-up after a complete commit may be cut short silently.
                EXPECT_EQ(volume.current(), volume.newContents) << context;
            } catch (const std::system_error&) {
            }
            const bool complete = volume.isComplete();
            ASSERT_NO_THROW(recoverTransactions(volume.mount, [] {})) << context;
            volume.expectConsistent(context);
            volume.expectRecovered(complete, context);
            volume.expectClean(context);
            outcomes.insert(complete);
            // The volume takes the next commit.
            if (volume.current() == volume.oldContents) {
                EXPECT_NO_THROW(volume.commit(Nano5FileOps::system())) << context;
                volume.expectConsistent(context + ", then committed");
            }
        }
        EXPECT_EQ(outcomes, (std::set<bool>{false, true}));
    }
}

TEST(Nano5CommitTest, EveryFailedCallIsRolledBackByTheCommitItself) {
    for (bool import : {false, true}) {
        const int total = countOperations(import);
        for (int n = 1; n <= total; ++n) {
            const std::string context =
                (import ? "import" : "playlist") + std::string(" failure at ") + std::to_string(n);
            Volume volume(import);
            FailingOps ops(n, false);
            bool threw = false;
            try {
                volume.commit(ops);
            } catch (const std::system_error&) {
                threw = true;
            }
            volume.expectConsistent(context);
            // A commit that reports failure has changed nothing.
            if (threw) {
                EXPECT_EQ(volume.current(), volume.oldContents) << context;
                volume.expectClean(context);
            }
            ASSERT_NO_THROW(recoverTransactions(volume.mount, [] {})) << context;
            volume.expectConsistent(context);
            volume.expectRecovered(!threw, context);
            volume.expectClean(context);
        }
    }
}

TEST(Nano5CommitTest, UnplugAtEveryCheckpointIsRecoverable) {
    for (bool import : {false, true}) {
        for (int k = 1;; ++k) {
            const std::string context = "unplug at checkpoint " + std::to_string(k);
            Volume volume(import);
            int seen = 0;
            bool unplugged = false;
            bool completeWhenUnplugged = false;
            auto checkpoint = [&] {
                if (++seen >= k) {
                    if (!unplugged)
                        completeWhenUnplugged = volume.isComplete();
                    unplugged = true;
                    throw std::runtime_error("The iPod was disconnected.");
                }
            };
            try {
                volume.commit(Nano5FileOps::system(), checkpoint);
            } catch (const std::runtime_error&) {
            }
            if (!unplugged)
                break; // past the last checkpoint
            // Plugged in again: recovery finishes what was complete and rolls back the rest.
            ASSERT_NO_THROW(recoverTransactions(volume.mount, [] {})) << context;
            volume.expectConsistent(context);
            volume.expectRecovered(completeWhenUnplugged, context);
            volume.expectClean(context);
        }
    }
}

TEST(Nano5CommitTest, ForeignChangeDuringTheCommitIsKeptAndOursRolledBack) {
    for (bool import : {false, true}) {
        for (int k = 1;; ++k) {
            const std::string context = "foreign change at checkpoint " + std::to_string(k);
            Volume volume(import);
            const size_t victim = volume.targets.size() - 1;
            int seen = 0;
            bool changed = false;
            auto checkpoint = [&] {
                if (++seen == k) {
                    writeFile(volume.targets[victim], "someone else's library");
                    changed = true;
                }
            };
            try {
                volume.commit(Nano5FileOps::system(), checkpoint);
                EXPECT_FALSE(changed) << context << ": commit succeeded over a foreign change";
                break; // past the last checkpoint
            } catch (const Nano5Error& error) {
                EXPECT_EQ(error.kind(), Nano5Error::Kind::unsupportedDatabase) << context;
            }
            ASSERT_TRUE(changed) << context;
            const auto now = volume.current();
            EXPECT_EQ(now[victim], QByteArray("someone else's library")) << context;
            for (size_t i = 0; i < victim; ++i)
                EXPECT_EQ(now[i], volume.oldContents[i]) << context << " target " << i;
            EXPECT_FALSE(volume.audioPresent()) << context;
            volume.expectClean(context);
        }
    }
}

TEST(Nano5CommitTest, StuckTransactionBlocksUntilDealtWith) {
    Volume volume(true);
    // Crash right after the first target was replaced.
    {
        Volume probe(true);
        FailingOps counter(0, false);
        probe.commit(counter);
        int firstTargetSync = 0;
        for (size_t i = 0; i < counter.log.size(); ++i)
            if (counter.log[i].first == Nano5FileOps::Operation::syncDirectory &&
                counter.log[i].second == probe.targets[0].parent_path() && firstTargetSync == 0 &&
                i > 0 && counter.log[i - 1].first == Nano5FileOps::Operation::rename &&
                counter.log[i - 1].second == probe.targets[0])
                firstTargetSync = int(i) + 1;
        ASSERT_GT(firstTargetSync, 0);
        FailingOps crash(firstTargetSync + 1, true);
        EXPECT_ANY_THROW(volume.commit(crash));
    }
    ASSERT_TRUE(fs::exists(volume.transaction / "ready"));
    // Someone else rewrites a target the commit had not reached.
    writeFile(volume.targets[2], "foreign");
    const auto before = volume.current();

    EXPECT_THROW(recoverTransactions(volume.mount, [] {}), Nano5Error);
    EXPECT_TRUE(fs::exists(volume.transaction));
    EXPECT_EQ(volume.current(), before);
    // The next commit cannot start over the folder and changes nothing.
    volume.oldContents = before;
    EXPECT_THROW(volume.commit(Nano5FileOps::system()), std::system_error);
    EXPECT_EQ(volume.current(), before);
}

TEST(Nano5CommitTest, RecoveryLeavesForeignFoldersAndReplacedSongsAlone) {
    // A transaction "folder" that is a link to somewhere else is refused, nothing deleted there.
    {
        Volume volume(false);
        const fs::path elsewhere = volume.folder.path() / "elsewhere";
        writeFile(elsewhere / "ready", {});
        writeFile(elsewhere / "precious", "keep");
        fs::create_symlink(elsewhere, volume.transaction);
        EXPECT_THROW(recoverTransactions(volume.mount, [] {}), Nano5Error);
        EXPECT_EQ(readFile(elsewhere / "precious"), QByteArray("keep"));
    }
    // A folder without "ready" holds nothing that was applied: it is removed whatever it holds.
    {
        Volume volume(true);
        writeFile(volume.transaction / "junk", "x");
        writeFile(volume.transaction / "sub" / "deeper", "y");
        recoverTransactions(volume.mount, [] {});
        EXPECT_FALSE(fs::exists(volume.transaction));
        EXPECT_EQ(volume.current(), volume.oldContents);
    }
    // The song named by the sidecar was replaced by another file: recovery keeps that file.
    {
        Volume volume(true);
        int moved = 0;
        {
            Volume probe(true);
            FailingOps counter(0, false);
            probe.commit(counter);
            for (size_t i = 0; i < counter.log.size(); ++i)
                if (counter.log[i].first == Nano5FileOps::Operation::renameNoReplace)
                    moved = int(i) + 1;
        }
        FailingOps crash(moved + 1, true);
        EXPECT_ANY_THROW(volume.commit(crash));
        ASSERT_TRUE(volume.audioPresent());
        writeFile(volume.audio->destination, "a different song");
        recoverTransactions(volume.mount, [] {});
        EXPECT_EQ(volume.current(), volume.oldContents);
        EXPECT_EQ(readFile(volume.audio->destination), QByteArray("a different song"));
        EXPECT_FALSE(fs::exists(volume.transaction));
    }
}

TEST(Nano5CommitTest, SongNeverReplacesAnExistingFile) {
    Volume volume(true);
    writeFile(volume.audio->destination, "already here");
    try {
        volume.commit(Nano5FileOps::system());
        ADD_FAILURE() << "moved over an existing song";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), EEXIST);
    }
    EXPECT_EQ(readFile(volume.audio->destination), QByteArray("already here"));
    EXPECT_EQ(volume.current(), volume.oldContents);
    volume.expectClean("no-replace");
}

TEST(Nano5CommitTest, RefusesStaleOldContentsAndUnrecoverableSongNames) {
    Volume volume(true);
    volume.oldContents[1] = "what we thought was there";
    EXPECT_THROW(volume.commit(Nano5FileOps::system()), Nano5Error);
    EXPECT_FALSE(fs::exists(volume.transaction));

    Volume lower(true);
    lower.audio->destination = lower.mount / "iPod_Control/Music/F00/0a1b2c3d.mp3";
    EXPECT_THROW(lower.commit(Nano5FileOps::system()), Nano5Error);
    Volume elsewhere(true);
    elsewhere.audio->destination = elsewhere.mount / "iPod_Control/Music/F01/0A1B2C3D.mp3";
    EXPECT_THROW(elsewhere.commit(Nano5FileOps::system()), Nano5Error);
    EXPECT_FALSE(fs::exists(lower.transaction));
}

TEST(Nano5CommitTest, UnchangedContentsStillCommitCleanly) {
    Volume volume(false);
    volume.newContents = volume.oldContents;
    volume.commit(Nano5FileOps::system());
    EXPECT_EQ(volume.current(), volume.oldContents);
    volume.expectClean("unchanged");
}

TEST(Nano5CommitTest, DataReachesTheDiskBeforeEachRenameAndTheFolderAfterIt) {
    using Op = Nano5FileOps::Operation;
    Volume volume(true);
    FailingOps ops(0, false);
    volume.commit(ops);
    const auto& log = ops.log;
    int readyAt = -1, moveAt = -1;
    for (size_t i = 0; i < log.size(); ++i) {
        const auto& [op, path] = log[i];
        if (op == Op::rename) {
            // The temporary file was flushed and closed just before...
            ASSERT_GE(i, 2u);
            EXPECT_EQ(log[i - 2].first, Op::sync) << path;
            EXPECT_EQ(log[i - 1].first, Op::close) << path;
            // ...and the folder holding the new name is flushed right after.
            ASSERT_LT(i + 1, log.size());
            EXPECT_EQ(log[i + 1].first, Op::syncDirectory) << path;
            EXPECT_EQ(log[i + 1].second, path.parent_path());
            if (path.filename() == "ready")
                readyAt = int(i);
        }
        if (op == Op::renameNoReplace) {
            moveAt = int(i);
            ASSERT_LT(i + 2, log.size());
            EXPECT_EQ(log[i + 1], std::make_pair(Op::syncDirectory, path.parent_path()));
            EXPECT_EQ(log[i + 2], std::make_pair(Op::syncDirectory, volume.transaction));
        }
    }
    ASSERT_GE(readyAt, 0);
    EXPECT_GT(moveAt, readyAt);
    // The staged song itself was flushed before anything relied on it.
    bool songSynced = false;
    for (int i = 0; i < readyAt; ++i)
        songSynced |= log[i] == std::make_pair(Op::sync, volume.transaction / "audio.mp3");
    EXPECT_TRUE(songSynced);
}
