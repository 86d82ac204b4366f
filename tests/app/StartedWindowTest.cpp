// The installed binary started the way a launcher or a script may start it, with standard
// streams closed, on an X server of the test's own: it must show its main window. The display
// connection is among the first files the application opens, and would take the number of a
// closed stream.

#include "ApplicationProcess.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QTemporaryDir>

#include <vector>

#include <unistd.h>

TEST(StartedWindow, ShowsItsMainWindowWithStandardStreamsClosed) {
    AppTest::XServer server;
    if (!server.isInstalled())
        GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(server.display().isEmpty()) << "Xvfb did not start";
    const AppTest::ConnectionPtr connection(xcb_connect(qPrintable(server.display()), nullptr));
    ASSERT_EQ(xcb_connection_has_error(connection.get()), 0);

    struct Case {
        const char* name;
        std::vector<int> closed;
    };
    const Case cases[] = {
        {"standard input", {STDIN_FILENO}},
        {"standard output", {STDOUT_FILENO}},
        {"standard error", {STDERR_FILENO}},
        {"all three", {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}},
    };
    for (const Case& c : cases) {
        // A home and settings of its own.
        const QTemporaryDir home;
        ASSERT_TRUE(home.isValid());
        QProcessEnvironment environment = AppTest::environmentIn(QDir(home.path()));
        server.drawOn(environment);
        // Qt's own logging, on as a user may turn it on, writes to standard error while the
        // window is made, as any warning would: into the display connection, were it there.
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.qpa.*=true"));

        QProcess application;
        application.setProcessEnvironment(environment);
        application.setStandardInputFile(QProcess::nullDevice());
        application.setStandardOutputFile(QProcess::nullDevice());
        application.setStandardErrorFile(QProcess::nullDevice());
        const std::vector<int> closed = c.closed;
        application.setChildProcessModifier([closed] {
            for (const int fd : closed)
                ::close(fd);
        });
        application.start(QStringLiteral(LORVANEL_APP_PATH), {});
        ASSERT_TRUE(application.waitForStarted()) << c.name;

        bool shown = false;
        const QDeadlineTimer deadline(45'000);
        while (!shown && application.state() == QProcess::Running && !deadline.hasExpired()) {
            shown = AppTest::shownMainWindow(connection.get(), application.processId()).has_value();
            if (!shown)
                application.waitForFinished(100);
        }
        EXPECT_TRUE(shown) << c.name << " closed: no main window";
        EXPECT_EQ(application.state(), QProcess::Running)
            << c.name << " closed: the application ended with " << application.exitCode();
        application.terminate();
        if (!application.waitForFinished(30'000)) {
            application.kill();
            application.waitForFinished();
        }
    }
}
