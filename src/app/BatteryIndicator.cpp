#include "app/BatteryIndicator.h"

#include "app/DeviceSummary.h"
#include "appmodel/LorvPalette.h"
#include "browser/SymbolIcon.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

BatteryIndicator::BatteryIndicator(QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    image_ = new QLabel(this);
    image_->setFixedSize(symbolSize, symbolSize);
    percentText_ = new QLabel(this);
    QPalette textPalette = percentText_->palette();
    textPalette.setColor(QPalette::WindowText, LorvPalette::fog());
    percentText_->setPalette(textPalette);
    row->addWidget(image_, 0, Qt::AlignVCenter);
    row->addWidget(percentText_, 0, Qt::AlignVCenter);
    refresh();
}

const QColor& BatteryIndicator::green() {
    static const QColor color(0x32, 0xD7, 0x4B);
    return color;
}

QColor BatteryIndicator::symbolColor() const {
    return DeviceSummary::batteryTint(isCharging_, isFullyCharged_) ==
                   DeviceSummary::BatteryTint::green
               ? green()
               : LorvPalette::fog();
}

void BatteryIndicator::setState(std::optional<int> percent, std::optional<bool> isCharging,
                                std::optional<bool> isFullyCharged) {
    percent_ = percent;
    isCharging_ = isCharging;
    isFullyCharged_ = isFullyCharged;
    refresh();
}

void BatteryIndicator::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    QWidget::changeEvent(event);
}

void BatteryIndicator::refresh() {
    const AppLanguage language = AppLanguages::stored();
    symbol_ = DeviceSummary::batterySymbol(percent_, isCharging_);
    image_->setPixmap(SymbolIcon::pixmap(symbol_, symbolSize, symbolColor(), devicePixelRatioF()));
    const std::optional<QString> percent = DeviceSummary::batteryPercentText(percent_, language);
    percentText_->setVisible(percent.has_value());
    percentText_->setText(percent.value_or(QString()));
    const QString help =
        DeviceSummary::batteryHelpText(percent_, isCharging_, isFullyCharged_, language);
    setToolTip(help);
    setAccessibleName(help);
}
