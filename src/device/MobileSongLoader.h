#pragma once

// Reads the song lists of iPod touch devices in the background, at most one read per device at
// a time. Each read copies the device's whole media-library database, so a request that comes
// while one runs does not start another: the device is read once more after the running read,
// and the answers keep the order of the reads. A read that has started cannot be stopped; a
// loader that goes away drops its answers.

#include "device/MobileDevice.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class MobileSongLoader : public QObject {
    Q_OBJECT

public:
    using Songs = std::optional<QList<MobileDevice::Song>>;

    explicit MobileSongLoader(QObject* parent = nullptr);

    void load(const MobileDevice& device);
    // Reads running now, over all devices.
    int loadsInFlight() const;

Q_SIGNALS:
    // None when the list could not be read.
    void songsLoaded(const QString& deviceID, const MobileSongLoader::Songs& songs);

private:
    void start(const MobileDevice& device);

    struct Running {
        // Asked again while the read ran: the latest device value to read with.
        std::optional<MobileDevice> again;
    };
    QHash<QString, Running> running;
};
