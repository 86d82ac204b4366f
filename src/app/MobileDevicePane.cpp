#include "app/MobileDevicePane.h"

#include "app/BatteryIndicator.h"
#include "app/ContentView.h"
#include "app/DeviceIcon.h"
#include "app/MobileDeviceInfoCard.h"
#include "appmodel/LorvPalette.h"
#include "browser/ByteCountFormatter.h"
#include "browser/ElidedLabel.h"
#include "browser/Surfaces.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"
#include "device/IPodStore.h"
#include "device/MobileSongLoader.h"

#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

QString MobileDevicePane::subtitle(const MobileDevice& device, AppLanguage language) {
    const QString kind = device.displayName(language);
    if (device.details && device.details->available)
        return localizedString(LZ("%1 · %2 available"), language, kind,
                               ByteCountFormatter::format(*device.details->available, language));
    return kind;
}

std::optional<QString>
MobileDevicePane::trackLine(const std::optional<MainViewState::MobileLibrary>& library,
                            const QString& deviceID, AppLanguage language) {
    if (!library || library->deviceID != deviceID)
        return std::nullopt;
    if (!library->songs)
        return localizedString(LZ("Track count unavailable"), language);
    return localizedString(LZ("Tracks: %1"), language,
                           AppLanguages::formattedCount(library->songs->size(), language));
}

MobileDevicePane::MobileDevicePane(ContentView& view, QWidget* parent)
    : QWidget(parent)
    , view_(view)
    , loader_(new MobileSongLoader(this)) {
    setObjectName(QStringLiteral("mobileDevicePane"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("mobileDeviceHeader"));
    Surfaces::fill(header, LorvPalette::night800());
    auto* headerColumn = new QVBoxLayout(header);
    headerColumn->setContentsMargins(ContentView::contentInset, 16, ContentView::contentInset, 18);
    headerColumn->setSpacing(13);
    auto* top = new QHBoxLayout;
    top->setSpacing(14);
    thumbnail_ = new QLabel(header);
    thumbnail_->setFixedSize(51, 51);
    thumbnail_->setAlignment(Qt::AlignCenter);
    top->addWidget(thumbnail_);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    name_ = new ElidedLabel(Qt::ElideRight, header);
    name_->setFont(TextStyle::sized(20, QFont::DemiBold));
    TextStyle::setTextColor(name_, LorvPalette::mist());
    name_->setObjectName(QStringLiteral("mobileDeviceName"));
    texts->addWidget(name_);
    auto* subtitleRow = new QHBoxLayout;
    subtitleRow->setSpacing(8);
    subtitle_ = TextStyle::label(TextStyle::callout(), LorvPalette::fog(), header);
    battery_ = new BatteryIndicator(header);
    subtitleRow->addWidget(subtitle_);
    subtitleRow->addWidget(battery_);
    subtitleRow->addStretch(1);
    texts->addLayout(subtitleRow);
    top->addLayout(texts, 1);
    openFiles_ = new QPushButton(header);
    openFiles_->setObjectName(QStringLiteral("openFileManagerButton"));
    openFiles_->setAutoDefault(false);
    openFiles_->setIcon(SymbolIcon::icon(QStringLiteral("macwindow"), 14, LorvPalette::mist()));
    connect(openFiles_, &QPushButton::clicked, this, [] {
        // The file manager lists the device in its sidebar, as the card's hint says.
        QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::homePath()));
    });
    top->addWidget(openFiles_);
    headerColumn->addLayout(top);
    trackLine_ = TextStyle::label(TextStyle::caption(), LorvPalette::fog(), header);
    trackLine_->setObjectName(QStringLiteral("mobileTrackLine"));
    headerColumn->addWidget(trackLine_);
    column->addWidget(header);

    column->addWidget(Surfaces::separator(this));

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    card_ = new MobileDeviceInfoCard(scroll);
    card_->setAutoFillBackground(false);
    scroll->setWidget(card_);
    column->addWidget(scroll, 1);

    connect(loader_, &MobileSongLoader::songsLoaded, this, &MobileDevicePane::songsLoaded);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            &MobileDevicePane::applicationStateChanged);
    connect(&view_, &ContentView::stateChanged, this, &MobileDevicePane::refreshTrackLine);
    refresh();
}

void MobileDevicePane::setDevice(const std::optional<MobileDevice>& device) {
    const bool another = (device ? device->id : QString()) != (device_ ? device_->id : QString());
    device_ = device;
    refresh();
    // A device newly on screen is counted at once.
    if (another && device_)
        loader_->load(*device_);
}

void MobileDevicePane::applicationStateChanged(Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive && device_)
        loader_->load(*device_);
}

void MobileDevicePane::songsLoaded(const QString& deviceID,
                                   const std::optional<QList<MobileDevice::Song>>& songs) {
    // Only a count for the device on screen and still selected is kept.
    if (!device_ || device_->id != deviceID ||
        view_.store().selection() != IPodStore::Selection::mobile(deviceID))
        return;
    view_.setMobileLibrary(MainViewState::MobileLibrary{deviceID, songs});
}

void MobileDevicePane::refresh() {
    const AppLanguage language = AppLanguages::stored();
    if (!device_) {
        trackLine_->hide();
        return;
    }
    const MobileDevice& device = *device_;
    thumbnail_->setPixmap(DeviceIcon::symbolPixmap(device.symbolName(), 40));
    name_->setText(device.name);
    name_->setAccessibleName(device.name);
    subtitle_->setText(subtitle(device, language));
    battery_->setVisible(device.details.has_value());
    if (device.details) {
        const auto& details = *device.details;
        battery_->setState(details.batteryPercent
                               ? std::optional<int>(static_cast<int>(*details.batteryPercent))
                               : std::nullopt,
                           details.charging, details.fullyCharged);
    }
    openFiles_->setText(localizedString(LZ("Open File Manager"), language));
    card_->setDevice(device);
    refreshTrackLine();
}

void MobileDevicePane::refreshTrackLine() {
    const std::optional<QString> text =
        device_ ? trackLine(view_.state().mobileLibrary, device_->id, AppLanguages::stored())
                : std::nullopt;
    trackLine_->setVisible(text.has_value());
    trackLine_->setText(text.value_or(QString()));
}

void MobileDevicePane::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    QWidget::changeEvent(event);
}
