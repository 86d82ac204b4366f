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
#include <functional>
#include <future>
#include <thread>

using TestSupport::IPodVolume;

namespace {

class SharedReads : public HelperScriptFixture {
protected:
    // The helper behind a script that notes its start in a log, waits for the test to release
    // it, notes its end, then does what body says.
    void gatedHelper(const QByteArray& body) {
        const QByteArray log = "'" + QFile::encodeName(this->log()) + "'";
        useHelperScript("echo start >> " + log + "\n" + waitForRelease() + "\necho end >> " + log +
                        "\n" + body);
    }
    QString log() const { return scripts.filePath(QStringLiteral("starts.log")); }
    QByteArray logged() const {
        QFile file(log());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    int starts() const { return int(logged().count("start")); }
    // Waits (a while at most) until the condition holds.
    static bool eventually(const std::function<bool()>& condition) {
        for (int i = 0; i < 3000 && !condition(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return condition();
    }

    DatabasePreflight::Request request() const {
        return {volume.mountPoint(), std::nullopt, std::nullopt, "shared volume"};
    }
    // Lets the held helper end once the second asker waits for it.
    void releaseOnceJoined() {
        ASSERT_TRUE(
            eventually([this] { return DatabasePreflightTestAccess::waitingReads(request()); }));
        release();
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
    QByteArray realHelperCall() const {
        return "exec '" + QFile::encodeName(realHelper) + "' \"$@\"";
    }
};

} // namespace

TEST_F(SharedReads, AReadAndACheckOfTheSameVolumeAtOnceShareOneHelper) {
    gatedHelper(realHelperCall());
    auto load =
        std::async(std::launch::async, [this] { return DatabasePreflight::read(request()); });
    ASSERT_TRUE(eventually([this] { return starts() == 1; }));
    auto name = std::async(std::launch::async, [this] {
        DatabasePreflight::check(request());
        return std::optional<LibrarySnapshot>();
    });
    ASSERT_NO_FATAL_FAILURE(releaseOnceJoined());
    const std::optional<LibrarySnapshot> library = load.get();
    ASSERT_TRUE(library);
    ASSERT_EQ(library->tracks.size(), 1);
    EXPECT_EQ(library->tracks[0].title, QStringLiteral("Song"));
    EXPECT_EQ(failureOf(name), "");
    EXPECT_EQ(starts(), 1);
}

TEST_F(SharedReads, TwoLoadsShareTheLibraryAndARefusalAlike) {
    const auto read = [this] { return DatabasePreflight::read(request()); };
    for (const QByteArray& body : {realHelperCall(), QByteArray("kill -SEGV $$")}) {
        SCOPED_TRACE(body.constData());
        DatabasePreflight::forgetReadDatabases();
        QFile::remove(log());
        gatedHelper(body);
        auto first = std::async(std::launch::async, read);
        ASSERT_TRUE(eventually([this] { return starts() == 1; }));
        auto second = std::async(std::launch::async, read);
        ASSERT_NO_FATAL_FAILURE(releaseOnceJoined());
        if (body == realHelperCall()) {
            const auto a = first.get();
            const auto b = second.get();
            ASSERT_TRUE(a && b);
            EXPECT_EQ(*a, *b);
        } else {
            // A helper that dies: both askers hear the one verdict.
            const std::string damaged =
                "Read library failed: The library database is damaged and could not be read.";
            EXPECT_EQ(failureOf(first), damaged);
            EXPECT_EQ(failureOf(second), damaged);
        }
        EXPECT_EQ(starts(), 1);
    }
}

// Other volumes are read side by side: both helpers start while neither may end.
TEST_F(SharedReads, OtherVolumesAreReadSideBySide) {
    gatedHelper(realHelperCall());
    DatabasePreflight::Request elsewhere = request();
    elsewhere.volumeIdentity = "another volume";
    auto first =
        std::async(std::launch::async, [this] { return DatabasePreflight::read(request()); });
    auto second =
        std::async(std::launch::async, [elsewhere] { return DatabasePreflight::read(elsewhere); });
    ASSERT_TRUE(eventually([this] { return starts() == 2; }));
    release(2);
    EXPECT_TRUE(first.get());
    EXPECT_TRUE(second.get());
    EXPECT_EQ(logged(), "start\nstart\nend\nend\n");
}
