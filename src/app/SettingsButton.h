#pragma once

// The one settings button of every detail toolbar: the gear alone, "Settings" as its tooltip
// and accessible name. What it opens is the toolbar's business.

#include <QToolButton>

class SettingsButton : public QToolButton {
    Q_OBJECT

public:
    static constexpr int symbolSize = 16;

    explicit SettingsButton(QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void retranslate();
};
