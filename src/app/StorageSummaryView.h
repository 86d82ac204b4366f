#pragma once

// The storage block of a device card: the gauge with "x used" and the capacity below it, or
// the "Capacity" row when the used share cannot be known.

#include <QWidget>

#include <optional>

class QLabel;
namespace StorageGaugeStyle {
class Gauge;
}

class StorageSummaryView : public QWidget {
    Q_OBJECT

public:
    explicit StorageSummaryView(QWidget* parent = nullptr);

    void setBytes(std::optional<qint64> freeBytes, qint64 totalBytes);

    // For tests and callers that place their own tooltips.
    StorageGaugeStyle::Gauge* gauge() const { return gauge_; }
    QLabel* usedLabel() const { return used_; }
    QLabel* totalLabel() const { return total_; }
    QLabel* capacityLabel() const { return capacity_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    std::optional<qint64> freeBytes_;
    qint64 totalBytes_ = 0;
    StorageGaugeStyle::Gauge* gauge_ = nullptr;
    QWidget* usageRow_ = nullptr;
    QLabel* used_ = nullptr;
    QLabel* total_ = nullptr;
    QWidget* capacityRow_ = nullptr;
    QLabel* capacity_ = nullptr;
    QLabel* capacityTotal_ = nullptr;
};
