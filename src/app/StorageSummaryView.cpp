#include "app/StorageSummaryView.h"

#include "app/DeviceSummary.h"
#include "browser/StorageGaugeStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

StorageSummaryView::StorageSummaryView(QWidget* parent)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);

    gauge_ = new StorageGaugeStyle::Gauge(this);
    column->addWidget(gauge_);

    usageRow_ = new QWidget(this);
    auto* usage = new QHBoxLayout(usageRow_);
    usage->setContentsMargins(0, 0, 0, 0);
    usage->setSpacing(0);
    used_ = new QLabel(usageRow_);
    total_ = new QLabel(usageRow_);
    usage->addWidget(used_);
    usage->addSpacing(4);
    usage->addStretch(1);
    usage->addWidget(total_);
    column->addWidget(usageRow_);

    capacityRow_ = new QWidget(this);
    auto* capacity = new QHBoxLayout(capacityRow_);
    capacity->setContentsMargins(0, 0, 0, 0);
    capacity->setSpacing(4);
    capacity_ = new QLabel(capacityRow_);
    capacityTotal_ = new QLabel(capacityRow_);
    capacity->addWidget(capacity_);
    capacity->addWidget(capacityTotal_);
    capacity->addStretch(1);
    column->addWidget(capacityRow_);

    refresh();
}

void StorageSummaryView::setBytes(std::optional<qint64> freeBytes, qint64 totalBytes) {
    freeBytes_ = freeBytes;
    totalBytes_ = totalBytes;
    refresh();
}

void StorageSummaryView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    QWidget::changeEvent(event);
}

void StorageSummaryView::refresh() {
    const AppLanguage language = AppLanguages::stored();
    const DeviceSummary::StorageSummary summary =
        DeviceSummary::storageSummary(freeBytes_, totalBytes_, language);
    gauge_->setVisible(summary.hasGauge);
    usageRow_->setVisible(summary.hasGauge);
    capacityRow_->setVisible(!summary.hasGauge);
    gauge_->setValue(summary.fraction);
    gauge_->setAccessibleName(localizedString(LZ("Storage"), language));
    gauge_->setAccessibleDescription(summary.gaugeValueText);
    gauge_->setToolTip(summary.gaugeToolTip);
    used_->setText(summary.usedText);
    total_->setText(summary.totalText);
    capacity_->setText(summary.capacityLabel);
    capacityTotal_->setText(summary.totalText);
}
