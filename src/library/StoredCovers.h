#pragma once

// The covers an iPod's database stores, decoded in a cover process of their own and handed
// over as plain pixels. libgpod decodes a stored cover trusting the ArtworkDB, the .ithmb files
// and the device description, all of which the iPod carries: a damaged one makes it read past
// its buffers. That happens only in the cover process (the open helper's cover mode, under the
// helper's memory limit, with a CPU and a wall-clock limit per cover), which costs the cover it
// was decoding and nothing else; this process only takes images whose sizes it checked.
//
// A cover is damaged only when its decoding failed by itself: the process answered so, or died of
// a fault of its own on it. One whose process overran, was stopped or ended from outside, or
// could not start or open the database is unknown, and asked again by the next read.
//
// One cover process is kept per volume while its covers are asked for: it parses the database
// once and answers many requests. It is replaced when the database's files change or after it
// died, ends by itself when idle or when this process is gone, and is ended with endFor and at
// exit.

#include "library/DatabasePreflight.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <chrono>
#include <functional>
#include <optional>

struct StoredCover {
    enum class State {
        unknown, // could not be looked at: no cover process, a changed volume, a cancelled read,
                 // a process that overran, was stopped or was ended from outside
        none,    // the track has no stored cover
        damaged, // its records or pixels are damaged, or decoding it failed by itself
        image,
    };
    State state = State::unknown;
    int width = 0;
    int height = 0;
    QByteArray pixels; // RGB, 3 bytes a pixel, rows packed

    // The image as PNG at a compression level of 0 to 9 (-1: gdk-pixbuf's default); empty
    // unless state is image.
    QByteArray png(int compressionLevel = -1) const;
};

class StoredCovers {
public:
    struct Limits {
        // Opening the database, and each cover after it.
        std::chrono::milliseconds openWallClock{40000};
        int openCPUSeconds = 20;
        std::chrono::milliseconds coverWallClock{10000};
        int coverCPUSeconds = 5;
        qint64 memoryBytes = qint64(1536) << 20;
        // A process asked nothing for this long ends.
        std::chrono::seconds idle{60};
        // For tests: called with the process's id once it has taken a request, before its
        // answers are read.
        std::function<void(int processID)> requestTaken;
    };

    // The stored covers of the tracks, each id with an answer (unknown where none could be
    // had). Blocking; never on the main thread. Never throws.
    static QHash<quint64, StoredCover> read(const DatabasePreflight::Request& request,
                                            const QList<quint64>& trackIDs, const Limits& limits);
    static QHash<quint64, StoredCover> read(const DatabasePreflight::Request& request,
                                            const QList<quint64>& trackIDs);
    // The stored cover of one track decoded again, alone, by a cover process started for it
    // (which then serves the volume's later reads). Whatever would replace a stored cover asks
    // this first: a fault of an earlier process (a bad read from the disk, say) made the cover
    // damaged there, but need not here. Blocking; never on the main thread. Never throws.
    static StoredCover readAlone(const DatabasePreflight::Request& request, quint64 trackID,
                                 const Limits& limits);
    static StoredCover readAlone(const DatabasePreflight::Request& request, quint64 trackID);

    // Ends the cover process of the volume (by its volume identity) / of every volume but
    // these / of every volume; it is started again when asked.
    static void endFor(const QByteArray& volumeIdentity);
    static void endAllBut(const QSet<QByteArray>& volumeIdentities);
    static void endAll();

    // Removes the temporary folders that cover processes of runs now gone left in TMPDIR (a run
    // that was killed, say): only this user's, never one a live process of ours still uses, and
    // never through a link. Once, as the application starts; never on the main thread, never
    // throws.
    static void removeFoldersLeftBehind();
};
