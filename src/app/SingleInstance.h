#pragma once

// One running application per user (per login): the first start listens on a local socket in a
// folder only that user can enter; a later start asks the running one to bring its window
// forward, and ends.

#include <QLocalServer>
#include <QObject>
#include <QString>

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // Finds the running instance and asks it to come forward, or becomes it. Where the user has
    // no private folder for the socket, the application runs on its own.
    SingleInstance();

    // Whether this start found another one running and asked it forward: it ends now.
    bool foundRunningInstance() const { return foundRunning; }

    // The socket's folder: $XDG_RUNTIME_DIR when it is the user's own private folder, else a
    // private folder of the user's in the temporary folder; empty when neither is.
    static QString runtimeFolder();

Q_SIGNALS:
    // Another start asked for the window.
    void forwardRequested();

private:
    void answerConnections();

    QLocalServer server;
    bool foundRunning = false;
};
