#pragma once

// Values shared by the device views: storage summary, battery texts and symbols, the saved
// playback mode, the firmware line and the device artwork names. Plain functions of plain
// values, so every view reads them the same way.

#include "library/IPodModel.h"
#include "platform/AppLanguage.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace DeviceSummary {

// The saved play order of a second-generation shuffle, as the header shows it.
enum class PlaybackMode {
    sequential,
    shuffle,
};

// The device artwork name for an icon-name prefix (the part before the first "-"); exact
// matches only, nothing for an unknown prefix.
std::optional<QString> deviceArtworkName(const QString& prefix);

struct StorageSummary {
    // false: the "Capacity" row alone (no gauge).
    bool hasGauge = false;
    double fraction = 0;    // used / total, 0...1
    QString percentText;    // "42%"
    QString gaugeValueText; // "42% used"
    QString gaugeToolTip;   // "Available space: 1.2 GB"
    QString usedText;       // "3.4 GB used"
    QString capacityLabel;  // "Capacity"
    QString totalText;      // "16 GB"
};

// The storage block of a device card. A device without capacity (total 0) gets the "Capacity"
// row, never a gauge of 0 / 0.
StorageSummary storageSummary(std::optional<qint64> freeBytes, qint64 totalBytes,
                              AppLanguage language);

// A fraction as a whole percentage in the language's number format; halves round to even.
QString percentText(double fraction, AppLanguage language);

std::optional<QString> batteryStatusText(std::optional<bool> isCharging,
                                         std::optional<bool> isFullyCharged, AppLanguage language);

// "battery.0percent" ... "battery.100percent"; the level symbol, whatever the charging state.
QString batteryLevelSymbol(std::optional<int> percent);
// The symbol drawn: the bolt while charging, else the level symbol.
QString batterySymbol(std::optional<int> percent, std::optional<bool> isCharging);

enum class BatteryTint {
    green,     // charging or fully charged
    secondary, // otherwise
};
BatteryTint batteryTint(std::optional<bool> isCharging, std::optional<bool> isFullyCharged);

// "20%", or nothing when the percent is unknown.
std::optional<QString> batteryPercentText(std::optional<int> percent, AppLanguage language);

// The battery row's tooltip and accessible text.
QString batteryHelpText(std::optional<int> percent, std::optional<bool> isCharging,
                        std::optional<bool> isFullyCharged, AppLanguage language);

QString playbackModeText(PlaybackMode mode, AppLanguage language);

// "Software Version 1.0.4"
QString softwareVersionText(const QString& version, AppLanguage language);

// The library header's information line, joined with " · ": the model ("Unknown iPod" without
// one; a classic's name; else the release year of its generation, or its name when the catalogue
// does not list that generation), the capacity when there is one, the track count once a
// library is loaded, and the free space when it is no more than the capacity.
QString informationLine(const std::optional<IPodModel>& model, qint64 totalBytes, qint64 freeBytes,
                        std::optional<qsizetype> trackCount, AppLanguage language);

// The toolbar's summary: the device's name, " · " and the model's name when they differ, then
// " — " and the model's colour.
QString summaryLine(const QString& displayName, const std::optional<IPodModel>& model,
                    AppLanguage language);

} // namespace DeviceSummary
