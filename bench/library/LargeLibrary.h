#pragma once

// The 40,000-track library the open benchmarks read, built once (preset ids keep building
// linear) and kept in the build folder between runs.

#include "support/IPodVolume.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <gpod/itdb.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace LargeLibrary {

constexpr int trackCount = 40'000;

inline QString folder() {
    const QString folder = QDir::currentPath() + QStringLiteral("/library-40k");
    if (QFileInfo::exists(folder + QStringLiteral("/iPod_Control/iTunes/iTunesDB")))
        return folder;
    std::printf("building the %d-track library once (libgpod's save is slow at this size)...\n",
                trackCount);
    TestSupport::IPodVolume volume(QStringLiteral("MA477"));
    volume.addTracksWithoutFiles(trackCount, 0x1000'0000'0000ULL, TestSupport::TrackSpec{});
    volume.addPlaylist(QStringLiteral("First"), {0, 1, 2, 3});
    volume.write();
    const QString built = volume.mountPoint();
    QDir(folder).removeRecursively();
    if (!QDir().rename(built, folder))
        std::printf("cannot move the library into %s\n", qPrintable(folder));
    QDir().mkpath(built); // the fixture removes its own folder
    return folder;
}

// The time of a bare itdb_parse of the library at path, in ms; none when it fails.
inline std::optional<double> bareParseMilliseconds(const QByteArray& path) {
    QElapsedTimer timer;
    timer.start();
    GError* error = nullptr;
    Itdb_iTunesDB* database = itdb_parse(path.constData(), &error);
    const double elapsed = timer.nsecsElapsed() / 1e6;
    if (!database) {
        std::printf("itdb_parse failed\n");
        if (error)
            g_error_free(error);
        return std::nullopt;
    }
    itdb_free(database);
    return elapsed;
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace LargeLibrary
