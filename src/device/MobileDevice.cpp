#include "device/MobileDevice.h"

#include "device/MobileDeviceMediaLibrary.h"
#include "device/MobileDeviceProbe.h"

#include <QCollator>
#include <QMetaType>

#include <algorithm>

namespace {

std::optional<QString> stringValue(const QVariantMap& dictionary, const QString& key) {
    const auto it = dictionary.constFind(key);
    if (it == dictionary.constEnd() || it->metaType().id() != QMetaType::QString)
        return std::nullopt;
    return it->toString();
}

std::optional<qint64> integerValue(const QVariantMap& dictionary, const QString& key) {
    const auto it = dictionary.constFind(key);
    if (it == dictionary.constEnd())
        return std::nullopt;
    switch (it->metaType().id()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return it->toLongLong();
    default:
        return std::nullopt;
    }
}

std::optional<bool> boolValue(const QVariantMap& dictionary, const QString& key) {
    const auto it = dictionary.constFind(key);
    if (it == dictionary.constEnd() || it->metaType().id() != QMetaType::Bool)
        return std::nullopt;
    return it->toBool();
}

struct ModelLine {
    const char16_t* productType;
    QString model;
    QString ordinal;
};

const QList<ModelLine>& modelLines() {
    static const QList<ModelLine> lines = {
        {u"iPod1,1", LZ("iPod touch"), LZ("1st generation")},
        {u"iPad4,1", LZ("iPad Air"), LZ("1st generation")},
        {u"iPad4,2", LZ("iPad Air"), LZ("1st generation")},
        {u"iPad4,3", LZ("iPad Air"), LZ("1st generation")},
        {u"iPod2,1", LZ("iPod touch"), LZ("2nd generation")},
        {u"iPod3,1", LZ("iPod touch"), LZ("3rd generation")},
        {u"iPod4,1", LZ("iPod touch"), LZ("4th generation")},
        {u"iPod5,1", LZ("iPod touch"), LZ("5th generation")},
        {u"iPod7,1", LZ("iPod touch"), LZ("6th generation")},
        {u"iPod9,1", LZ("iPod touch"), LZ("7th generation")},
    };
    return lines;
}

} // namespace

namespace MobileDeviceFamilies {

QString rawValue(MobileDevice::Family family) {
    switch (family) {
    case MobileDevice::Family::touch:
        return QStringLiteral("iPod touch");
    case MobileDevice::Family::pad:
        return QStringLiteral("iPad");
    case MobileDevice::Family::phone:
        return QStringLiteral("iPhone");
    }
    return {};
}

std::optional<MobileDevice::Family> fromProductType(const QString& productType) {
    if (productType.startsWith(u"iPod"))
        return MobileDevice::Family::touch;
    if (productType.startsWith(u"iPad"))
        return MobileDevice::Family::pad;
    if (productType.startsWith(u"iPhone"))
        return MobileDevice::Family::phone;
    return std::nullopt;
}

} // namespace MobileDeviceFamilies

MobileDevice::Details MobileDevice::Details::fromDictionary(const QVariantMap& dictionary) {
    Details details;
    details.capacity = integerValue(dictionary, QStringLiteral("Capacity"));
    details.available = integerValue(dictionary, QStringLiteral("Available"));
    details.batteryPercent = integerValue(dictionary, QStringLiteral("BatteryPercent"));
    details.charging = boolValue(dictionary, QStringLiteral("Charging"));
    details.fullyCharged = boolValue(dictionary, QStringLiteral("FullyCharged"));
    details.imei = stringValue(dictionary, QStringLiteral("IMEI"));
    details.iccid = stringValue(dictionary, QStringLiteral("ICCID"));
    return details;
}

std::optional<MobileDevice> MobileDevice::make(const QString& id, const QString& productType,
                                               const std::optional<QString>& deviceName,
                                               const std::optional<QString>& marketingName,
                                               const std::optional<Details>& details) {
    const auto family = MobileDeviceFamilies::fromProductType(productType);
    if (!family)
        return std::nullopt;
    MobileDevice device;
    device.id = id;
    device.name = deviceName
                      ? *deviceName
                      : (marketingName ? *marketingName : MobileDeviceFamilies::rawValue(*family));
    device.family = *family;
    device.productType = productType;
    device.marketingName = marketingName;
    device.details = details;
    return device;
}

std::optional<MobileDevice> MobileDevice::fromDictionary(const QVariantMap& dictionary) {
    const auto id = stringValue(dictionary, QStringLiteral("ID"));
    const auto productType = stringValue(dictionary, QStringLiteral("ProductType"));
    if (!id || !productType)
        return std::nullopt;
    return make(*id, *productType, stringValue(dictionary, QStringLiteral("DeviceName")),
                stringValue(dictionary, QStringLiteral("MarketingName")),
                Details::fromDictionary(dictionary));
}

QList<MobileDevice> MobileDevice::fromDictionaries(const QList<QVariantMap>& dictionaries) {
    QList<MobileDevice> devices;
    for (const QVariantMap& dictionary : dictionaries) {
        if (auto device = fromDictionary(dictionary))
            devices.append(std::move(*device));
    }
    // The C locale collates by code point and ignores the numeric mode.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(devices.begin(), devices.end(),
                     [&collator](const MobileDevice& a, const MobileDevice& b) {
                         const int order = collator.compare(a.name, b.name);
                         if (order != 0)
                             return order < 0;
                         return a.id < b.id;
                     });
    return devices;
}

std::optional<QList<MobileDevice>> MobileDevice::connectedDevices() {
    const auto dictionaries = MobileDeviceProbe::copyMobileDeviceList();
    if (!dictionaries)
        return std::nullopt;
    return fromDictionaries(*dictionaries);
}

QString MobileDevice::displayName(AppLanguage language) const {
    for (const ModelLine& line : modelLines()) {
        if (productType == QStringView(line.productType))
            return localizedString(LZ("%1 (%2)"), language, localizedString(line.model, language),
                                   localizedString(line.ordinal, language));
    }
    return localizedString(marketingName ? *marketingName : name, language);
}

QString MobileDevice::symbolName() const {
    switch (family) {
    case Family::touch:
        return QStringLiteral("ipodtouch");
    case Family::pad:
        return QStringLiteral("ipad");
    case Family::phone:
        return QStringLiteral("iphone");
    }
    return {};
}

std::optional<QList<MobileDevice::Song>> MobileDevice::loadSongs() const {
    return MobileDeviceMediaLibrary::loadSongs(id);
}

std::optional<QList<MobileDevice::Song>> MobileDevice::querySongs(const QString& databasePath) {
    return MobileDeviceMediaLibrary::querySongs(databasePath);
}
