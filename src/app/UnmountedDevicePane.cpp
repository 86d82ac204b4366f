#include "app/UnmountedDevicePane.h"

#include "appmodel/InterfaceFont.h"
#include "appmodel/LorvPalette.h"
#include "appmodel/StartupSeries.h"
#include "library/IPodModel.h"

#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QFont pixelFont(const QFont& base, int pixels, QFont::Weight weight) {
    QFont font = base;
    font.setPixelSize(pixels);
    return InterfaceFont::weighted(font, weight);
}

} // namespace

UnmountedDevicePane::UnmountedDevicePane(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("unmountedDevicePane"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->setSpacing(10);
    outer->addStretch(1);

    title_ = new QLabel(this);
    title_->setFont(pixelFont(font(), 17, QFont::DemiBold));
    title_->setAlignment(Qt::AlignCenter);
    outer->addWidget(title_, 0, Qt::AlignHCenter);

    status_ = new QLabel(this);
    status_->setFont(pixelFont(font(), 13, QFont::Bold));
    status_->setAlignment(Qt::AlignCenter);
    outer->addWidget(status_, 0, Qt::AlignHCenter);

    auto* steps = new QWidget(this);
    steps->setMaximumWidth(textWidth);
    steps->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* stepsColumn = new QVBoxLayout(steps);
    stepsColumn->setContentsMargins(0, 0, 0, 0);
    stepsColumn->setSpacing(6);
    for (int i = 0; i < 3; ++i) {
        auto* step = new QLabel(steps);
        step->setWordWrap(true);
        step->setFont(pixelFont(font(), 13, QFont::Normal));
        QPalette p = step->palette();
        p.setColor(QPalette::WindowText, LorvPalette::fog());
        step->setPalette(p);
        if (i == 2)
            step->setContentsMargins(0, 4, 0, 0);
        stepsColumn->addWidget(step);
        steps_.append(step);
    }
    // Centred by stretches rather than alignment, so the wrapped texts get their full width
    // and the height that goes with it.
    auto* stepsRow = new QHBoxLayout;
    stepsRow->addStretch(1);
    stepsRow->addWidget(steps, 100);
    stepsRow->addStretch(1);
    outer->addLayout(stepsRow);

    button_ = new QPushButton(this);
    button_->setObjectName(QStringLiteral("openDiskSettingsButton"));
    connect(button_, &QPushButton::clicked, this, [] { openDiskSettings(); });
    outer->addWidget(button_, 0, Qt::AlignHCenter);
    outer->addStretch(1);

    retranslate();
}

void UnmountedDevicePane::setDevice(quint64 usbID, const QString& title) {
    usbID_ = usbID;
    title_->setText(title);
    retranslate();
}

QString UnmountedDevicePane::unmountedDeviceTitle(const std::optional<QString>& storedName,
                                                  int productID, AppLanguage language) {
    if (storedName)
        return *storedName;
    if (const auto model = IPodModel::fromProductID(productID, std::nullopt))
        return model->displayName(language);
    return StartupSeries(StartupSeries::classic).displayName();
}

void UnmountedDevicePane::openDiskSettings() {
    // The file manager lists the iPod's disk in its sidebar; mounting it there is enough.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::homePath()));
}

void UnmountedDevicePane::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void UnmountedDevicePane::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    status_->setText(localizedString(LZ("Disk not mounted"), language));
    steps_[0]->setText(localizedString(
        LZ("1. In your file manager, select this iPod under Devices to mount its disk."),
        language));
    steps_[1]->setText(localizedString(
        LZ("2. If the iPod is not listed, disconnect it and connect it directly to this "
           "computer, without a hub."),
        language));
    steps_[2]->setText(localizedString(
        LZ("Lorvanel opens the library as soon as the disk is mounted."), language));
    button_->setText(localizedString(LZ("Open File Manager"), language));
}
