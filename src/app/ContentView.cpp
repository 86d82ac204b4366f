#include "app/ContentView.h"

#include "app/AlertPresenter.h"
#include "app/BatteryIndicator.h"
#include "app/DetailPane.h"
#include "app/DeviceHeader.h"
#include "app/DeviceShareContent.h"
#include "app/DeviceSidebar.h"
#include "app/DeviceSummary.h"
#include "app/LibraryPane.h"
#include "app/MobileDevicePane.h"
#include "app/NewPlaylistSheet.h"
#include "app/PlaybackModeLabel.h"
#include "app/SettingsButton.h"
#include "app/SettingsPopup.h"
#include "app/SheetDialog.h"
#include "app/SheetSlot.h"
#include "app/SoftwareVersionText.h"
#include "app/TrackEditSheet.h"
#include "app/UnmountedDevicePane.h"
#include "appmodel/LorvPalette.h"
#include "appmodel/ReduceMotion.h"
#include "browser/FilePanel.h"
#include "browser/ImportProgressPanel.h"
#include "browser/Surfaces.h"
#include "platform/AppLanguage.h"
#include "showcase/DeviceShareButton.h"
#include "showcase/ShowcaseToolbar.h"
#include "showcase/StartupDeviceFlow.h"
#include "transfer/IPodTransfer.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QRegularExpression>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The black layer over the sidebar while busy; it takes the clicks the sidebar must not get.
class Dimmer : public QWidget {
public:
    explicit Dimmer(QWidget* parent)
        : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(0, 0, 0, qRound(255 * ContentView::busyDimOpacity)));
    }
};

} // namespace

ContentView::ContentView(IPodStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store) {
    setObjectName(QStringLiteral("contentView"));
    Surfaces::fill(this, LorvPalette::night800());

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("mainSplitter"));
    splitter->setChildrenCollapsible(false);
    splitter->setHandleWidth(1);
    layout->addWidget(splitter);

    sidebarColumn_ = new QWidget(splitter);
    sidebarColumn_->setObjectName(QStringLiteral("sidebarColumn"));
    Surfaces::fill(sidebarColumn_, LorvPalette::inkAlt());
    sidebarColumn_->setMinimumWidth(DeviceSidebar::minimumWidth);
    sidebarColumn_->setMaximumWidth(DeviceSidebar::maximumWidth);
    auto* sidebarLayout = new QVBoxLayout(sidebarColumn_);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    sidebar_ = new DeviceSidebar(sidebarColumn_);
    sidebarLayout->addWidget(sidebar_);
    dimmer_ = new Dimmer(sidebarColumn_);
    dimmer_->hide();

    detailColumn_ = new QWidget(splitter);
    detailColumn_->setObjectName(QStringLiteral("detailColumn"));
    Surfaces::fill(detailColumn_, LorvPalette::night900());
    auto* detailLayout = new QVBoxLayout(detailColumn_);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);
    toolbar_ = new QWidget(detailColumn_);
    toolbar_->setObjectName(QStringLiteral("detailToolbar"));
    Surfaces::fill(toolbar_, LorvPalette::night800());
    toolbar_->setFixedHeight(toolbarHeight);
    auto* toolbarRow = new QHBoxLayout(toolbar_);
    toolbarRow->setContentsMargins(0, 0, 10, 0);
    toolbarRow->setSpacing(0);
    deviceToolbar_ = new QWidget(toolbar_);
    deviceToolbar_->setObjectName(QStringLiteral("deviceToolbar"));
    auto* deviceRow = new QHBoxLayout(deviceToolbar_);
    deviceRow->setContentsMargins(14, 0, 0, 0);
    toolbarTitle_ = new SoftwareVersionText(deviceToolbar_);
    deviceRow->addWidget(toolbarTitle_);
    deviceRow->addStretch(1);
    deviceShare_ = new DeviceShareButton(deviceToolbar_);
    deviceRow->addWidget(deviceShare_);
    settingsButton_ = makeSettingsButton(deviceToolbar_);
    deviceRow->addWidget(settingsButton_);
    toolbarRow->addWidget(deviceToolbar_, 1);
    detailLayout->addWidget(toolbar_);
    detail_ = new DetailPane(detailColumn_);
    detailLayout->addWidget(detail_, 1);
    // The showcase brings its own toolbar items, with a settings button of their own.
    StartupDeviceFlow* showcase = detail_->showcasePane();
    showcase->toolbar()->setParent(toolbar_);
    showcase->toolbar()->setSettingsButton(makeSettingsButton(showcase->toolbar()));
    toolbarRow->addWidget(showcase->toolbar(), 1);
    showcase->setSeries(state_.startupSeries);
    connect(showcase, &StartupDeviceFlow::seriesChanged, this, [this](StartupSeries series) {
        if (series == state_.startupSeries)
            return;
        state_.startupSeries = series;
        refreshSidebar();
        Q_EMIT stateChanged();
    });
    libraryPane_ = new LibraryPane(*this);
    detail_->setLibraryPane(libraryPane_);
    mobilePane_ = new MobileDevicePane(*this);
    detail_->setMobilePane(mobilePane_);

    splitter->addWidget(sidebarColumn_);
    splitter->addWidget(detailColumn_);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({DeviceSidebar::idealWidth, 1160 - DeviceSidebar::idealWidth});
    connect(splitter, &QSplitter::splitterMoved, this, &ContentView::layoutOverlays);

    // A child of this view, not of the disabled columns, so that its controls stay enabled.
    overlay_ = new ImportProgressPanel(this);
    overlay_->setObjectName(QStringLiteral("busyOverlay"));
    overlay_->hide();

    alerts_ = new AlertPresenter(this);
    newPlaylistSlot_ = new SheetSlot(this);
    trackEditSlot_ = new SheetSlot(this);
    newPlaylistSheet = [this](const NewPlaylistRequest& request, QWidget* parent) -> SheetDialog* {
        return new NewPlaylistSheet(store_, request, parent);
    };
    trackEditSheet = [this](const TrackEditRequest& request, QWidget* parent) -> SheetDialog* {
        return new TrackEditSheet(
            request,
            [this, request](const TrackMetadata& metadata) {
                store_.saveTrackMetadata(request.id, metadata, request.deviceID);
            },
            parent);
    };

    connect(sidebar_, &DeviceSidebar::seriesClicked, this, &ContentView::selectSeries);
    connect(sidebar_, &DeviceSidebar::deviceClicked, this, [this](int index) {
        const QList<DeviceSidebarRow>& rows = sidebar_->content().rows;
        if (index < 0 || index >= rows.size())
            return;
        const DeviceSidebarRow& row = rows[index];
        switch (row.kind) {
        case DeviceSidebarRow::Kind::mounted:
            selectDevice(IPodStore::Selection::disk(row.diskID));
            break;
        case DeviceSidebarRow::Kind::unmounted:
            selectDevice(IPodStore::Selection::unmounted(row.usbID));
            break;
        case DeviceSidebarRow::Kind::mobile:
            selectDevice(IPodStore::Selection::mobile(row.mobileID));
            break;
        }
    });
    connect(sidebar_, &DeviceSidebar::ejectClicked, this, [this](int index) {
        const QList<DeviceSidebarRow>& rows = sidebar_->content().rows;
        if (index < 0 || index >= rows.size())
            return;
        for (const IPodDevice& device : store_.devices())
            if (device.id == rows[index].diskID)
                requestEjectConfirmation(device);
    });

    connect(alerts_, &AlertPresenter::confirmationClosed, this, [this] {
        state_.pendingConfirmation.reset();
        Q_EMIT stateChanged();
    });
    connect(alerts_, &AlertPresenter::alertDismissed, this,
            [this] { store_.setAlert(std::nullopt); });
    connect(newPlaylistSlot_, &SheetSlot::dismissed, this, [this] {
        state_.newPlaylistRequest.reset();
        Q_EMIT stateChanged();
    });
    connect(trackEditSlot_, &SheetSlot::dismissed, this, [this] {
        state_.trackEditRequest.reset();
        Q_EMIT stateChanged();
    });

    auto everything = [this] {
        refreshSidebar();
        refreshDetail(false);
    };
    connect(&store_, &IPodStore::devicesChanged, this, [this, everything] {
        refreshDeviceNameTasks();
        everything();
    });
    connect(&store_, &IPodStore::unmountedIPodsChanged, this, everything);
    connect(&store_, &IPodStore::mobileDevicesChanged, this, everything);
    connect(&store_, &IPodStore::deviceModelsChanged, this, everything);
    connect(&store_, &IPodStore::deviceNamesChanged, this, everything);
    connect(&store_, &IPodStore::selectionChanged, this, &ContentView::selectionChanged);
    connect(&store_, &IPodStore::batteryChanged, this, [this] { refreshDetail(false); });
    connect(&store_, &IPodStore::softwareVersionChanged, this, [this] { refreshDetail(false); });
    connect(&store_, &IPodStore::activeDeviceIDChanged, this, &ContentView::refreshBusy);
    // Progress reaches the card alone; nothing else is rebuilt for it.
    connect(&store_, &IPodStore::progressChanged, this, &ContentView::refreshProgress);
    connect(&store_, &IPodStore::alertChanged, this, [this] { alerts_->setAlert(store_.alert()); });
    connect(&store_, &IPodStore::previewTrackIDChanged, this,
            [this] { setPreviewSeekPosition(std::nullopt); });

    lastSelection_ = store_.selection();
    everything();
    refreshBusy();
    alerts_->setAlert(store_.alert());
}

ContentView::~ContentView() {
    // The loops end with the view that started them.
    deviceTasks_.cancel();
    nameTasks_.clear();
    windowTasks_.clear();
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!started_)
        start();
}

void ContentView::start() {
    started_ = true;
    store_.refreshDevices();
    windowTasks_.push_back(store_.mobileDeviceWatchLoop());
    windowTasks_.push_back(store_.usbWatchLoop());
    // Mounts, relabels and unmounts of volumes.
    windowTasks_.push_back(store_.watchVolumes());
}

void ContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutOverlays();
}

void ContentView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        refreshSidebar();
        refreshDetail(false);
        refreshBusy();
    }
    QWidget::changeEvent(event);
}

SettingsButton* ContentView::makeSettingsButton(QWidget* parent) {
    auto* button = new SettingsButton(parent);
    connect(button, &QToolButton::clicked, this, [this, button] { toggleSettings(button); });
    return button;
}

SettingsPopup* ContentView::settingsPopup() const {
    return settingsPopup_;
}

void ContentView::toggleSettings(QWidget* anchor) {
    if (settingsPopup_) {
        settingsPopup_->close();
        return;
    }
    auto* popup = new SettingsPopup(anchor);
    connect(popup, &SettingsPopup::closed, this, [this] {
        if (!state_.showsSettings)
            return;
        state_.showsSettings = false;
        Q_EMIT stateChanged();
    });
    settingsPopup_ = popup;
    state_.showsSettings = true;
    popup->popup();
    Q_EMIT stateChanged();
}

void ContentView::layoutOverlays() {
    dimmer_->setGeometry(sidebarColumn_->rect());
    // The progress card dims the whole detail column around it.
    overlay_->setGeometry(QRect(detailColumn_->mapTo(this, QPoint(0, 0)), detailColumn_->size()));
}

QLabel* ContentView::busyTitle() const {
    return overlay_->titleLabel();
}

BatteryIndicator* ContentView::batteryIndicator() const {
    return libraryPane_->deviceHeader()->informationLabel()->batteryIndicator();
}

// MARK: state writes

void ContentView::setTrackSelection(const QSet<TrackRow::ID>& selection) {
    if (selection == state_.trackSelection)
        return;
    state_.trackSelection = selection;
    if (MainViewState::shouldStopPreview(selection, store_.previewTrackID()))
        store_.stopPreview();
    Q_EMIT stateChanged();
}

void ContentView::setScopedTrackSelection(const QSet<TrackRow::ID>& selection) {
    state_.scopedTrackSelection = selection;
    Q_EMIT stateChanged();
}

void ContentView::setLibrarySearch(const QString& text) {
    if (text == state_.librarySearch)
        return;
    state_.librarySearch = text;
    const bool hadSelection = !state_.trackSelection.isEmpty();
    state_.librarySearchChanged();
    // Clearing the all-tracks selection is a change of it like any other.
    if (hadSelection && MainViewState::shouldStopPreview({}, store_.previewTrackID()))
        store_.stopPreview();
    Q_EMIT stateChanged();
}

void ContentView::setLibraryScope(const LibraryScope& scope) {
    state_.libraryScope = scope;
    Q_EMIT stateChanged();
}

void ContentView::setShowsCoverFlow(bool shows) {
    state_.showsCoverFlow = shows;
    Q_EMIT stateChanged();
}

void ContentView::setCoverFlowGrouping(CoverFlowGroup::Grouping grouping) {
    state_.coverFlowGrouping = grouping;
    Q_EMIT stateChanged();
}

void ContentView::setSortOrder(const TrackSortOrder& order) {
    state_.sortOrder = order;
    Q_EMIT stateChanged();
}

void ContentView::setScopedSortOrder(const TrackSortOrder& order) {
    state_.scopedSortOrder = order;
    Q_EMIT stateChanged();
}

void ContentView::setPreviewSeekPosition(std::optional<double> seconds) {
    if (seconds == state_.previewSeekPosition)
        return;
    state_.previewSeekPosition = seconds;
    Q_EMIT stateChanged();
}

void ContentView::setMobileLibrary(const std::optional<MainViewState::MobileLibrary>& library) {
    state_.mobileLibrary = library;
    Q_EMIT stateChanged();
}

void ContentView::showAllTracks() {
    state_.showAllTracks();
    Q_EMIT stateChanged();
}

void ContentView::setViewMode(bool coverFlow) {
    state_.setViewMode(coverFlow);
    Q_EMIT stateChanged();
}

void ContentView::selectLibraryScope(const LibraryScope& scope) {
    if (scope == state_.libraryScope)
        return;
    state_.selectLibraryScope(scope);
    Q_EMIT stateChanged();
}

void ContentView::resetScopedTableState() {
    if (state_.scopedTrackSelection.isEmpty() && state_.scopedSortOrder.empty())
        return;
    state_.resetScopedTableState();
    Q_EMIT stateChanged();
}

void ContentView::validatePlaylistScope(const QList<quint64>& playlistIDs) {
    const LibraryScope before = state_.libraryScope;
    state_.validatePlaylistScope(playlistIDs);
    if (!(state_.libraryScope == before))
        Q_EMIT stateChanged();
}

void ContentView::setIsOverTable(bool over) {
    if (over == state_.isOverTable)
        return;
    state_.isOverTable = over;
    Q_EMIT stateChanged();
}

void ContentView::setIsOverDropZone(bool over) {
    if (over == state_.isOverDropZone)
        return;
    state_.isOverDropZone = over;
    Q_EMIT stateChanged();
}

// MARK: import panel

QFileDialog* ContentView::importPanel() const {
    return importPanel_;
}

void ContentView::showImportPanel(bool chooseFolders) {
    const std::optional<IPodDevice::ID> deviceID = store_.selectedDiskID();
    if (!store_.canImport() || !deviceID)
        return;
    delete importPanel_;
    const AppLanguage language = AppLanguages::stored();
    QFileDialog* panel = FilePanel::make(localizedString(LZ("Import"), language));
    if (chooseFolders) {
        panel->setFileMode(QFileDialog::Directory);
        panel->setOption(QFileDialog::ShowDirsOnly);
        // The folder mode picks one folder unless its views take several.
        for (QAbstractItemView* list : panel->findChildren<QAbstractItemView*>(
                 QRegularExpression(QStringLiteral("^(listView|treeView)$"))))
            list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    } else {
        panel->setFileMode(QFileDialog::ExistingFiles);
        const bool nano5 = store_.library() && store_.library()->supportsNano5Import;
        QStringList patterns;
        for (const QString& extension :
             nano5 ? QStringList{QStringLiteral("mp3")} : IPodTransfer::supportedExtensions)
            patterns.append(QStringLiteral("*.") + extension);
        panel->setNameFilter(
            localizedString(LZ("Audio (%1)"), language, patterns.join(QLatin1Char(' '))));
    }
    // The device is the one selected when the panel opened; the store refuses another.
    connect(panel, &QFileDialog::filesSelected, this,
            [this, id = *deviceID](const QStringList& files) { store_.startImport(files, id); });
    importPanel_ = panel;
    panel->open();
}

// MARK: selection

void ContentView::selectSeries(StartupSeries series) {
    state_.startupSeries = series;
    detail_->showcasePane()->setSeries(series);
    store_.setSelection(std::nullopt);
    refreshSidebar();
    refreshDetail(true);
    Q_EMIT stateChanged();
}

void ContentView::selectDevice(const IPodStore::Selection& selection) {
    store_.setSelection(selection);
}

void ContentView::selectionChanged() {
    const std::optional<IPodStore::Selection> selection = store_.selection();
    const bool changed = selection != lastSelection_;
    const bool showcaseChanged = selection.has_value() != lastSelection_.has_value();
    lastSelection_ = selection;
    if (changed) {
        state_.resetForSelectionChange();
        trackEditSlot_->dismiss();
        Q_EMIT stateChanged();
    }
    refreshSidebar();
    refreshDetail(showcaseChanged);
}

// MARK: dialogs

void ContentView::requestEjectConfirmation(const IPodDevice& device) {
    if (isBusy())
        return;
    state_.pendingConfirmation = DeviceConfirmation::eject(device);
    presentConfirmation();
}

void ContentView::requestDeleteConfirmation(const QSet<quint64>& ids, const IPodDevice& device) {
    if (isBusy() || ids.isEmpty())
        return;
    state_.pendingConfirmation = DeviceConfirmation::remove(ids, device);
    presentConfirmation();
}

void ContentView::presentConfirmation() {
    const DeviceConfirmation confirmation = *state_.pendingConfirmation;
    ConfirmationRequest request;
    const IPodDevice device = confirmation.device();
    request.deviceName = [this, id = device.id](AppLanguage language) {
        return store_.displayName(id, language);
    };
    if (const auto* remove = std::get_if<DeviceConfirmation::Delete>(&confirmation.value)) {
        request.kind = ConfirmationRequest::Kind::deleteTracks;
        request.trackCount = remove->ids.size();
        if (const auto& library = store_.library(); library && remove->ids.size() == 1) {
            const auto track =
                std::find_if(library->tracks.cbegin(), library->tracks.cend(),
                             [id = *remove->ids.cbegin()](const Track& t) { return t.id == id; });
            if (track != library->tracks.cend())
                request.trackTitle = track->title;
        }
        request.confirm = [this, ids = remove->ids, device] { deleteConfirmedTracks(ids, device); };
    } else {
        request.kind = ConfirmationRequest::Kind::eject;
        request.confirm = [this, device] { store_.eject(device); };
    }
    alerts_->presentConfirmation(std::move(request));
    Q_EMIT stateChanged();
}

void ContentView::deleteConfirmedTracks(const QSet<quint64>& ids, const IPodDevice& device) {
    Q_EMIT deleteTracksRequested(ids, device.id);
    store_.deleteTracks(ids, device.id);
    if (store_.selectedDiskID() == device.id) {
        state_.removeFromSelections(ids);
        Q_EMIT stateChanged();
    }
}

void ContentView::requestNewPlaylist(const NewPlaylistRequest& request) {
    state_.newPlaylistRequest = request;
    if (newPlaylistSheet)
        if (SheetDialog* sheet = newPlaylistSheet(request, window()))
            newPlaylistSlot_->present(sheet);
    Q_EMIT stateChanged();
}

void ContentView::newPlaylistOnIPod() {
    const std::optional<IPodDevice::ID> disk = store_.selectedDiskID();
    if (!store_.canCreatePlaylist() || !disk || !store_.library())
        return;
    NewPlaylistRequest request;
    request.deviceID = *disk;
    for (const Track& track : store_.library()->tracks)
        if (track.playbackPosition)
            request.tracks.append(track);
    requestNewPlaylist(request);
}

void ContentView::requestGroupPlaylist(const QList<Track>& tracks, const QString& name) {
    const std::optional<IPodDevice::ID> disk = store_.selectedDiskID();
    if (tracks.isEmpty() || !disk)
        return;
    NewPlaylistRequest request;
    request.deviceID = *disk;
    request.tracks = tracks;
    request.name = name;
    request.selectAll = true;
    requestNewPlaylist(request);
}

void ContentView::openPlaylist(quint64 playlistID) {
    selectLibraryScope(LibraryScope::playlist(playlistID));
}

void ContentView::requestTrackEdit(const TrackEditRequest& request) {
    state_.trackEditRequest = request;
    if (trackEditSheet)
        if (SheetDialog* sheet = trackEditSheet(request, window()))
            trackEditSlot_->present(sheet);
    Q_EMIT stateChanged();
}

// MARK: refresh

void ContentView::refreshSidebar() {
    const AppLanguage language = AppLanguages::stored();
    const std::optional<IPodStore::Selection>& selection = store_.selection();
    DeviceSidebarContent content;
    content.isBusy = isBusy();
    for (const IPodDevice& device : store_.devices()) {
        DeviceSidebarRow row;
        row.kind = DeviceSidebarRow::Kind::mounted;
        row.diskID = device.id;
        row.title = store_.displayName(device.id, language);
        const auto model = store_.deviceModels().constFind(device.id);
        row.dotColor = model != store_.deviceModels().cend()
                           ? seriesForFamily(model->family).accentColor()
                           : LorvPalette::steel400();
        row.isSelected = selection == IPodStore::Selection::disk(device.id);
        row.totalBytes = device.totalBytes;
        row.freeBytes = device.freeBytes;
        row.hasEjectButton = true;
        content.rows.append(row);
    }
    // The map is ordered by registry ID, ascending.
    for (const auto& [usbID, productID] : store_.unmountedIPods()) {
        DeviceSidebarRow row;
        row.kind = DeviceSidebarRow::Kind::unmounted;
        row.usbID = usbID;
        const auto name = store_.deviceNames().constFind(IPodStore::Selection::unmounted(usbID));
        row.title = UnmountedDevicePane::unmountedDeviceTitle(
            name != store_.deviceNames().cend() ? std::optional<QString>(*name) : std::nullopt,
            productID, language);
        const auto model = IPodModel::fromProductID(productID, std::nullopt);
        row.dotColor = model ? seriesForFamily(model->family).accentColor()
                             : StartupSeries(StartupSeries::classic).accentColor();
        row.isSelected = selection == IPodStore::Selection::unmounted(usbID);
        row.subtitleKey = LZ("Disk not mounted");
        content.rows.append(row);
    }
    for (const MobileDevice& device : store_.mobileDevices()) {
        DeviceSidebarRow row;
        row.kind = DeviceSidebarRow::Kind::mobile;
        row.mobileID = device.id;
        row.title = device.displayName(language);
        row.dotColor = LorvPalette::sky();
        row.isSelected = selection == IPodStore::Selection::mobile(device.id);
        if (device.details && device.details->capacity) {
            row.totalBytes = *device.details->capacity;
            row.freeBytes = device.details->available;
        }
        content.rows.append(row);
    }

    SeriesHighlightInput input;
    if (!selection) {
        input.selection = SeriesHighlightInput::Selection::none;
    } else if (selection->isUnmounted() && store_.unmountedIPods().count(selection->usbID)) {
        input.selection = SeriesHighlightInput::Selection::unmounted;
        input.unmountedProductID = store_.unmountedIPods().at(selection->usbID);
    } else if (const auto disk = store_.selectedDiskID()) {
        input.selection = SeriesHighlightInput::Selection::disk;
        const auto model = store_.deviceModels().constFind(*disk);
        if (model != store_.deviceModels().cend())
            input.diskModel = *model;
    } else {
        input.selection = SeriesHighlightInput::Selection::other;
    }
    content.highlightedSeries = highlightedSeries(input, state_.startupSeries);
    sidebar_->setContent(content);
}

void ContentView::refreshDetail(bool animate) {
    const AppLanguage language = AppLanguages::stored();
    const std::optional<IPodDevice> device = store_.selectedDevice();
    const std::optional<MobileDevice> mobile = store_.selectedMobileDevice();
    const std::optional<IPodStore::Selection>& selection = store_.selection();
    const bool unmounted =
        selection && selection->isUnmounted() && store_.unmountedIPods().count(selection->usbID);
    const DetailScreen screen = detailScreen({device.has_value(), mobile.has_value(), unmounted});

    const bool deviceScreen = screen == DetailScreen::library || screen == DetailScreen::mobile;
    // The iPod touch page has no title item; its header names the device.
    toolbarTitle_->setVisible(screen == DetailScreen::library);
    deviceShare_->setVisible(deviceScreen);
    // The button closes its popup when it goes off screen; when it stays for another device,
    // the popup of the one before is closed here.
    const std::optional<IPodStore::Selection> shared =
        deviceScreen ? selection : std::optional<IPodStore::Selection>();
    if (shared != sharedDevice_ && deviceShare_->preview())
        deviceShare_->preview()->close();
    sharedDevice_ = shared;
    deviceToolbar_->setVisible(screen != DetailScreen::showcase);
    detail_->showcasePane()->toolbar()->setVisible(screen == DetailScreen::showcase);
    switch (screen) {
    case DetailScreen::library: {
        const auto model = store_.deviceModels().constFind(device->id);
        const std::optional<IPodModel> known =
            model != store_.deviceModels().cend() ? std::optional<IPodModel>(*model) : std::nullopt;
        toolbarTitle_->setTitle(
            DeviceSummary::summaryLine(store_.displayName(device->id, language), known, language));
        toolbarTitle_->setSoftwareVersion(store_.softwareVersion());
        deviceShare_->setContent(DeviceShareContent::forIPod(*device, known, language));
        break;
    }
    case DetailScreen::mobile:
        deviceShare_->setContent(DeviceShareContent::forMobileDevice(*mobile, language));
        break;
    case DetailScreen::unmounted: {
        const int productID = store_.unmountedIPods().at(selection->usbID);
        const auto name =
            store_.deviceNames().constFind(IPodStore::Selection::unmounted(selection->usbID));
        detail_->unmountedPane()->setDevice(
            selection->usbID,
            UnmountedDevicePane::unmountedDeviceTitle(
                name != store_.deviceNames().cend() ? std::optional<QString>(*name) : std::nullopt,
                productID, language));
        break;
    }
    case DetailScreen::showcase:
        detail_->showcasePane()->setSeries(state_.startupSeries);
        break;
    }
    mobilePane_->setDevice(screen == DetailScreen::mobile ? mobile : std::nullopt);
    detail_->showScreen(screen, animate && !ReduceMotion::isOn());

    // The battery loop and the firmware read follow the mounted device on screen.
    std::optional<IPodDevice::ID> key;
    if (device)
        key = device->id;
    deviceTasks_.setKey(key, [this, device](const IPodDevice::ID&) {
        std::vector<IPodStore::ViewTask> tasks;
        tasks.push_back(store_.deviceInfoLoop(*device));
        tasks.push_back(store_.loadSoftwareVersion(*device));
        return tasks;
    });
}

void ContentView::refreshDeviceNameTasks() {
    QSet<IPodDevice::ID> listed;
    for (const IPodDevice& device : store_.devices()) {
        listed.insert(device.id);
        if (!nameTasks_.count(device.id))
            nameTasks_.emplace(device.id, store_.loadDeviceNameAndModel(device));
    }
    for (auto it = nameTasks_.begin(); it != nameTasks_.end();) {
        if (!listed.contains(it->first))
            it = nameTasks_.erase(it);
        else
            ++it;
    }
}

void ContentView::refreshBusy() {
    const bool busy = isBusy();
    const bool wasBusy = detailColumn_->testAttribute(Qt::WA_ForceDisabled);
    // Disabling the columns takes the keyboard focus out of them (from a table whose edit sheet
    // just saved, say); it goes back when the work is done.
    if (busy && !wasBusy) {
        QWidget* focus = window()->focusWidget();
        focusBeforeBusy_ =
            focus && (sidebarColumn_->isAncestorOf(focus) || detailColumn_->isAncestorOf(focus))
                ? focus
                : nullptr;
    }
    sidebarColumn_->setEnabled(!busy);
    detailColumn_->setEnabled(!busy);
    if (!busy && wasBusy && focusBeforeBusy_ && focusBeforeBusy_->isVisible() &&
        focusBeforeBusy_->isEnabled())
        focusBeforeBusy_->setFocus(Qt::OtherFocusReason);
    dimmer_->setVisible(busy);
    overlay_->setVisible(busy);
    refreshProgress();
    if (busy) {
        layoutOverlays();
        dimmer_->raise();
        overlay_->raise();
    }
    refreshSidebar();
}

void ContentView::refreshProgress() {
    const AppLanguage language = AppLanguages::stored();
    const auto& progress = store_.progress();
    overlay_->setTitle(progress && !progress->stage.isEmpty()
                           ? localizedString(progress->stage, language)
                           : localizedString(LZ("Working with iPod…"), language));
    overlay_->setProgress(progress);
    overlay_->setNote(quitsWhenDone_ ? localizedString(LZ("Lorvanel will quit when it has "
                                                          "finished with the iPod."),
                                                       language)
                                     : QString());
}

void ContentView::setQuitsWhenDone(bool quits) {
    quitsWhenDone_ = quits;
    refreshProgress();
}
