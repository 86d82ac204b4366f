#pragma once

// An iOS device (iPod touch, iPad or iPhone) as listed over lockdown, and its songs.

#include "platform/AppLanguage.h"

#include <QList>
#include <QString>
#include <QVariantMap>

#include <optional>

class MobileDevice {
public:
    enum class Family {
        touch,
        pad,
        phone,
    };

    struct Details {
        std::optional<qint64> capacity;
        std::optional<qint64> available;
        std::optional<qint64> batteryPercent;
        std::optional<bool> charging;
        std::optional<bool> fullyCharged;
        std::optional<QString> imei;
        std::optional<QString> iccid;

        // Each field is the value under its key when it has the right type.
        static Details fromDictionary(const QVariantMap& dictionary);
        bool operator==(const Details&) const = default;
    };

    struct Song {
        qint64 id = 0;
        QString title;
        QString artist;
        QString album;
        QString genre;
        QString format;
        qint64 sizeBytes = 0;
        double duration = 0;

        bool operator==(const Song&) const = default;
    };

    QString id;
    QString name;
    Family family = Family::touch;
    QString productType;
    std::optional<QString> marketingName;
    std::optional<Details> details;

    // Nothing when the product type names no family.
    static std::optional<MobileDevice> make(const QString& id, const QString& productType,
                                            const std::optional<QString>& deviceName,
                                            const std::optional<QString>& marketingName,
                                            const std::optional<Details>& details);

    // One device dictionary of the probe; nothing when "ID" or "ProductType" is unusable.
    static std::optional<MobileDevice> fromDictionary(const QVariantMap& dictionary);

    // The devices of the dictionaries, sorted by name and then by id.
    static QList<MobileDevice> fromDictionaries(const QList<QVariantMap>& dictionaries);

    // The connected devices; nothing when they cannot be listed at all (no usbmuxd). Blocks on
    // USB traffic: call it from a background task only.
    static std::optional<QList<MobileDevice>> connectedDevices();

    // The model line, for example "iPod touch (7th generation)".
    QString displayName(AppLanguage language = AppLanguages::stored()) const;
    QString symbolName() const;

    // The songs of the device's media library, read from a private copy; nothing when the copy
    // or the query failed. Throws std::system_error when the temporary folder cannot be made.
    // Blocks on USB and disk: call it from a background task only.
    std::optional<QList<Song>> loadSongs() const;

    // The songs of a media-library database, opened read-only; nothing on any failure.
    static std::optional<QList<Song>> querySongs(const QString& databasePath);

    bool operator==(const MobileDevice&) const = default;
};

namespace MobileDeviceFamilies {

// "iPod touch", "iPad", "iPhone".
QString rawValue(MobileDevice::Family family);
// By prefix, tested in the order "iPod", "iPad", "iPhone".
std::optional<MobileDevice::Family> fromProductType(const QString& productType);

} // namespace MobileDeviceFamilies
