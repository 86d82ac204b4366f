// Two askers of the same volume at once (the sidebar's name lookup and the library load at start)
// cause one helper run, and both get its verdict.

#include "HelperScriptFixture.h"
#include "library/DatabasePreflight.h"
#include "library/IPodDatabase.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <future>
#include <thread>

using TestSupport::IPodVolume;

namespace {

class SharedReads : public HelperScriptFixture {
protected:
    // The helper behind a script that notes each start in a log, then does what body says.
    void countStarts(const QByteArray& body) {
        useHelperScript("echo start >> '" + QFile::encodeName(log()) + "'\n" + body);
    }
    QString log() const { return scripts.filePath(QStringLiteral("starts.log")); }
    int starts() const {
        QFile file(log());
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count("start")) : 0;
    }
    // Waits until the helper has started n times.
    bool waitForStarts(int n) const {
        for (int i = 0; i < 500 && starts() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return starts() >= n;
    }

    DatabasePreflight::Request request() const {
        return {volume.mountPoint(), std::nullopt, std::nullopt, "shared volume"};
    }

    // The English text of what a read threw; empty when it threw nothing.
    static std::string failureOf(std::future<std::optional<LibrarySnapshot>>& result) {
        try {
            result.get();
            return {};
        } catch (const IPodDatabaseError& error) {
            return error.description(AppLanguage::english).toStdString();
        }
    }
};

} // namespace

TEST_F(SharedReads, AReadAndACheckOfTheSameVolumeAtOnceShareOneHelper) {
    countStarts("sleep 1\nexec '" + QFile::encodeName(realHelper) + "' \"$@\"");
    auto load =
        std::async(std::launch::async, [this] { return DatabasePreflight::read(request()); });
    ASSERT_TRUE(waitForStarts(1));
    auto name = std::async(std::launch::async, [this] {
        DatabasePreflight::check(request());
        return std::optional<LibrarySnapshot>();
    });
    const std::optional<LibrarySnapshot> library = load.get();
    ASSERT_TRUE(library);
    ASSERT_EQ(library->tracks.size(), 1);
    EXPECT_EQ(library->tracks[0].title, QStringLiteral("Song"));
    EXPECT_EQ(failureOf(name), "");
    EXPECT_EQ(starts(), 1);
}

TEST_F(SharedReads, TwoLoadsShareTheLibraryAndARefusalAlike) {
    countStarts("sleep 1\nexec '" + QFile::encodeName(realHelper) + "' \"$@\"");
    const auto read = [this] { return DatabasePreflight::read(request()); };
    auto first = std::async(std::launch::async, read);
    ASSERT_TRUE(waitForStarts(1));
    auto second = std::async(std::launch::async, read);
    const auto a = first.get();
    const auto b = second.get();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, *b);
    EXPECT_EQ(starts(), 1);

    // A helper that dies: both askers hear the one verdict.
    DatabasePreflight::forgetReadDatabases();
    QFile::remove(log());
    countStarts("sleep 1\nkill -SEGV $$");
    first = std::async(std::launch::async, read);
    ASSERT_TRUE(waitForStarts(1));
    second = std::async(std::launch::async, read);
    const std::string damaged =
        "Read library failed: The library database is damaged and could not be read.";
    EXPECT_EQ(failureOf(first), damaged);
    EXPECT_EQ(failureOf(second), damaged);
    EXPECT_EQ(starts(), 1);

    // Other volumes are read side by side.
    QFile::remove(log());
    countStarts("sleep 1\nexec '" + QFile::encodeName(realHelper) + "' \"$@\"");
    DatabasePreflight::Request elsewhere = request();
    elsewhere.volumeIdentity = "another volume";
    first = std::async(std::launch::async, read);
    second =
        std::async(std::launch::async, [elsewhere] { return DatabasePreflight::read(elsewhere); });
    ASSERT_TRUE(waitForStarts(2));
    EXPECT_TRUE(first.get());
    EXPECT_TRUE(second.get());
}
