#pragma once

// What the showcase puts in the window's toolbar: the page title with the line-up badge, the
// USB connection help with its popup, the share button for the model on show, and the caller's
// settings button.

#include <QAbstractButton>
#include <QFrame>
#include <QPointer>
#include <QWidget>

class CapsuleChip;
class DeviceShareButton;
class QHBoxLayout;
class QLabel;
class StartupDeviceFlowState;

// "USB Connection Help" with a plug, on a periwinkle plate.
class ConnectionHelpButton : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int fixedHeight = 26;
    explicit ConnectionHelpButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The card that explains how to connect an iPod.
class ConnectionHelpPopup : public QFrame {
    Q_OBJECT

public:
    static constexpr int popupWidth = 290;
    explicit ConnectionHelpPopup(QWidget* parent);
    // Sets the texts in the interface language.
    void retranslate();

Q_SIGNALS:
    void hidden();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QLabel* headline_ = nullptr;
    QLabel* body_ = nullptr;
};

class ShowcaseToolbar : public QWidget {
    Q_OBJECT

public:
    ShowcaseToolbar(StartupDeviceFlowState& state, QWidget* parent = nullptr);

    // The caller's settings button, placed last; the toolbar takes it over.
    void setSettingsButton(QWidget* button);
    QWidget* settingsButton() const { return settings_; }

    // Follows the showcase's state and the interface language.
    void refresh();

    QLabel* titleLabel() const { return title_; }
    CapsuleChip* badge() const { return badge_; }
    ConnectionHelpButton* helpButton() const { return help_; }
    ConnectionHelpPopup* helpPopup() const { return popup_; }
    DeviceShareButton* shareButton() const { return share_; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void connectionHelpChanged(bool shows);

    StartupDeviceFlowState& state_;
    QHBoxLayout* row_ = nullptr;
    QLabel* title_ = nullptr;
    CapsuleChip* badge_ = nullptr;
    ConnectionHelpButton* help_ = nullptr;
    QPointer<ConnectionHelpPopup> popup_;
    DeviceShareButton* share_ = nullptr;
    QPointer<QWidget> settings_;
};
