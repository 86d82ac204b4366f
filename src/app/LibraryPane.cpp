#include "app/LibraryPane.h"

#include "app/BatteryIndicator.h"
#include "app/ContentView.h"
#include "appmodel/LorvPalette.h"
#include "browser/ActivitySpinner.h"
#include "browser/AudioDropDelegate.h"
#include "browser/ImportDropArea.h"
#include "browser/LibraryContent.h"
#include "browser/LibraryErrorView.h"
#include "browser/PlaylistBrowser.h"
#include "browser/PreviewBar.h"
#include "browser/SelectionStatus.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"
#include "browser/TrackTableView.h"
#include "device/IPodStore.h"

#include <QCollator>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QWidget* separator(QWidget* parent) {
    auto* line = new QWidget(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette p = line->palette();
    p.setColor(QPalette::Window, LorvPalette::slate500());
    line->setPalette(p);
    return line;
}

void fill(QWidget* widget, const QColor& color) {
    widget->setAutoFillBackground(true);
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, color);
    widget->setPalette(p);
}

} // namespace

LibraryPane::LibraryPane(ContentView& view, QWidget* parent)
    : QWidget(parent)
    , view_(view)
    , store_(view.store()) {
    setObjectName(QStringLiteral("libraryPane"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The header slot, with the device's name and battery until a header is set.
    headerSlot_ = new QWidget(this);
    headerSlot_->setObjectName(QStringLiteral("libraryHeaderSlot"));
    auto* headerLayout = new QVBoxLayout(headerSlot_);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    header_ = new QWidget(headerSlot_);
    auto* headerRow = new QHBoxLayout(header_);
    headerRow->setContentsMargins(ContentView::contentInset, 12, ContentView::contentInset, 12);
    headerRow->setSpacing(12);
    deviceTitle_ = new QLabel(header_);
    deviceTitle_->setFont(TextStyle::sized(20, QFont::DemiBold));
    TextStyle::setTextColor(deviceTitle_, LorvPalette::mist());
    battery_ = new BatteryIndicator(header_);
    battery_->hide();
    headerRow->addWidget(deviceTitle_);
    headerRow->addWidget(battery_);
    headerRow->addStretch(1);
    headerLayout->addWidget(header_);
    column->addWidget(headerSlot_);
    column->addWidget(separator(this));

    // The library content; its whole rectangle takes dropped files while all tracks show.
    contentArea_ = new QWidget(this);
    contentArea_->setObjectName(QStringLiteral("libraryContentArea"));
    contentArea_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* contentLayout = new QVBoxLayout(contentArea_);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentStack_ = new QStackedWidget(contentArea_);
    loading_ = new ActivitySpinner(contentStack_);
    error_ = new LibraryErrorView(store_, contentStack_);
    content_ = new LibraryContent(store_, contentStack_);
    contentStack_->addWidget(loading_);
    contentStack_->addWidget(error_);
    contentStack_->addWidget(content_);
    contentLayout->addWidget(contentStack_);
    column->addWidget(contentArea_, 1);

    // Below the library: the preview bar and the drop area.
    auto* lower = new QWidget(this);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(ContentView::contentInset, 12, ContentView::contentInset, 12);
    lowerLayout->setSpacing(12);
    previewHost_ = new QWidget(lower);
    previewHost_->setObjectName(QStringLiteral("previewBarHost"));
    auto* previewLayout = new QHBoxLayout(previewHost_);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    previewLayout->setSpacing(12);
    previewHost_->hide();
    dropArea_ = new ImportDropArea(lower);
    lowerLayout->addWidget(previewHost_);
    lowerLayout->addWidget(dropArea_);
    column->addWidget(lower);
    column->addWidget(separator(this));

    auto* statusBar = new QWidget(this);
    statusBar->setObjectName(QStringLiteral("libraryStatusBar"));
    fill(statusBar, LorvPalette::inkAlt());
    statusBar->setFixedHeight(ContentView::bottomBarHeight);
    auto* statusRow = new QHBoxLayout(statusBar);
    statusRow->setContentsMargins(ContentView::contentInset, 0, ContentView::contentInset, 0);
    statusRow->setSpacing(10);
    status_ = new QLabel(statusBar);
    status_->setFont(TextStyle::caption2());
    TextStyle::setTextColor(status_, LorvPalette::fog());
    statusRow->addWidget(status_, 1);
    column->addWidget(statusBar);

    libraryDrop_ = new AudioDropDelegate(store_, contentArea_,
                                         [this](bool over) { view_.setIsOverTable(over); });
    zoneDrop_ = new AudioDropDelegate(store_, dropArea_,
                                      [this](bool over) { view_.setIsOverDropZone(over); });
    connect(dropArea_, &ImportDropArea::clicked, this, [this] { view_.showImportPanel(false); });

    connect(content_, &LibraryContent::trackSelectionChanged, &view_,
            &ContentView::setTrackSelection);
    connect(content_, &LibraryContent::scopedTrackSelectionChanged, &view_,
            &ContentView::setScopedTrackSelection);
    connect(content_, &LibraryContent::sortOrderChanged, &view_, &ContentView::setSortOrder);
    connect(content_, &LibraryContent::scopedSortOrderChanged, &view_,
            &ContentView::setScopedSortOrder);
    connect(content_, &LibraryContent::scopedTableReset, &view_,
            &ContentView::resetScopedTableState);
    connect(content_, &LibraryContent::deleteRequested, this, &LibraryPane::deleteRequested);
    for (TrackTableView* table : {content_->trackTable(), content_->scopedTrackTable()})
        table->setMenuProvider(
            [this](QMenu& menu, const QSet<quint64>& ids) { fillTrackMenu(menu, ids); });

    auto* browser = new PlaylistBrowser(store_);
    connect(browser, &PlaylistBrowser::openPlaylistRequested, &view_, &ContentView::openPlaylist);
    connect(browser, &PlaylistBrowser::newPlaylistRequested, &view_,
            &ContentView::newPlaylistOnIPod);
    content_->setPlaylistBrowser(browser);
    setPreviewBar(new PreviewBar(store_, {[this] { return view_.state().previewSeekPosition; },
                                          [this](std::optional<double> seconds) {
                                              view_.setPreviewSeekPosition(seconds);
                                          }}));

    connect(&view_, &ContentView::stateChanged, this, &LibraryPane::refreshState);
    connect(&store_, &IPodStore::libraryChanged, this, &LibraryPane::libraryChanged);
    connect(&store_, &IPodStore::loadErrorChanged, this, &LibraryPane::refreshContent);
    connect(&store_, &IPodStore::activeDeviceIDChanged, this, [this] {
        refreshDropArea();
        refreshStatus();
    });
    connect(&store_, &IPodStore::stagedImportTracksChanged, this, &LibraryPane::refreshStatus);
    connect(&store_, &IPodStore::previewTrackIDChanged, this, [this] {
        refreshStatus();
        refreshPreviewBar();
    });

    content_->setState(view_.state());
    libraryChanged();
}

// MARK: slots

void LibraryPane::setHeader(QWidget* header) {
    if (header == header_)
        return;
    headerSlot_->layout()->replaceWidget(header_, header);
    header_->deleteLater();
    header_ = header;
    // The default header's name and battery go with it.
    deviceTitle_ = nullptr;
    battery_ = nullptr;
}

void LibraryPane::setPreviewBar(QWidget* bar) {
    if (previewBar_)
        previewBar_->deleteLater();
    previewBar_ = bar;
    if (bar)
        previewHost_->layout()->addWidget(bar);
    refreshPreviewBar();
}

void LibraryPane::setDeviceTitle(const QString& title) {
    if (deviceTitle_)
        deviceTitle_->setText(title);
}

// MARK: refresh

LibraryPane::ContentState LibraryPane::contentState() const {
    if (contentStack_->currentWidget() == content_)
        return ContentState::library;
    return contentStack_->currentWidget() == error_ ? ContentState::error : ContentState::loading;
}

void LibraryPane::libraryChanged() {
    refreshContent();
    // A playlist scope whose playlist went away goes back to all tracks.
    if (const auto& library = store_.library()) {
        QList<quint64> ids;
        for (const IPodPlaylist& playlist : library->playlists)
            ids.append(playlist.id);
        if (ids != playlistIDs_) {
            playlistIDs_ = ids;
            view_.validatePlaylistScope(ids);
        }
    }
    refreshStatus();
    refreshPreviewBar();
}

void LibraryPane::refreshContent() {
    const AppLanguage language = AppLanguages::stored();
    if (store_.library()) {
        contentStack_->setCurrentWidget(content_);
    } else if (store_.loadError()) {
        error_->setError(store_.loadError());
        contentStack_->setCurrentWidget(error_);
    } else {
        loading_->setText(localizedString(LZ("Reading library…"), language));
        contentStack_->setCurrentWidget(loading_);
    }
    refreshDropArea();
}

void LibraryPane::refreshState() {
    const MainViewState& state = view_.state();
    content_->setState(state);
    libraryDrop_->setAccepting(state.libraryScope.kind == LibraryScope::Kind::allTracks);
    refreshDropArea();
    refreshStatus();
}

void LibraryPane::refreshDropArea() {
    const MainViewState& state = view_.state();
    const std::optional<IPodLibrary>& library = store_.library();
    dropArea_->setContent(ImportDropArea::content(library, store_.canImport(), state.isOverDropZone,
                                                  state.isOverTable, AppLanguages::stored()));
    // A read-only library's area is no button at all, so it is not shown disabled either.
    const bool clickable = ImportDropArea::isClickable(library);
    dropArea_->setClickable(clickable);
    dropArea_->setEnabled(!clickable || store_.canImport());
}

void LibraryPane::refreshStatus() {
    const std::optional<QString> text =
        SelectionStatus::text(view_.state().selectedTrackIDs(), store_.displayedTracks(),
                              store_.previewTrackID(), store_.library(), AppLanguages::stored());
    status_->setText(text.value_or(QString()));
}

void LibraryPane::refreshPreviewBar() {
    // The first track of the library with the preview's id is the one shown.
    const Track* found = nullptr;
    if (const auto& library = store_.library(); library && store_.previewTrackID()) {
        const auto it =
            std::find_if(library->tracks.cbegin(), library->tracks.cend(),
                         [id = *store_.previewTrackID()](const Track& t) { return t.id == id; });
        if (it != library->tracks.cend())
            found = &*it;
    }
    if (auto* bar = qobject_cast<PreviewBar*>(previewBar_); bar && found)
        bar->setTrack(*found);
    previewHost_->setVisible(found && previewBar_);
}

void LibraryPane::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        refreshContent();
        refreshStatus();
    }
    QWidget::changeEvent(event);
}

// MARK: track actions

void LibraryPane::deleteRequested(const QSet<quint64>& trackIDs) {
    const std::optional<IPodDevice> device = store_.selectedDevice();
    if (!store_.canEditLibrary() || trackIDs.isEmpty() || !device)
        return;
    view_.requestDeleteConfirmation(trackIDs, *device);
}

void LibraryPane::fillTrackMenu(QMenu& menu, const QSet<quint64>& trackIDs) {
    const std::optional<IPodLibrary>& library = store_.library();
    if (trackIDs.isEmpty() || !library)
        return;
    const AppLanguage language = AppLanguages::stored();
    const quint64 first = *std::min_element(trackIDs.cbegin(), trackIDs.cend());
    // A staged placeholder is not in the library, so it cannot be edited.
    std::optional<Track> edited;
    if (trackIDs.size() == 1) {
        for (const Track& track : library->tracks) {
            if (track.id == first) {
                edited = track;
                break;
            }
        }
    }

    const QString editTitle = localizedString(LZ("Edit Track Info"), language);
    QAction* edit = menu.addAction(
        SymbolIcon::icon(QStringLiteral("pencil"), 14, LorvPalette::fog()), editTitle);
    edit->setToolTip(editTitle);
    edit->setEnabled(store_.canEditLibrary() && edited.has_value());
    connect(edit, &QAction::triggered, this, [this, edited] {
        const std::optional<IPodDevice::ID> disk = store_.selectedDiskID();
        if (!store_.canEditLibrary() || !edited || !disk)
            return;
        QStringList genres(TrackMetadata::defaultGenres().cbegin(),
                           TrackMetadata::defaultGenres().cend());
        if (!edited->genre.isEmpty() && !genres.contains(edited->genre))
            genres.append(edited->genre);
        QCollator collator(AppLanguages::locale(AppLanguages::stored()));
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(true);
        std::sort(genres.begin(), genres.end(), collator);
        TrackEditRequest request;
        request.id = edited->id;
        request.deviceID = *disk;
        request.metadata = {edited->title, edited->artist, edited->album, edited->albumArtist,
                            edited->genre};
        request.genres = genres;
        view_.requestTrackEdit(request);
    });

    if (library->supportsPlaybackStart) {
        QAction* start =
            menu.addAction(SymbolIcon::icon(QStringLiteral("flag.fill"), 14, LorvPalette::fog()),
                           localizedString(LZ("Set iPod Start Track"), language));
        start->setToolTip(localizedString(LZ("Sets this track as the start in both playback modes "
                                             "and adjusts the order on the iPod."),
                                          language));
        start->setEnabled(store_.canEditLibrary() && trackIDs.size() == 1);
        connect(start, &QAction::triggered, this,
                [this, first] { store_.setPlaybackStart(first); });
    }

    QAction* remove =
        menu.addAction(SymbolIcon::icon(QStringLiteral("trash"), 14, LorvPalette::fog()),
                       localizedString(LZ("Delete From iPod"), language));
    remove->setToolTip(localizedString(LZ("Delete the selected tracks from iPod"), language));
    remove->setEnabled(store_.canEditLibrary());
    connect(remove, &QAction::triggered, this, [this, trackIDs] { deleteRequested(trackIDs); });
    menu.setToolTipsVisible(true);
}
