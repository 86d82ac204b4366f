#pragma once

// The built application started the way a user starts it, with a home, settings and folders of
// the test's own, and on an X server of the test's own where a test watches its windows.

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <cstdlib>
#include <memory>
#include <optional>

#include <xcb/xcb.h>

namespace AppTest {

// The environment of a start in home: no display (the offscreen platform), the home's own
// settings, data, cache, temporary folder and private runtime folder (made here), and the
// suites' leak rules.
QProcessEnvironment environmentIn(const QDir& home);

// An Xvfb server on a display number it chooses itself; none when it could not start.
class XServer {
public:
    XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    ~XServer();
    bool isInstalled() const { return !process_.program().isEmpty(); }
    const QString& display() const { return display_; }
    // environment drawing on this server.
    void drawOn(QProcessEnvironment& environment) const;

private:
    QProcess process_;
    QString display_;
};

struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using ConnectionPtr = std::unique_ptr<xcb_connection_t, Disconnect>;

template <typename Reply> std::unique_ptr<Reply, decltype(&std::free)> owned(Reply* reply) {
    return {reply, &std::free};
}

// The application's main window (its class, its title) that the process shows on the display.
std::optional<xcb_window_t> shownMainWindow(xcb_connection_t* connection, qint64 pid);

} // namespace AppTest
