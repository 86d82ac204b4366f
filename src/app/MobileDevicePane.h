#pragma once

// The page of a selected iPod touch (or another iOS device), read-only: a header with the
// device's picture, name, kind, free space, battery and song count, and below it the scrolling
// information card. While the page shows a device, its songs are counted in the background,
// again each time the application becomes active; at most one count runs per device, and a
// count that arrives after the device is no longer the one selected is dropped.

#include "appmodel/MainViewState.h"
#include "device/MobileDevice.h"

#include <QWidget>

#include <optional>

class BatteryIndicator;
class ContentView;
class ElidedLabel;
class MobileDeviceInfoCard;
class MobileSongLoader;
class QLabel;
class QPushButton;

class MobileDevicePane : public QWidget {
    Q_OBJECT

public:
    explicit MobileDevicePane(ContentView& view, QWidget* parent = nullptr);

    // The device on screen; none when the page is not shown (its count stops being wanted).
    void setDevice(const std::optional<MobileDevice>& device);
    const std::optional<MobileDevice>& device() const { return device_; }

    // "Kind · 12 GB available", or the kind alone without a free byte count.
    static QString subtitle(const MobileDevice& device, AppLanguage language);
    // The count line once a count for this device has arrived; none before.
    static std::optional<QString>
    trackLine(const std::optional<MainViewState::MobileLibrary>& library, const QString& deviceID,
              AppLanguage language);

    MobileSongLoader* songLoader() const { return loader_; }
    ElidedLabel* nameLabel() const { return name_; }
    QLabel* subtitleLabel() const { return subtitle_; }
    QLabel* trackLineLabel() const { return trackLine_; }
    BatteryIndicator* batteryIndicator() const { return battery_; }
    QPushButton* openFileManagerButton() const { return openFiles_; }
    MobileDeviceInfoCard* infoCard() const { return card_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void refreshTrackLine();
    void applicationStateChanged(Qt::ApplicationState state);
    void songsLoaded(const QString& deviceID,
                     const std::optional<QList<MobileDevice::Song>>& songs);

    ContentView& view_;
    MobileSongLoader* loader_ = nullptr;
    std::optional<MobileDevice> device_;
    QLabel* thumbnail_ = nullptr;
    ElidedLabel* name_ = nullptr;
    QLabel* subtitle_ = nullptr;
    BatteryIndicator* battery_ = nullptr;
    QPushButton* openFiles_ = nullptr;
    QLabel* trackLine_ = nullptr;
    MobileDeviceInfoCard* card_ = nullptr;
};
