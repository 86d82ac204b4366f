#pragma once

// The first read of an iPod's database runs in a short-lived helper process of our own, under a
// time limit and a memory limit, before the application's own process opens it. libgpod crashes,
// aborts, loops forever or allocates gigabytes on some damaged files; in the helper that costs a
// "Read library" error, never the window. A database the helper read cleanly is remembered by
// the volume and the size, times and inode of every file the opening reads, so later opens of
// the unchanged files go straight ahead.
//
// The helper is the "lorvanel-open-helper" executable under the installation's libexec folder
// (libexec/lorvanel), or in a build tree beside the application, or the one the
// LORVANEL_OPEN_HELPER environment variable names (the test suites point it into the build tree).

#include "library/LibrarySnapshot.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

class DatabasePreflight {
public:
    struct Limits {
        std::chrono::milliseconds wallClock{40000};
        int cpuSeconds = 20;
        // Address space the helper may take on top of what it maps at start.
        qint64 memoryBytes = qint64(1536) << 20;
        // The most the helper may send back (a 40,000-track library takes about 10 MB).
        qint64 snapshotBytes = qint64(256) << 20;
    };

    struct Request {
        QString mountPoint;
        std::optional<QByteArray> sysInfoExtended;
        std::optional<int> productID;
        // What tells this volume apart from any other mounted at the same path later.
        QByteArray volumeIdentity;
    };

    // Returns once the database the request opens was read cleanly by a helper (now or before,
    // with the same files). Throws IPodDatabaseError::library ("Read library") with the damage
    // the helper met, or the error the helper's opening threw; CancellationError when the
    // current task is cancelled meanwhile (the helper is stopped). A volume with anything but
    // regular files where the opening reads (DatabaseFiles) is refused without a helper.
    // Blocking; never on the main thread.
    static void check(const Request& request, const Limits& limits);
    static void check(const Request& request);
    // The same check, and the library the helper read when it ran now: then the database need
    // not be opened in this process at all. None when the files were read cleanly before.
    static std::optional<LibrarySnapshot> read(const Request& request, const Limits& limits);
    static std::optional<LibrarySnapshot> read(const Request& request);

    // The helper's path; empty when there is none.
    static QString helperPath();
    // Forgets which databases were read cleanly.
    static void forgetReadDatabases();

    // The helper process's whole work; its main() returns this.
    static int runHelper(int argc, char** argv);
    // How a helper in either mode exits when an allocation failed within its memory limit.
    static constexpr int outOfMemoryExit = 3;
    // What every mode of the helper does first: its standard error made usable, standard output
    // sent there (libgpod prints on it), the memory limit set. Returns a descriptor of the
    // former standard output for the answers, or -1 when that fails.
    static int setUpHelperProcess(qint64 memoryBytes);

    // What the opening of the request reads, as one key; equal keys read the same files.
    // Throws the damaged-library error when any of them is not a regular file.
    static QByteArray fingerprint(const Request& request);

private:
    friend class DatabasePreflightTestAccess;
    // How many callers wait for the running read of the request's volume.
    static int waitingReads(const Request& request);

    // One read per volume at a time: a caller that finds one running waits for it and takes its
    // result when that answers its own request, else reads after it.
    static std::optional<LibrarySnapshot> runShared(const Request& request, const Limits& limits,
                                                    bool sendsSnapshot);
    static std::optional<LibrarySnapshot> run(const Request& request, const Limits& limits,
                                              bool sendsSnapshot);
};
