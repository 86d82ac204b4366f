#include "browser/PlaylistBrowser.h"

#include "appmodel/LorvPalette.h"
#include "browser/AdaptiveGridLayout.h"
#include "browser/EmptyStatePlaceholder.h"
#include "browser/FilledButton.h"
#include "browser/FormattedDuration.h"
#include "browser/PlaylistTile.h"
#include "browser/TextStyle.h"
#include "device/IPodStore.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

constexpr int contentInset = 22;

} // namespace

QHash<quint64, double> PlaylistBrowser::playlistDurations(const QList<Track>& tracks) {
    QHash<quint64, double> durations;
    durations.reserve(tracks.size());
    for (const Track& track : tracks)
        if (!durations.contains(track.id))
            durations.insert(track.id, track.duration);
    return durations;
}

PlaylistBrowser::TileSummary PlaylistBrowser::tileSummary(const IPodPlaylist& playlist,
                                                          const QHash<quint64, double>& durations) {
    TileSummary summary;
    summary.trackCount = playlist.trackIDs.size();
    for (const quint64 id : playlist.trackIDs)
        summary.totalDuration += durations.value(id, 0.0);
    return summary;
}

QString PlaylistBrowser::summaryText(const TileSummary& summary, AppLanguage language) {
    return localizedCount(LZ("%n tracks · %1"), language, summary.trackCount,
                          formattedDuration(summary.totalDuration));
}

bool PlaylistBrowser::showsMoveButtons(const IPodLibrary& library) {
    return !library.writeBlocker && library.playlists.size() >= 2;
}

PlaylistBrowser::PlaylistBrowser(IPodStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store) {
    setObjectName(QStringLiteral("playlistBrowser"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(contentInset, 18, contentInset, 14);
    headerRow->setSpacing(12);
    title_ = TextStyle::label(TextStyle::body(QFont::Bold), LorvPalette::mist(), header);
    readOnly_ = TextStyle::label(TextStyle::caption(), LorvPalette::fog(), header);
    newPlaylist_ = new FilledButton(QStringLiteral("plus"), header);
    newPlaylist_->setObjectName(QStringLiteral("newPlaylistButton"));
    connect(newPlaylist_, &FilledButton::clicked, this, &PlaylistBrowser::newPlaylistRequested);
    headerRow->addWidget(title_);
    headerRow->addStretch(1);
    headerRow->addWidget(readOnly_);
    headerRow->addWidget(newPlaylist_);
    column->addWidget(header);

    stack_ = new QStackedWidget(this);
    placeholder_ = EmptyStatePlaceholder::inPage(stack_);
    placeholderPage_ = placeholder_->parentWidget();
    stack_->addWidget(placeholderPage_);

    scroll_ = new QScrollArea(stack_);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->viewport()->setAutoFillBackground(false);
    gridHost_ = new QWidget(scroll_);
    gridHost_->setObjectName(QStringLiteral("playlistGrid"));
    gridHost_->setAutoFillBackground(false);
    grid_ = new AdaptiveGridLayout(minimumTileWidth, tileSpacing, gridHost_);
    grid_->setContentsMargins(contentInset, 0, contentInset, 4);
    scroll_->setWidget(gridHost_);
    stack_->addWidget(scroll_);
    column->addWidget(stack_, 1);

    connect(&store_, &IPodStore::libraryChanged, this, &PlaylistBrowser::rebuild);
    connect(&store_, &IPodStore::activeDeviceIDChanged, this, &PlaylistBrowser::refreshEnablement);
    connect(&store_, &IPodStore::selectionChanged, this, &PlaylistBrowser::refreshEnablement);
    rebuild();
}

bool PlaylistBrowser::showsPlaceholder() const {
    return stack_->currentWidget() == placeholderPage_;
}

void PlaylistBrowser::rebuild() {
    const std::optional<IPodLibrary>& library = store_.library();
    const QList<IPodPlaylist> playlists = library ? library->playlists : QList<IPodPlaylist>();

    // Tiles are few; they are made afresh with each library.
    while (QLayoutItem* item = grid_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    tiles_.clear();
    summaries_.clear();

    const QHash<quint64, double> durations =
        library ? playlistDurations(library->tracks) : QHash<quint64, double>();
    const bool moves = library && showsMoveButtons(*library);
    for (qsizetype index = 0; index < playlists.size(); ++index) {
        const IPodPlaylist& playlist = playlists[index];
        auto* tile = new PlaylistTile(gridHost_);
        PlaylistTile::Content content;
        content.playlistID = playlist.id;
        content.name = playlist.name;
        content.showsMoveButtons = moves;
        tile->setContent(content);
        connect(tile, &PlaylistTile::clicked, this,
                [this, id = playlist.id] { Q_EMIT openPlaylistRequested(id); });
        connect(tile, &PlaylistTile::moveRequested, this,
                [this, id = playlist.id](bool up) { store_.movePlaylist(id, up); });
        grid_->addWidget(tile);
        tiles_.append(tile);
        summaries_.append(tileSummary(playlist, durations));
    }
    stack_->setCurrentWidget(playlists.isEmpty() ? placeholderPage_ : scroll_);
    retranslate();
    refreshEnablement();
}

void PlaylistBrowser::refreshEnablement() {
    const std::optional<IPodLibrary>& library = store_.library();
    readOnly_->setVisible(library && library->writeBlocker &&
                          !library->supportsNano5PlaylistCreation);
    newPlaylist_->setEnabled(store_.canCreatePlaylist());
    const bool canEdit = store_.canMovePlaylists();
    const qsizetype last = tiles_.size() - 1;
    for (qsizetype index = 0; index <= last; ++index) {
        PlaylistTile::Content content = tiles_[index]->content();
        content.canMoveUp = canEdit && index > 0;
        content.canMoveDown = canEdit && index < last;
        tiles_[index]->setContent(content);
    }
}

void PlaylistBrowser::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    title_->setText(localizedString(LZ("Device Playlists"), language));
    readOnly_->setText(localizedString(LZ("This device is read-only"), language));
    newPlaylist_->setText(localizedString(LZ("New Playlist"), language));
    newPlaylist_->updateGeometry();
    placeholder_->setContent(QStringLiteral("music.note.list"),
                             localizedString(LZ("No playlists on this iPod"), language));
    for (qsizetype index = 0; index < tiles_.size(); ++index) {
        PlaylistTile::Content content = tiles_[index]->content();
        content.summary = summaryText(summaries_[index], language);
        tiles_[index]->setContent(content);
    }
}

void PlaylistBrowser::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}
