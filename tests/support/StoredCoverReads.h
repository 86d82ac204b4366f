#pragma once

// Stored covers as the application gets them: decoded by the volume's cover process.

#include "library/StoredCovers.h"

#include <QByteArrayList>
#include <QFile>
#include <QHash>
#include <QSet>

#include <chrono>
#include <optional>

#include <signal.h>

namespace TestSupport {

// Each image by track id as its size and pixels; the tracks without one are left out.
inline QHash<quint64, QByteArray> storedImages(const QString& mountPoint, const QSet<quint64>& ids,
                                               std::optional<int> productID = std::nullopt) {
    QHash<quint64, QByteArray> images;
    const auto covers = StoredCovers::read(
        {mountPoint, std::nullopt, productID, QFile::encodeName(mountPoint)}, ids.values());
    for (auto it = covers.cbegin(); it != covers.cend(); ++it) {
        if (it->state == StoredCover::State::image)
            images.insert(it.key(), QByteArray::number(it->width) + 'x' +
                                        QByteArray::number(it->height) + ':' + it->pixels);
    }
    return images;
}

// Each track's cover as bare libgpod reads it back, by track id: every thumbnail libgpod decodes
// of it, as its size and the MD5 of its pixels, sorted; the tracks without one left out.
QHash<quint64, QByteArrayList> libgpodCovers(const QString& mountPoint);

// Limits under which the cover process gets the signal once it has taken its first request,
// while its first cover is on its way; taken counts the requests. A stopped process overruns a
// short wall clock.
inline StoredCovers::Limits signalledOnFirstRequest(int signal, int& taken) {
    StoredCovers::Limits limits;
    limits.requestTaken = [&taken, signal](int process) {
        if (taken++ == 0)
            ::kill(process, signal);
    };
    if (signal == SIGSTOP)
        limits.coverWallClock = std::chrono::seconds(1);
    return limits;
}

} // namespace TestSupport
