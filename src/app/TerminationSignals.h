#pragma once

// The signals that end the application from outside: SIGTERM (a logout, a service manager),
// SIGINT (Ctrl+C in the terminal it was started from) and SIGHUP (that terminal closed). Their
// default action kills the process wherever it is, in the middle of a save too. Here each is
// caught by a handler that does nothing but write its number into a pipe; the pipe is read on
// the thread that made this object, which announces the signal there, where anything may be
// done. A signal the process was started with ignored (nohup) stays ignored.
//
// One at a time per process. The handlers stay until the object goes, which puts back what it
// found: the application keeps it until the end of main, so that a signal during the teardown
// does not cut that short either.

#include "platform/OwnedFd.h"

#include <QObject>

#include <memory>
#include <utility>
#include <vector>

#include <signal.h>

class QSocketNotifier;

class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

Q_SIGNALS:
    // Once for each signal that arrived (several may come before the first is announced).
    void received(int signalNumber);

private:
    void readPending();

    OwnedFd readEnd;
    OwnedFd writeEnd;
    // Declared after the descriptors: it goes before the one it watches.
    std::unique_ptr<QSocketNotifier> notifier;
    // The dispositions replaced, put back at the end.
    std::vector<std::pair<int, struct sigaction>> replaced;
};
