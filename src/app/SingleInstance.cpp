#include "app/SingleInstance.h"

#include "platform/OwnedFd.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray forwardRequest = QByteArrayLiteral("forward\n");
constexpr int answerMilliseconds = 5000;

// A folder of this user's alone: a socket there is reached by no one else.
bool isPrivateFolder(const QString& path) {
    struct stat info {};
    return !path.isEmpty() && QDir::isAbsolutePath(path) &&
           ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

enum class Answer { forwarded, nobody, unknown };

// Asks the instance listening at name to come forward.
Answer askForward(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(answerMilliseconds)) {
        const QLocalSocket::LocalSocketError error = socket.error();
        return error == QLocalSocket::ServerNotFoundError ||
                       error == QLocalSocket::ConnectionRefusedError
                   ? Answer::nobody
                   : Answer::unknown;
    }
    // A request that could not be sent reached no one: this start runs rather than end unseen.
    if (socket.write(forwardRequest) != forwardRequest.size())
        return Answer::unknown;
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(answerMilliseconds)) {
    }
    if (socket.bytesToWrite() > 0)
        return Answer::unknown;
    socket.disconnectFromServer();
    return Answer::forwarded;
}

} // namespace

QString SingleInstance::runtimeFolder() {
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); isPrivateFolder(runtime))
        return QDir::cleanPath(runtime);
    const QString own =
        QDir::tempPath() + QStringLiteral("/lorvanel-%1").arg(qulonglong(::getuid()));
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    return isPrivateFolder(own) ? own : QString();
}

SingleInstance::SingleInstance() {
    const QString folder = runtimeFolder();
    if (folder.isEmpty())
        return;
    const QString name = folder + QStringLiteral("/lorvanel-%1").arg(qulonglong(::getuid()));
    if (QFile::encodeName(name).size() >= qsizetype(sizeof(sockaddr_un::sun_path)))
        return; // no socket can have that name
    // Held while this start looks for a running one and listens: of two starts at once, the
    // second finds the first listening.
    OwnedFd guard(::open(QFile::encodeName(name + QStringLiteral(".lock")).constData(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    int locked = -1;
    while (guard.isValid() && (locked = ::flock(guard.get(), LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0)
        return;
    switch (askForward(name)) {
    case Answer::forwarded:
        foundRunning = true;
        return;
    case Answer::unknown:
        return; // whoever holds the name does not answer: this one runs on its own
    case Answer::nobody:
        break;
    }
    // No one took the connection: what is there was left by a run that was killed. (The
    // folder is the user's alone, so the socket needs no access options: Qt would put it in
    // place by renaming it over whatever is there.)
    QLocalServer::removeServer(name);
    if (!server.listen(name))
        return;
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::answerConnections);
    // A start while this one quits runs anew rather than asking a window that is going.
    connect(qApp, &QCoreApplication::aboutToQuit, &server, &QLocalServer::close);
}

void SingleInstance::answerConnections() {
    while (QLocalSocket* socket = server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const auto read = [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == forwardRequest)
                    Q_EMIT forwardRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        read();
    }
}
