#pragma once

// The battery symbol with its percentage, one accessible element with the help text.

#include <QWidget>

#include <optional>

class QLabel;

class BatteryIndicator : public QWidget {
    Q_OBJECT

public:
    static constexpr int symbolSize = 16;

    explicit BatteryIndicator(QWidget* parent = nullptr);

    void setState(std::optional<int> percent, std::optional<bool> isCharging,
                  std::optional<bool> isFullyCharged);

    // The symbol name drawn now (for tests and the accessibility tree).
    QString symbol() const { return symbol_; }
    QColor symbolColor() const;
    QLabel* symbolLabel() const { return image_; }
    QLabel* percentLabel() const { return percentText_; }

    static const QColor& green();

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    std::optional<int> percent_;
    std::optional<bool> isCharging_;
    std::optional<bool> isFullyCharged_;
    QString symbol_;
    QLabel* image_ = nullptr;
    QLabel* percentText_ = nullptr;
};
