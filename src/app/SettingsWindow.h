#pragma once

#include <QWidget>

class QLabel;

// The Settings window; it holds the transfer settings view, sized to its content.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    explicit SettingsWindow(QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void retranslate();

    QLabel* content = nullptr;
};
