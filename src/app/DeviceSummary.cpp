#include "app/DeviceSummary.h"

#include "appmodel/MainViewState.h"
#include "appmodel/StartupSeries.h"
#include "browser/ByteCountFormatter.h"

#include <QHash>
#include <QLocale>

#include <cmath>

namespace DeviceSummary {

std::optional<QString> deviceArtworkName(const QString& prefix) {
    static const QHash<QString, QString> names = {
        {QStringLiteral("iPod7"), QStringLiteral("iPodM26")},
        {QStringLiteral("iPod9"), QStringLiteral("iPodN36")},
        {QStringLiteral("iPod12"), QStringLiteral("iPodN46")},
        {QStringLiteral("iPod15"), QStringLiteral("iPodN58")},
        {QStringLiteral("iPod16"), QStringLiteral("iPodN33")},
        {QStringLiteral("iPod17"), QStringLiteral("iPodN20")},
        {QStringLiteral("iPod128"), QStringLiteral("iPodQ98")},
        {QStringLiteral("iPod130"), QStringLiteral("iPodN98")},
        {QStringLiteral("iPod130C"), QStringLiteral("iPodN98C")},
        {QStringLiteral("iPod130F"), QStringLiteral("iPodN98F")},
        {QStringLiteral("iPod132"), QStringLiteral("iPodD98")},
        {QStringLiteral("iPod132B"), QStringLiteral("iPodD55")},
        {QStringLiteral("iPod133"), QStringLiteral("iPodN12")},
        {QStringLiteral("iPod133B"), QStringLiteral("iPodN12B")},
        {QStringLiteral("iPod133D"), QStringLiteral("iPodN12D")},
    };
    const auto found = names.constFind(prefix);
    if (found == names.constEnd())
        return std::nullopt;
    return *found;
}

QString percentText(double fraction, AppLanguage language) {
    const QLocale locale = AppLanguages::locale(language);
    // nearbyint rounds half to even under the default rounding mode.
    const double whole = std::isfinite(fraction) ? std::nearbyint(fraction * 100.0) : 0.0;
    return locale.toString(static_cast<qint64>(whole)) + locale.percent();
}

StorageSummary storageSummary(std::optional<qint64> freeBytes, qint64 totalBytes,
                              AppLanguage language) {
    StorageSummary out;
    out.totalText = ByteCountFormatter::format(totalBytes, language);
    out.capacityLabel = localizedString(LZ("Capacity"), language);
    if (totalBytes <= 0 || !freeBytes || *freeBytes < 0 || totalBytes < *freeBytes)
        return out;
    const qint64 used = totalBytes - *freeBytes;
    out.hasGauge = true;
    out.fraction = static_cast<double>(used) / static_cast<double>(totalBytes);
    out.percentText = percentText(out.fraction, language);
    out.gaugeValueText = localizedString(LZ("%1 used"), language, out.percentText);
    out.gaugeToolTip = localizedString(LZ("Available space: %1"), language,
                                       ByteCountFormatter::format(*freeBytes, language));
    out.usedText =
        localizedString(LZ("%1 used"), language, ByteCountFormatter::format(used, language));
    return out;
}

std::optional<QString> batteryStatusText(std::optional<bool> isCharging,
                                         std::optional<bool> isFullyCharged, AppLanguage language) {
    if (isCharging.value_or(false))
        return localizedString(LZ("Charging"), language);
    if (isFullyCharged.value_or(false))
        return localizedString(LZ("Fully charged"), language);
    if (!isCharging)
        return std::nullopt;
    return localizedString(LZ("Not charging"), language);
}

QString batteryLevelSymbol(std::optional<int> percent) {
    if (!percent)
        return QStringLiteral("battery.100percent");
    if (*percent < 6)
        return QStringLiteral("battery.0percent");
    if (*percent < 38)
        return QStringLiteral("battery.25percent");
    if (*percent < 63)
        return QStringLiteral("battery.50percent");
    if (*percent < 88)
        return QStringLiteral("battery.75percent");
    return QStringLiteral("battery.100percent");
}

QString batterySymbol(std::optional<int> percent, std::optional<bool> isCharging) {
    if (isCharging.value_or(false))
        return QStringLiteral("battery.100percent.bolt");
    return batteryLevelSymbol(percent);
}

BatteryTint batteryTint(std::optional<bool> isCharging, std::optional<bool> isFullyCharged) {
    return isCharging.value_or(false) || isFullyCharged.value_or(false) ? BatteryTint::green
                                                                        : BatteryTint::secondary;
}

std::optional<QString> batteryPercentText(std::optional<int> percent, AppLanguage language) {
    if (!percent)
        return std::nullopt;
    return localizedString(LZ("%1%"), language, *percent);
}

QString batteryHelpText(std::optional<int> percent, std::optional<bool> isCharging,
                        std::optional<bool> isFullyCharged, AppLanguage language) {
    const std::optional<QString> status = batteryStatusText(isCharging, isFullyCharged, language);
    if (!percent)
        return status ? *status : localizedString(LZ("Battery"), language);
    if (status)
        return localizedString(LZ("Battery: %1%, %2"), language, QString::number(*percent),
                               *status);
    return localizedString(LZ("Battery"), language) + u' ' + QString::number(*percent) + u'%';
}

QString playbackModeText(PlaybackMode mode, AppLanguage language) {
    return mode == PlaybackMode::sequential
               ? localizedString(LZ("Playback mode: In order"), language)
               : localizedString(LZ("Playback mode: Shuffle"), language);
}

QString softwareVersionText(const QString& version, AppLanguage language) {
    return localizedString(LZ("Software Version %1"), language, version);
}

QString informationLine(const std::optional<IPodModel>& model, qint64 totalBytes, qint64 freeBytes,
                        std::optional<qsizetype> trackCount, AppLanguage language) {
    QStringList parts;
    if (!model) {
        parts.append(localizedString(LZ("Unknown iPod"), language));
    } else if (model->family == IPodModel::Family::classic) {
        parts.append(model->displayName(language));
    } else if (const StartupModel* entry = StartupSeries(seriesForFamily(model->family))
                                               .model(model->generationNumber - 1)) {
        parts.append(QString::number(entry->year));
    } else {
        // A generation the catalogue does not list has no year to show.
        parts.append(model->displayName(language));
    }
    const auto bytes = [language](qint64 count) {
        return ByteCountFormatter::format(count, language, ByteCountFormatter::Style::file);
    };
    if (totalBytes > 0)
        parts.append(bytes(totalBytes));
    if (trackCount)
        parts.append(localizedCount(LZ("%n tracks"), language, *trackCount));
    if (totalBytes > 0 && totalBytes >= freeBytes)
        parts.append(localizedString(LZ("%1 available"), language, bytes(freeBytes)));
    return parts.join(QStringLiteral(" · "));
}

QString summaryLine(const QString& displayName, const std::optional<IPodModel>& model,
                    AppLanguage language) {
    QString text = displayName;
    if (!model)
        return text;
    const QString modelName = model->displayName(language);
    if (text != modelName)
        text += QStringLiteral(" · ") + modelName;
    if (model->colorName)
        text += QStringLiteral(" — ") + localizedString(*model->colorName, language);
    return text;
}

} // namespace DeviceSummary
