#include "ApplicationProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>

#include <cstring>

#include <sys/stat.h>

namespace AppTest {

QProcessEnvironment environmentIn(const QDir& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home.path());
    for (const auto& [variable, folder] :
         {std::pair{"XDG_CONFIG_HOME", "config"}, std::pair{"XDG_DATA_HOME", "data"},
          std::pair{"XDG_CACHE_HOME", "cache"}, std::pair{"XDG_RUNTIME_DIR", "runtime"},
          std::pair{"TMPDIR", "tmp"}}) {
        const QString path = home.filePath(QString::fromLatin1(folder));
        ::mkdir(QFile::encodeName(path).constData(), 0700);
        environment.insert(QString::fromLatin1(variable), path);
    }
    // What libgpod drops is no fault of the application's.
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       QStringLiteral("fast_unwind_on_malloc=0:malloc_context_size=10"));
    environment.insert(
        QStringLiteral("LSAN_OPTIONS"),
        QStringLiteral("suppressions=" LORVANEL_LSAN_SUPPRESSIONS ":print_suppressions=0"));
    return environment;
}

XServer::XServer() {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty())
        return;
    process_.setStandardErrorFile(QProcess::nullDevice());
    // The number is written once the server takes connections.
    process_.start(program,
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1400x1000x24"),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QByteArray number;
    const QDeadlineTimer deadline(30'000);
    while (!number.endsWith('\n') && process_.waitForReadyRead(int(deadline.remainingTime())))
        number += process_.readAllStandardOutput();
    if (number.endsWith('\n'))
        display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
}

XServer::~XServer() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(10'000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

void XServer::drawOn(QProcessEnvironment& environment) const {
    environment.insert(QStringLiteral("DISPLAY"), display_);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
}

namespace {

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

} // namespace

std::optional<xcb_window_t> shownMainWindow(xcb_connection_t* connection, qint64 pid) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const auto tree =
        owned(xcb_query_tree_reply(connection, xcb_query_tree(connection, screen->root), nullptr));
    if (!tree)
        return std::nullopt;
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
            return children[i];
    }
    return std::nullopt;
}

} // namespace AppTest
