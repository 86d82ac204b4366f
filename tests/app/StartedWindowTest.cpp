// The installed binary started the way a launcher or a script may start it, with standard
// streams closed, on an X server of the test's own: it must show its main window. The display
// connection is among the first files the application opens, and would take the number of a
// closed stream.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <xcb/xcb.h>

namespace {

// An Xvfb server on a display number it chooses itself; none when it could not start.
class XServer {
public:
    XServer() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (program.isEmpty())
            return;
        process_.setStandardErrorFile(QProcess::nullDevice());
        // The number is written once the server takes connections.
        process_.start(program, {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                 QStringLiteral("-screen"), QStringLiteral("0"),
                                 QStringLiteral("1400x1000x24"), QStringLiteral("-nolisten"),
                                 QStringLiteral("tcp")});
        QByteArray number;
        const QDeadlineTimer deadline(30'000);
        while (!number.endsWith('\n') && process_.waitForReadyRead(int(deadline.remainingTime())))
            number += process_.readAllStandardOutput();
        if (number.endsWith('\n'))
            display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    ~XServer() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(10'000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    bool isInstalled() const { return !process_.program().isEmpty(); }
    const QString& display() const { return display_; }

private:
    QProcess process_;
    QString display_;
};

struct Connection {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using ConnectionPtr = std::unique_ptr<xcb_connection_t, Connection>;

template <typename Reply> std::unique_ptr<Reply, decltype(&std::free)> owned(Reply* reply) {
    return {reply, &std::free};
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    const auto reply = owned(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QByteArray property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name,
                    xcb_atom_t type) {
    const auto reply = owned(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, name, type, 0, 256), nullptr));
    if (!reply)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

// Whether the process shows the application's main window (its class, its title) on the display.
bool showsMainWindow(xcb_connection_t* connection, qint64 pid) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const auto tree =
        owned(xcb_query_tree_reply(connection, xcb_query_tree(connection, screen->root), nullptr));
    if (!tree)
        return false;
    const xcb_atom_t pidAtom = atom(connection, "_NET_WM_PID");
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const auto attributes = owned(xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, children[i]), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        const QByteArray owner = property(connection, children[i], pidAtom, XCB_ATOM_CARDINAL);
        quint32 ownerPid = 0;
        if (owner.size() == sizeof ownerPid)
            std::memcpy(&ownerPid, owner.constData(), sizeof ownerPid);
        if (ownerPid == pid &&
            property(connection, children[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING) ==
                QByteArray("lorvanel\0Lorvanel\0", 18) &&
            property(connection, children[i], XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY) ==
                "Lorvanel")
            return true;
    }
    return false;
}

} // namespace

TEST(StartedWindow, ShowsItsMainWindowWithStandardStreamsClosed) {
    XServer server;
    if (!server.isInstalled())
        GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(server.display().isEmpty()) << "Xvfb did not start";
    const ConnectionPtr connection(xcb_connect(qPrintable(server.display()), nullptr));
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
        const QString runtime = home.filePath(QStringLiteral("runtime"));
        ASSERT_EQ(::mkdir(QFile::encodeName(runtime).constData(), 0700), 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("DISPLAY"), server.display());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Qt's own logging, on as a user may turn it on, writes to standard error while the
        // window is made, as any warning would: into the display connection, were it there.
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.qpa.*=true"));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                           home.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);

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
            shown = showsMainWindow(connection.get(), application.processId());
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
