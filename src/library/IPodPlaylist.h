#pragma once

#include <QList>
#include <QString>

// A user playlist: its id in the database, its name and its members' dbids in order.
struct IPodPlaylist {
    quint64 id = 0;
    QString name;
    QList<quint64> trackIDs; // a track may appear more than once

    friend bool operator==(const IPodPlaylist&, const IPodPlaylist&) = default;
};
