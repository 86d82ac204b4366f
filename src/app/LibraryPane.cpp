#include "app/LibraryPane.h"

#include "app/ContentView.h"
#include "app/DeviceHeader.h"
#include "appmodel/LorvPalette.h"
#include "browser/ActivitySpinner.h"
#include "browser/AudioDropDelegate.h"
#include "browser/ElidedLabel.h"
#include "browser/ImportDropArea.h"
#include "browser/LibraryContent.h"
#include "browser/LibraryErrorView.h"
#include "browser/LibraryPaneHeader.h"
#include "browser/PlaylistBrowser.h"
#include "browser/PreviewBar.h"
#include "browser/SelectionStatus.h"
#include "browser/Surfaces.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"
#include "browser/TrackActionBar.h"
#include "browser/TrackTableView.h"
#include "device/IPodStore.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

LibraryPane::LibraryPane(ContentView& view, QWidget* parent)
    : QWidget(parent)
    , view_(view)
    , store_(view.store()) {
    setObjectName(QStringLiteral("libraryPane"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    header_ = new DeviceHeader(view_, this);
    column->addWidget(header_);
    column->addWidget(Surfaces::separator(this));

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
    column->addWidget(Surfaces::separator(this));

    auto* statusBar = new QWidget(this);
    statusBar->setObjectName(QStringLiteral("libraryStatusBar"));
    Surfaces::fill(statusBar, LorvPalette::inkAlt());
    statusBar->setFixedHeight(ContentView::bottomBarHeight);
    auto* statusRow = new QHBoxLayout(statusBar);
    statusRow->setContentsMargins(ContentView::contentInset, 0, ContentView::contentInset, 0);
    statusRow->setSpacing(10);
    // A long title shortens in its middle so that the format and size stay in view.
    status_ = new ElidedLabel(Qt::ElideMiddle, statusBar);
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
    connect(content_, &LibraryContent::coverFlowGroupingRequested, &view_,
            &ContentView::setCoverFlowGrouping);
    connect(content_, &LibraryContent::groupPlaylistRequested, &view_,
            &ContentView::requestGroupPlaylist);
    content_->setMenuProvider(
        [this](QMenu& menu, const QList<quint64>& ids) { fillTrackMenu(menu, ids); });

    LibraryPaneHeader* header = content_->header();
    connect(header, &LibraryPaneHeader::viewModeRequested, &view_, &ContentView::setViewMode);
    connect(header, &LibraryPaneHeader::scopeRequested, &view_, &ContentView::selectLibraryScope);
    connect(header, &LibraryPaneHeader::newPlaylistRequested, &view_,
            &ContentView::newPlaylistOnIPod);
    connect(header, &LibraryPaneHeader::searchEdited, &view_, &ContentView::setLibrarySearch);
    connect(header->actionBar(), &TrackActionBar::deleteRequested, this,
            &LibraryPane::deleteRequested);

    auto* browser = new PlaylistBrowser(store_);
    connect(browser, &PlaylistBrowser::openPlaylistRequested, &view_, &ContentView::openPlaylist);
    connect(browser, &PlaylistBrowser::newPlaylistRequested, &view_,
            &ContentView::newPlaylistOnIPod);
    content_->setPlaylistBrowser(browser);
    previewBar_ = new PreviewBar(
        store_, {[this] { return view_.state().previewSeekPosition; },
                 [this](std::optional<double> seconds) { view_.setPreviewSeekPosition(seconds); }});
    previewHost_->layout()->addWidget(previewBar_);

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
        // While the library is read again the keyboard waits on the spinner; the library gives
        // it back to the widget that had it or, when that one is gone (cover flow's group table
        // made anew for other rows), to the table on screen.
        QWidget* focus = QApplication::focusWidget();
        const bool focusWaiting = contentStack_->currentWidget() == loading_ && focus &&
                                  (focus == loading_ || loading_->isAncestorOf(focus)) &&
                                  !content_->focusWidget();
        contentStack_->setCurrentWidget(content_);
        if (TrackTableView* table = content_->shownTable(); focusWaiting && table)
            table->setFocus(Qt::OtherFocusReason);
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
    if (found)
        previewBar_->setTrack(*found);
    previewHost_->setVisible(found != nullptr);
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
    if (!TrackActionBar::canDelete(store_, QList<quint64>(trackIDs.cbegin(), trackIDs.cend())) ||
        !device)
        return;
    view_.requestDeleteConfirmation(trackIDs, *device);
}

void LibraryPane::fillTrackMenu(QMenu& menu, const QList<quint64>& trackIDs) {
    if (trackIDs.isEmpty() || !store_.library())
        return;
    const AppLanguage language = AppLanguages::stored();
    const QSet<quint64> ids(trackIDs.cbegin(), trackIDs.cend());
    auto add = [&](const QString& symbol, const QString& title) {
        return menu.addAction(SymbolIcon::icon(symbol, 14, LorvPalette::fog()), title);
    };

    const QString editTitle = localizedString(LZ("Edit Track Info"), language);
    QAction* edit = add(QStringLiteral("pencil"), editTitle);
    edit->setToolTip(editTitle);
    edit->setEnabled(store_.canEditLibrary() &&
                     TrackActionBar::editedTrack(store_, trackIDs).has_value());
    connect(edit, &QAction::triggered, this, [this, trackIDs] {
        if (const auto request =
                TrackActionBar::editRequest(store_, trackIDs, AppLanguages::stored()))
            view_.requestTrackEdit(*request);
    });

    if (store_.library()->supportsPlaybackStart) {
        QAction* start =
            add(QStringLiteral("flag.fill"), localizedString(LZ("Set iPod Start Track"), language));
        start->setToolTip(localizedString(LZ("Sets this track as the start in both playback modes "
                                             "and adjusts the order on the iPod."),
                                          language));
        start->setEnabled(TrackActionBar::canSetStartTrack(store_, trackIDs));
        connect(start, &QAction::triggered, this,
                [this, first = trackIDs.first()] { store_.setPlaybackStart(first); });
    }

    const QString exportTitle = localizedString(LZ("Export Songs…"), language);
    QAction* exportSongs = add(QStringLiteral("arrow.down.to.line"), exportTitle);
    exportSongs->setToolTip(exportTitle);
    exportSongs->setEnabled(TrackActionBar::canExport(store_, trackIDs));
    connect(exportSongs, &QAction::triggered, this,
            [this, ids] { content_->header()->actionBar()->exportTracks(ids); });

    QAction* remove =
        add(QStringLiteral("trash"), localizedString(LZ("Delete From iPod"), language));
    remove->setToolTip(localizedString(LZ("Delete the selected tracks from iPod"), language));
    remove->setEnabled(TrackActionBar::canDelete(store_, trackIDs));
    connect(remove, &QAction::triggered, this, [this, ids] { deleteRequested(ids); });
    menu.setToolTipsVisible(true);
}
