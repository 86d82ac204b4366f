#include "app/DeviceHeader.h"

#include "app/ContentView.h"
#include "app/DeviceIcon.h"
#include "app/DeviceSummary.h"
#include "app/PlaybackModeLabel.h"
#include "appmodel/LorvPalette.h"
#include "browser/ElidedLabel.h"
#include "browser/Surfaces.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"
#include "device/IPodStore.h"
#include "platform/Settings.h"
#include "transfer/TransferSettings.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int controlHeight = 29;

} // namespace

// The device's picture in its frame: the artwork fitted into 46 × 46, or the symbol in 34 × 44.
class DeviceHeader::DeviceImage : public QWidget {
public:
    explicit DeviceImage(DeviceHeader& header)
        : QWidget(&header)
        , header_(header) {
        setFixedSize(imageSide, imageSide);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QPointF centre = QRectF(rect()).center();
        if (const auto& artwork = header_.artwork()) {
            artwork->render(painter, QRectF(centre - QPointF(23, 23), QSizeF(46, 46)));
            return;
        }
        const QPixmap symbol =
            DeviceIcon::symbolPixmap(header_.symbolName(), 34, devicePixelRatioF());
        if (!symbol.isNull())
            painter.drawPixmap(QPointF(centre.x() - 17, centre.y() - 17), symbol);
    }

private:
    DeviceHeader& header_;
};

// "Add Songs…" and the menu beside it on one rounded plate: periwinkle while an import may start,
// else night700.
class DeviceHeader::ImportActions : public QWidget {
public:
    explicit ImportActions(QWidget* parent)
        : QWidget(parent) {}

    void setImportable(bool importable) {
        importable_ = importable;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        Surfaces::fillRounded(painter, rect(), 7,
                              importable_ ? LorvPalette::periwinkle() : LorvPalette::night700());
        // The divider between the two halves.
        QColor line = LorvPalette::ink();
        line.setAlphaF(0.28);
        const QWidget* first = findChild<QToolButton*>(QStringLiteral("addSongsButton"));
        if (first)
            painter.fillRect(QRectF(first->geometry().right() + 1, (height() - 16) / 2.0, 1, 16),
                             line);
    }

private:
    bool importable_ = false;
};

DeviceHeader::DeviceHeader(ContentView& view, QWidget* parent)
    : QWidget(parent)
    , view_(view)
    , store_(view.store()) {
    setObjectName(QStringLiteral("deviceHeader"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(ContentView::contentInset, 16, ContentView::contentInset, 18);
    row->setSpacing(14);

    image_ = new DeviceImage(*this);
    row->addWidget(image_);

    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    name_ = new ElidedLabel(Qt::ElideRight, this);
    name_->setObjectName(QStringLiteral("deviceName"));
    name_->setFont(TextStyle::sized(20, QFont::DemiBold));
    TextStyle::setTextColor(name_, LorvPalette::mist());
    information_ = new PlaybackModeLabel(this);
    information_->setFont(TextStyle::callout());
    column->addWidget(name_);
    column->addWidget(information_);
    row->addLayout(column, 1);

    actions_ = new ImportActions(this);
    auto* split = new QHBoxLayout(actions_);
    split->setContentsMargins(0, 0, 0, 0);
    split->setSpacing(1);
    addSongs_ = new QToolButton(actions_);
    addSongs_->setObjectName(QStringLiteral("addSongsButton"));
    addSongs_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    addSongs_->setFixedHeight(controlHeight);
    menuButton_ = new QToolButton(actions_);
    menuButton_->setObjectName(QStringLiteral("importActionsMenuButton"));
    menuButton_->setFixedSize(28, controlHeight);
    for (QToolButton* button : {addSongs_, menuButton_}) {
        button->setFont(TextStyle::callout(QFont::Medium));
        button->setAutoRaise(true);
        button->setCursor(Qt::PointingHandCursor);
    }
    split->addWidget(addSongs_);
    split->addWidget(menuButton_);
    row->addWidget(actions_, 0, Qt::AlignVCenter);

    addSongsAction_ = new QAction(this);
    addSongsAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    addSongs_->setDefaultAction(addSongsAction_);
    addAction(addSongsAction_);

    menu_ = new QMenu(menuButton_);
    addFilesAction_ = menu_->addAction(QString());
    addFolderAction_ = menu_->addAction(QString());
    addFolderAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    // The shortcut works with the menu closed too.
    addAction(addFolderAction_);
    menu_->addSeparator();
    filenameTagsAction_ = menu_->addAction(QString());
    filenameTagsAction_->setCheckable(true);
    menu_->addSeparator();
    ejectAction_ = menu_->addAction(QString());
    addFilesAction_->setIcon(
        SymbolIcon::icon(QStringLiteral("doc.badge.plus"), 14, LorvPalette::mist()));
    addFolderAction_->setIcon(
        SymbolIcon::icon(QStringLiteral("folder.badge.plus"), 14, LorvPalette::mist()));
    ejectAction_->setIcon(SymbolIcon::icon(QStringLiteral("eject.fill"), 14, LorvPalette::mist()));
    // Under the plate, its right edges aligned: the header ends at the window's right side.
    connect(menuButton_, &QToolButton::clicked, this, [this] {
        const QSize size = menu_->sizeHint();
        menu_->popup(actions_->mapToGlobal(
            QPoint(actions_->width() - size.width(), actions_->height() + 2)));
    });

    connect(addSongsAction_, &QAction::triggered, this, [this] { view_.showImportPanel(false); });
    connect(addFilesAction_, &QAction::triggered, this, [this] { view_.showImportPanel(false); });
    connect(addFolderAction_, &QAction::triggered, this, [this] { view_.showImportPanel(true); });
    connect(filenameTagsAction_, &QAction::toggled, this, [](bool on) {
        Settings::shared().setValue(TransferSettings::Key::parseFilenameTags, on);
    });
    connect(ejectAction_, &QAction::triggered, this, [this] {
        if (const std::optional<IPodDevice> device = store_.selectedDevice())
            view_.requestEjectConfirmation(*device);
    });

    for (auto signal : {&IPodStore::devicesChanged, &IPodStore::deviceModelsChanged,
                        &IPodStore::deviceNamesChanged, &IPodStore::selectionChanged,
                        &IPodStore::libraryChanged, &IPodStore::stagedImportTracksChanged,
                        &IPodStore::activeDeviceIDChanged, &IPodStore::batteryChanged})
        connect(&store_, signal, this, &DeviceHeader::refresh);
    connect(&Settings::shared(), &Settings::changed, this, [this](const QString& key) {
        if (key == TransferSettings::Key::parseFilenameTags)
            refreshActions();
    });
    connect(&DeviceIcon::VolumeIconCache::shared(), &DeviceIcon::VolumeIconCache::iconRead, this,
            [this](const IPodDevice::ID& id) {
                if (store_.selectedDiskID() == id)
                    refresh();
            });

    relabel();
    refresh();
}

void DeviceHeader::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), LorvPalette::night800());
}

void DeviceHeader::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        relabel();
        refresh();
    }
    QWidget::changeEvent(event);
}

void DeviceHeader::relabel() {
    const AppLanguage language = AppLanguages::stored();
    addSongsAction_->setText(localizedString(LZ("Add Songs…"), language));
    addFilesAction_->setText(localizedString(LZ("Add Files…"), language));
    addFolderAction_->setText(localizedString(LZ("Add Folder…"), language));
    filenameTagsAction_->setText(
        localizedString(LZ("Infer Artist and Title from Filenames"), language));
    ejectAction_->setText(localizedString(LZ("Eject Device"), language));
    menuButton_->setAccessibleName(localizedString(LZ("Import and Device Actions"), language));
}

void DeviceHeader::refresh() {
    const std::optional<IPodDevice> device = store_.selectedDevice();
    if (!device)
        return;
    const AppLanguage language = AppLanguages::stored();
    const auto found = store_.deviceModels().constFind(device->id);
    const std::optional<IPodModel> model =
        found != store_.deviceModels().cend() ? std::optional<IPodModel>(*found) : std::nullopt;
    artwork_ = DeviceIcon::artwork(*device, model);
    symbol_ = DeviceIcon::symbolName(model);
    image_->update();

    name_->setText(store_.displayName(device->id, language));
    const std::optional<IPodLibrary>& library = store_.library();
    std::optional<qsizetype> trackCount;
    if (library)
        trackCount = library->tracks.size() + store_.stagedTracksForSelection().size();
    std::optional<PlaybackModeLabel::Battery> battery;
    if (const auto& value = store_.battery())
        battery =
            PlaybackModeLabel::Battery{value->percent, value->isCharging, value->isFullyCharged};
    std::optional<DeviceSummary::PlaybackMode> mode;
    if (library && library->savedPlaybackMode)
        mode = *library->savedPlaybackMode == Shuffle2PlaybackMode::shuffle
                   ? DeviceSummary::PlaybackMode::shuffle
                   : DeviceSummary::PlaybackMode::sequential;
    information_->setContent(DeviceSummary::informationLine(model, device->totalBytes,
                                                            device->freeBytes, trackCount,
                                                            language),
                             battery, mode);
    refreshActions();
}

void DeviceHeader::refreshActions() {
    const bool importable = store_.canImport();
    for (QAction* action : {addSongsAction_, addFilesAction_, addFolderAction_})
        action->setEnabled(importable);
    ejectAction_->setEnabled(!store_.activeDeviceID());
    {
        const QSignalBlocker blocker(filenameTagsAction_);
        filenameTagsAction_->setChecked(Settings::parseFilenameTags());
    }
    actions_->setImportable(importable);
    const QColor foreground = importable ? LorvPalette::ink() : LorvPalette::fog();
    const QString style = QStringLiteral("QToolButton { color: %1; background: transparent;"
                                         " border: none; padding: 0 11px; }"
                                         " QToolButton::menu-indicator { image: none; width: 0; }")
                              .arg(foreground.name());
    if (addSongs_->styleSheet() != style) {
        addSongs_->setStyleSheet(style);
        menuButton_->setStyleSheet(style);
        addSongsAction_->setIcon(SymbolIcon::icon(QStringLiteral("plus"), 12, foreground));
        menuButton_->setIcon(SymbolIcon::icon(QStringLiteral("chevron.down"), 10, foreground));
    }
}
