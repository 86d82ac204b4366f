#include "app/MobileDeviceInfoCard.h"

#include "app/DeviceSummary.h"
#include "appmodel/LorvPalette.h"
#include "browser/Surfaces.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"

#include <QClipboard>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The grid's rounded background in the chrome colour.
class GridFrame : public QWidget {
public:
    explicit GridFrame(QWidget* parent)
        : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        Surfaces::fillRounded(p, rect(), 9, LorvPalette::night800());
    }
};

QLabel* label(const QString& text, const QColor& color, QWidget* parent) {
    QLabel* out = TextStyle::label(TextStyle::body(), color, parent);
    out->setText(text);
    return out;
}

} // namespace

QList<DeviceInfoRow> MobileDeviceInfoCard::rows(const MobileDevice& device, AppLanguage language) {
    QList<DeviceInfoRow> out;
    if (!device.details)
        return out;
    const MobileDevice::Details& details = *device.details;
    out.append({localizedString(LZ("Model"), language), device.displayName(language), false});
    out.append({localizedString(LZ("Battery"), language),
                details.batteryPercent
                    ? std::optional<QString>(QString::number(*details.batteryPercent) + u'%')
                    : std::nullopt,
                false});
    out.append({localizedString(LZ("Charging Status"), language),
                DeviceSummary::batteryStatusText(details.charging, details.fullyCharged, language),
                false});
    // The identifiers' names are the same in every language.
    out.append({QStringLiteral("UDID"), device.id, true});
    if (details.imei && !details.imei->isEmpty())
        out.append({QStringLiteral("IMEI"), *details.imei, true});
    if (details.iccid && !details.iccid->isEmpty())
        out.append({QStringLiteral("ICCID"), *details.iccid, true});
    return out;
}

void MobileDeviceInfoCard::copyToPasteboard(const QString& value) {
    QGuiApplication::clipboard()->setText(value, QClipboard::Clipboard);
}

MobileDeviceInfoCard::MobileDeviceInfoCard(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("mobileDeviceInfoCard"));
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(20, 20, 20, 20);
    auto* column = new QVBoxLayout;
    column->setSpacing(12);
    gridFrame_ = new GridFrame(this);
    gridFrame_->setObjectName(QStringLiteral("deviceInfoGrid"));
    gridFrame_->setMaximumWidth(maximumWidth);
    gridLayout_ = new QGridLayout(gridFrame_);
    gridLayout_->setContentsMargins(14, 14, 14, 14);
    gridLayout_->setHorizontalSpacing(14);
    gridLayout_->setVerticalSpacing(9);
    gridLayout_->setColumnStretch(1, 1);
    hint_ = label(QString(), LorvPalette::fog(), this);
    hint_->setAlignment(Qt::AlignCenter);
    hint_->setWordWrap(true);
    hint_->setMaximumWidth(maximumWidth);
    column->addWidget(gridFrame_);
    column->addWidget(hint_);
    column->addStretch(1);
    outer->addStretch(1);
    outer->addLayout(column, 100);
    outer->addStretch(1);
    gridFrame_->hide();
    rebuild();
}

void MobileDeviceInfoCard::setDevice(const MobileDevice& device) {
    if (device_ == device)
        return;
    device_ = device;
    rebuild();
}

void MobileDeviceInfoCard::rebuild() {
    const AppLanguage language = AppLanguages::stored();
    // The old rows go once control is back in the event loop (one of them may be sending).
    while (QLayoutItem* item = gridLayout_->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->setObjectName(QString());
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    const QList<DeviceInfoRow> list = device_ ? rows(*device_, language) : QList<DeviceInfoRow>();
    for (int row = 0; row < list.size(); ++row) {
        const DeviceInfoRow& info = list[row];
        QLabel* name = label(info.label, LorvPalette::fog(), gridFrame_);
        name->setObjectName(QStringLiteral("infoLabel"));
        gridLayout_->addWidget(name, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        auto* cell = new QWidget(gridFrame_);
        cell->setObjectName(QStringLiteral("infoValue:") + info.label);
        auto* line = new QHBoxLayout(cell);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(6);
        if (info.value) {
            QLabel* value = label(*info.value, LorvPalette::mist(), cell);
            value->setObjectName(QStringLiteral("value"));
            if (info.copyable)
                value->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                               Qt::TextSelectableByKeyboard);
            line->addWidget(value, 1);
            if (info.copyable) {
                auto* copy = new QToolButton(cell);
                copy->setObjectName(QStringLiteral("copy"));
                copy->setAutoRaise(true);
                copy->setIcon(
                    SymbolIcon::icon(QStringLiteral("doc.on.doc"), 13, LorvPalette::sky()));
                const QString help = localizedString(LZ("Copy %1"), language, info.label);
                copy->setToolTip(help);
                copy->setAccessibleName(help);
                connect(copy, &QToolButton::clicked, this,
                        [value = *info.value] { copyToPasteboard(value); });
                line->addWidget(copy);
            }
        } else {
            QLabel* missing =
                label(localizedString(LZ("Unavailable"), language), LorvPalette::fog(), cell);
            missing->setObjectName(QStringLiteral("value"));
            line->addWidget(missing, 1);
        }
        gridLayout_->addWidget(cell, row, 1);
    }
    gridFrame_->setVisible(!list.isEmpty());
    hint_->setText(localizedString(LZ("Select this device in your file manager's sidebar to "
                                      "reach its files; songs are synced with a music app that "
                                      "supports iOS devices."),
                                   language));
}

QToolButton* MobileDeviceInfoCard::copyButton(const QString& label) const {
    QWidget* cell = gridFrame_->findChild<QWidget*>(QStringLiteral("infoValue:") + label);
    return cell ? cell->findChild<QToolButton*>(QStringLiteral("copy")) : nullptr;
}

QLabel* MobileDeviceInfoCard::valueLabel(const QString& label) const {
    QWidget* cell = gridFrame_->findChild<QWidget*>(QStringLiteral("infoValue:") + label);
    return cell ? cell->findChild<QLabel*>(QStringLiteral("value")) : nullptr;
}

void MobileDeviceInfoCard::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        rebuild();
    QWidget::changeEvent(event);
}
