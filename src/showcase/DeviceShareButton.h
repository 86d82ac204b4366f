#pragma once

// The toolbar button that opens the share popup for a device: the showcase's model, or the
// connected iPod. It keeps what the popup needs and builds the popup afresh on every press; an
// open popup follows new content and closes when the button goes off screen.

#include "showcase/DeviceSharePreview.h"

#include <QPointer>
#include <QToolButton>

#include <functional>

class DeviceShareButton : public QToolButton {
    Q_OBJECT

public:
    static constexpr int symbolSize = 16;

    struct Content {
        QString title;
        std::optional<StartupModel::Years> years;
        QStringList capacities;
        std::optional<QString> finish;
        std::optional<StartupDeviceVector::Drawing> rearArtwork;
        // Builds the front picture when the popup opens; nothing draws no device.
        std::function<std::optional<StartupDeviceArtwork>()> artwork;
    };

    explicit DeviceShareButton(QWidget* parent = nullptr);

    void setContent(const Content& content);
    const Content& content() const { return content_; }

    // Opens the popup (as a press does) and returns it.
    DeviceSharePreview* showPreview();
    // The open popup, if any.
    DeviceSharePreview* preview() const { return preview_; }
    bool showsPreview() const { return preview_ && preview_->isVisible(); }

protected:
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void retranslate();
    DeviceSharePreview::Input input() const;

    Content content_;
    QPointer<DeviceSharePreview> preview_;
};
