#pragma once

// The transfer settings opened from a toolbar's settings button: a popup under the button that
// closes on a click elsewhere. Each opening holds a fresh form, so its system information starts
// collapsed.

#include <QFrame>

class TransferSettingsView;

class SettingsPopup : public QFrame {
    Q_OBJECT

public:
    explicit SettingsPopup(QWidget* anchor);

    TransferSettingsView* settingsView() const { return view_; }

    // Shows the popup below the anchor, centred on it and kept on the anchor's screen.
    void popup();

Q_SIGNALS:
    void closed();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* anchor_ = nullptr;
    TransferSettingsView* view_ = nullptr;
};
