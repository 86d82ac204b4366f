#pragma once

#include <QWidget>

class TransferSettingsView;

// The Settings window; it holds the transfer settings view, sized to its content.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    explicit SettingsWindow(QWidget* parent = nullptr);

    TransferSettingsView* settingsView() const { return view_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void retranslate();

    TransferSettingsView* view_ = nullptr;
};
