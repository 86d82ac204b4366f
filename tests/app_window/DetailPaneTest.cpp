#include "app/DetailPane.h"
#include "app/DeviceTaskScope.h"
#include "app/UnmountedDevicePane.h"
#include "platform/Task.h"
#include "showcase/StartupDeviceFlow.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

TEST(DetailDispatch, FirstMatchWinsAndAVanishedDeviceFallsToTheShowcase) {
    EXPECT_EQ(detailScreen({true, true, true}), DetailScreen::library);
    EXPECT_EQ(detailScreen({false, true, true}), DetailScreen::mobile);
    EXPECT_EQ(detailScreen({false, false, true}), DetailScreen::unmounted);
    EXPECT_EQ(detailScreen({false, false, false}), DetailScreen::showcase);
}

TEST(DetailPane, FadesOnlyBetweenTheShowcaseAndADevice) {
    DetailPane pane;
    pane.resize(600, 400);
    pane.show();
    EXPECT_EQ(pane.currentPane(), pane.showcasePane());
    pane.showScreen(DetailScreen::library, true);
    EXPECT_EQ(pane.currentPane(), pane.libraryPane());
    ASSERT_NE(pane.fadeOverlay(), nullptr);
    EXPECT_TRUE(pane.fadeOverlay()->isVisible());
    EXPECT_TRUE(TestSupport::waitUntil([&] { return pane.fadeOverlay() == nullptr; }));

    // Device to device: no fade.
    pane.showScreen(DetailScreen::unmounted, true);
    EXPECT_EQ(pane.currentPane(), pane.unmountedPane());
    EXPECT_EQ(pane.fadeOverlay(), nullptr);

    // Without animation: straight to the showcase.
    pane.showScreen(DetailScreen::showcase, false);
    EXPECT_EQ(pane.currentPane(), pane.showcasePane());
    EXPECT_EQ(pane.fadeOverlay(), nullptr);
}

namespace {

// A task that runs until cancelled, as the device loops do.
Task loopSafe(std::shared_ptr<std::atomic<int>> ended) {
    return Task::run(TaskPriority::utility, [ended] {
        try {
            for (;;)
                Task::sleep(std::chrono::hours(1));
        } catch (const CancellationError&) {
        }
        ++*ended;
    });
}

IPodDevice::ID id(const QString& path, quint64 inode) {
    IPodDevice::ID i;
    i.path = path;
    i.inode = inode;
    return i;
}

} // namespace

TEST(DeviceTaskScope, AnotherDeviceCancelsTheTasksOfTheFirstAndTheSameKeyKeepsThem) {
    auto ended = std::make_shared<std::atomic<int>>(0);
    int starts = 0;
    DeviceTaskScope<Task> scope;
    auto start = [&](const IPodDevice::ID&) {
        ++starts;
        return std::vector<Task>{loopSafe(ended), loopSafe(ended)};
    };
    scope.setKey(id(QStringLiteral("/media/a"), 1), start);
    scope.setKey(id(QStringLiteral("/media/a"), 1), start);
    EXPECT_EQ(starts, 1);
    std::vector<Task> first = scope.tasks();
    EXPECT_FALSE(first[0].isCancellationRequested());

    // The same path remounted with another inode counts as another device.
    scope.setKey(id(QStringLiteral("/media/a"), 2), start);
    EXPECT_EQ(starts, 2);
    EXPECT_TRUE(first[0].isCancellationRequested());
    EXPECT_TRUE(first[1].isCancellationRequested());
    EXPECT_TRUE(TestSupport::waitUntil([&] { return ended->load() == 2; }));
    EXPECT_FALSE(scope.tasks()[0].isCancellationRequested());

    std::vector<Task> second = scope.tasks();
    scope.setKey(std::nullopt, start);
    EXPECT_TRUE(second[0].isCancellationRequested());
    EXPECT_TRUE(TestSupport::waitUntil([&] { return ended->load() == 4; }));
}
