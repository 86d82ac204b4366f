// The built application started again by the same user: the second start asks the running
// window forward and ends with 0 at once, starts at once leave one running, a socket left by
// a killed run keeps no later start from running, and the options that print answer beside a
// running window.

#include "ApplicationProcess.h"

#include "app/LorvanelApp.h"
#include "app/MainWindow.h"
#include "platform/OwnedFd.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::unique_ptr<QProcess> start(const QProcessEnvironment& environment,
                                const QStringList& arguments = {}) {
    auto application = std::make_unique<QProcess>();
    application->setProcessEnvironment(environment);
    application->start(QStringLiteral(LORVANEL_APP_PATH), arguments);
    EXPECT_TRUE(application->waitForStarted());
    return application;
}

bool endsWithZero(QProcess& application) {
    return (application.state() == QProcess::NotRunning || application.waitForFinished(60'000)) &&
           application.exitStatus() == QProcess::NormalExit && application.exitCode() == 0;
}

void end(QProcess& application) {
    application.terminate();
    if (!application.waitForFinished(30'000)) {
        application.kill();
        application.waitForFinished();
    }
}

// The windows on the display, bottom to top.
QList<xcb_window_t> stackingOrder(xcb_connection_t* connection) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const auto tree = AppTest::owned(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, screen->root), nullptr));
    QList<xcb_window_t> windows;
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        windows =
            QList<xcb_window_t>(children, children + xcb_query_tree_children_length(tree.get()));
    }
    return windows;
}

// A window of the test's own over the whole screen, in front.
xcb_window_t coverScreen(xcb_connection_t* connection) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0,
                      screen->width_in_pixels, screen->height_in_pixels, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(connection, window);
    xcb_flush(connection);
    return window;
}

// How many processes wait to take the flock of the file open at fd, as the kernel lists them.
int waitersForLock(int fd) {
    struct stat info {};
    QFile locks(QStringLiteral("/proc/locks"));
    if (::fstat(fd, &info) != 0 || !locks.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray file = ':' + QByteArray::number(quint64(info.st_ino)) + ' ';
    int waiters = 0;
    for (const QByteArray& line : locks.readAll().split('\n')) {
        if (line.contains(" -> FLOCK ") && line.contains(file))
            ++waiters;
    }
    return waiters;
}

} // namespace

TEST(SingleInstance, ASecondStartBringsTheRunningWindowForwardAndEnds) {
    AppTest::XServer server;
    if (!server.isInstalled())
        GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(server.display().isEmpty()) << "Xvfb did not start";
    const AppTest::ConnectionPtr connection(xcb_connect(qPrintable(server.display()), nullptr));
    ASSERT_EQ(xcb_connection_has_error(connection.get()), 0);
    const QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcessEnvironment environment = AppTest::environmentIn(QDir(home.path()));
    server.drawOn(environment);

    const std::unique_ptr<QProcess> first = start(environment);
    std::optional<xcb_window_t> window;
    const QDeadlineTimer shown(45'000);
    while (!window && first->state() == QProcess::Running && !shown.hasExpired()) {
        window = AppTest::shownMainWindow(connection.get(), first->processId());
        if (!window)
            first->waitForFinished(100);
    }
    ASSERT_TRUE(window) << "no main window";
    // Nothing here manages windows: the display takes the raise as asked, while the keyboard
    // goes only to a request newer than the last change of focus, which the test cannot date.
    const xcb_window_t cover = coverScreen(connection.get());
    const auto inFront = [&] {
        const QList<xcb_window_t> order = stackingOrder(connection.get());
        return order.indexOf(*window) > order.indexOf(cover);
    };
    ASSERT_FALSE(inFront());

    const std::unique_ptr<QProcess> second = start(environment);
    EXPECT_TRUE(endsWithZero(*second)) << second->readAllStandardError().toStdString();
    const QDeadlineTimer forward(45'000);
    while (!inFront() && first->state() == QProcess::Running && !forward.hasExpired())
        first->waitForFinished(100);
    EXPECT_TRUE(inFront()) << "the running window stayed behind";
    EXPECT_EQ(first->state(), QProcess::Running);
    end(*first);
}

TEST(SingleInstance, OfStartsAtOnceOneRunsAndARunKilledLeavesNoObstacle) {
    const QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QProcessEnvironment environment = AppTest::environmentIn(QDir(home.path()));

    // Started while the guard is taken (as by a start under way), they all wait; let go
    // together, all but one end at once, with 0.
    const QString name =
        home.filePath(QStringLiteral("runtime/lorvanel-%1").arg(qulonglong(::getuid())));
    OwnedFd guard(::open(QFile::encodeName(name + QStringLiteral(".lock")).constData(),
                         O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_EQ(::flock(guard.get(), LOCK_EX), 0);
    std::vector<std::unique_ptr<QProcess>> starts;
    for (int i = 0; i < 3; ++i)
        starts.push_back(start(environment));
    const QDeadlineTimer waiting(60'000);
    while (waitersForLock(guard.get()) < 3 && !waiting.hasExpired())
        starts.front()->waitForFinished(50);
    ASSERT_EQ(waitersForLock(guard.get()), 3) << "the starts do not wait for the guard";
    guard.reset();
    const auto stillRunning = [&starts] {
        QList<QProcess*> running;
        for (const auto& application : starts) {
            if (application->state() != QProcess::NotRunning && !application->waitForFinished(20))
                running.append(application.get());
        }
        return running;
    };
    const QDeadlineTimer deadline(60'000);
    while (stillRunning().size() > 1 && !deadline.hasExpired()) {
    }
    const QList<QProcess*> running = stillRunning();
    ASSERT_EQ(running.size(), 1);
    for (const auto& application : starts) {
        if (application.get() != running.first()) {
            EXPECT_TRUE(endsWithZero(*application));
        }
    }
    QProcess& first = *running.first();
    // A later start asks the running one; the options that print answer as always.
    EXPECT_TRUE(endsWithZero(*start(environment)));
    const std::unique_ptr<QProcess> version = start(environment, {QStringLiteral("--version")});
    EXPECT_TRUE(endsWithZero(*version));
    EXPECT_EQ(version->readAllStandardOutput(), "Lorvanel " LORVANEL_VERSION "\n");
    EXPECT_EQ(first.state(), QProcess::Running);

    // Killed, it leaves its socket behind; the next start runs all the same, and is asked.
    first.kill();
    first.waitForFinished();
    const QString& socket = name;
    ASSERT_TRUE(QFileInfo::exists(socket));
    const auto listens = [&socket] {
        QLocalSocket probe;
        probe.connectToServer(socket);
        return probe.waitForConnected(10'000);
    };
    EXPECT_FALSE(listens());
    const std::unique_ptr<QProcess> next = start(environment);
    const QDeadlineTimer listening(60'000);
    while (!listens() && next->state() == QProcess::Running && !listening.hasExpired())
        next->waitForFinished(50);
    EXPECT_TRUE(listens()) << "the next start does not listen";
    EXPECT_TRUE(endsWithZero(*start(environment)));
    EXPECT_EQ(next->state(), QProcess::Running);
    end(*next);
}

// What the running window does when asked: whether hidden, minimised or behind, it comes back.
TEST(SingleInstance, TheWindowAskedForwardIsShownRestoredAndActive) {
    LorvanelApp app;
    app.show();
    MainWindow& window = app.mainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.showMaximized();
    for (const auto& [name, away] : {std::pair<const char*, void (*)(QWidget&)>{
                                         "minimised", [](QWidget& w) { w.showMinimized(); }},
                                     {"hidden", [](QWidget& w) { w.hide(); }}}) {
        SCOPED_TRACE(name);
        away(window);
        app.bringForward();
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(window.isMinimized());
        EXPECT_TRUE(window.isMaximized()) << "its own size comes back";
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
}
