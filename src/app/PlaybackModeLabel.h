#pragma once

// The second line of the library header: the information line, the battery and, for a
// second-generation shuffle, its saved play order. An information line too long for the header
// drops its last parts for "…" rather than widening the header.

#include "app/DeviceSummary.h"

#include <QWidget>

#include <optional>

class BatteryIndicator;
class ElidedLabel;
class QLabel;

class PlaybackModeLabel : public QWidget {
    Q_OBJECT

public:
    struct Battery {
        std::optional<int> percent;
        bool isCharging = false;
        bool isFullyCharged = false;
    };

    explicit PlaybackModeLabel(QWidget* parent = nullptr);

    // text is shown as it is; battery and mode only when present.
    void setContent(const QString& text, std::optional<Battery> battery,
                    std::optional<DeviceSummary::PlaybackMode> mode);

    ElidedLabel* textLabel() const { return text_; }
    BatteryIndicator* batteryIndicator() const { return battery_; }
    QLabel* modeLabel() const { return mode_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    std::optional<DeviceSummary::PlaybackMode> playbackMode_;
    ElidedLabel* text_ = nullptr;
    BatteryIndicator* battery_ = nullptr;
    QLabel* dot_ = nullptr;
    QLabel* mode_ = nullptr;
};
