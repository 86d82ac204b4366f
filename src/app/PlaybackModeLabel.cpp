#include "app/PlaybackModeLabel.h"

#include "app/BatteryIndicator.h"
#include "appmodel/LorvPalette.h"
#include "browser/ElidedLabel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace {

template <class Label> Label* fog(Label* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, LorvPalette::fog());
    label->setPalette(palette);
    return label;
}

QLabel* fogLabel(QWidget* parent) {
    return fog(new QLabel(parent));
}

} // namespace

PlaybackModeLabel::PlaybackModeLabel(QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    text_ = fog(new ElidedLabel(Qt::ElideRight, this));
    // The width of its text while the header has room; by whole parts shorter when it has not, so
    // that neither the sidebar nor the window gives way to a long line.
    text_->setPartSeparator(QStringLiteral(" · "));
    text_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    battery_ = new BatteryIndicator(this);
    dot_ = fogLabel(this);
    dot_->setText(QStringLiteral("·"));
    dot_->setAccessibleName(QString());
    mode_ = fogLabel(this);
    mode_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    row->addWidget(text_);
    row->addWidget(battery_);
    row->addWidget(dot_);
    row->addWidget(mode_);
    row->addStretch(1);
    setContent(QString(), std::nullopt, std::nullopt);
}

void PlaybackModeLabel::setContent(const QString& text, std::optional<Battery> battery,
                                   std::optional<DeviceSummary::PlaybackMode> mode) {
    text_->setText(text);
    battery_->setVisible(battery.has_value());
    if (battery)
        battery_->setState(battery->percent, battery->isCharging, battery->isFullyCharged);
    playbackMode_ = mode;
    refresh();
}

void PlaybackModeLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    QWidget::changeEvent(event);
}

void PlaybackModeLabel::refresh() {
    dot_->setVisible(playbackMode_.has_value());
    mode_->setVisible(playbackMode_.has_value());
    if (playbackMode_)
        mode_->setText(DeviceSummary::playbackModeText(*playbackMode_, AppLanguages::stored()));
}
