#include "browser/NewPlaylistView.h"

#include "appmodel/LorvPalette.h"
#include "browser/LibrarySearch.h"
#include "browser/NewPlaylistTrackModel.h"
#include "browser/TextStyle.h"
#include "device/IPodStore.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

NewPlaylistView::NewPlaylistView(IPodStore& store, const NewPlaylistRequest& request,
                                 QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , request_(request) {
    setObjectName(QStringLiteral("newPlaylistView"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    heading_ = new QLabel(this);
    heading_->setFont(TextStyle::body(QFont::Bold));
    column->addWidget(heading_);
    name_ = new QLineEdit(request.name, this);
    name_->setObjectName(QStringLiteral("playlistNameField"));
    column->addWidget(name_);

    model_ = new NewPlaylistTrackModel(this);
    if (request.selectAll) {
        QSet<quint64> all;
        for (const Track& track : request.tracks)
            all.insert(track.id);
        model_->setSelected(all);
    }
    if (!request.tracks.isEmpty()) {
        auto* searchRow = new QHBoxLayout;
        searchRow->setSpacing(12);
        search_ = new QLineEdit(this);
        search_->setObjectName(QStringLiteral("playlistSearchField"));
        search_->setClearButtonEnabled(true);
        selectAll_ = new QPushButton(this);
        selectAll_->setObjectName(QStringLiteral("selectAllButton"));
        selectAll_->setFlat(true);
        selectAll_->setAutoDefault(false);
        selectAll_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        searchRow->addWidget(search_, 1);
        searchRow->addWidget(selectAll_);
        column->addLayout(searchRow);

        table_ = new QTableView(this);
        table_->setObjectName(QStringLiteral("playlistTrackTable"));
        table_->setModel(model_);
        table_->setSelectionMode(QAbstractItemView::NoSelection);
        table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table_->setFocusPolicy(Qt::NoFocus);
        table_->setShowGrid(false);
        table_->setWordWrap(false);
        table_->verticalHeader()->hide();
        table_->verticalHeader()->setDefaultSectionSize(22);
        table_->horizontalHeader()->setStretchLastSection(true);
        table_->horizontalHeader()->setHighlightSections(false);
        table_->setColumnWidth(NewPlaylistTrackModel::titleColumn, 240);
        table_->setFixedHeight(200);
        QPalette tablePalette = table_->palette();
        tablePalette.setColor(QPalette::Base, LorvPalette::night900());
        tablePalette.setColor(QPalette::AlternateBase, LorvPalette::night900());
        // The style outlines check boxes with a shade of the window colour: a light one keeps
        // the empty boxes visible on the dark rows.
        tablePalette.setColor(QPalette::Window, LorvPalette::steel400());
        table_->setPalette(tablePalette);
        column->addWidget(table_);

        // Over the table while the search shows nothing.
        empty_ = TextStyle::label(TextStyle::body(), LorvPalette::fog(), table_->viewport());
        empty_->setAlignment(Qt::AlignCenter);
        empty_->setAttribute(Qt::WA_TransparentForMouseEvents);
        table_->viewport()->installEventFilter(this);

        connect(search_, &QLineEdit::textChanged, this, &NewPlaylistView::refreshRows);
        connect(selectAll_, &QPushButton::clicked, this, &NewPlaylistView::toggleSelectAll);
        connect(model_, &NewPlaylistTrackModel::selectionEdited, this,
                &NewPlaylistView::refreshSelectAll);
    }

    connect(name_, &QLineEdit::textChanged, this, &NewPlaylistView::refreshCanSave);
    // The store decides the rest; any change of it may close or open the way.
    for (auto signal : {&IPodStore::selectionChanged, &IPodStore::activeDeviceIDChanged,
                        &IPodStore::libraryChanged, &IPodStore::devicesChanged})
        connect(&store_, signal, this, &NewPlaylistView::refreshCanSave);

    retranslate();
    refreshRows();
    lastCanSave_ = canSave();
}

QString NewPlaylistView::trimmedName() const {
    return name_->text().trimmed();
}

QList<Track> NewPlaylistView::visibleTracks() const {
    const QString query =
        LibrarySearch::fold(LibrarySearch::query(search_ ? search_->text() : QString()));
    if (query.isEmpty())
        return request_.tracks;
    QList<Track> out;
    for (const Track& track : request_.tracks)
        if (LibrarySearch::matches(track, query))
            out.append(track);
    return out;
}

bool NewPlaylistView::allVisibleSelected() const {
    for (const Track& track : model_->tracks())
        if (!model_->isTrackSelected(track.id))
            return false;
    return true;
}

QList<quint64> NewPlaylistView::selectedTrackIDs() const {
    QList<quint64> ids;
    for (const Track& track : request_.tracks)
        if (model_->isTrackSelected(track.id))
            ids.append(track.id);
    return ids;
}

bool NewPlaylistView::canSave() const {
    if (trimmedName().isEmpty() || !store_.canCreatePlaylist())
        return false;
    const std::optional<IPodDevice::ID> selected = store_.selectedDiskID();
    return selected && *selected == request_.deviceID;
}

void NewPlaylistView::toggleSelectAll() {
    QSet<quint64> selected = model_->selected();
    const bool untick = allVisibleSelected();
    for (const Track& track : model_->tracks()) {
        if (untick)
            selected.remove(track.id);
        else
            selected.insert(track.id);
    }
    model_->setSelected(selected);
}

void NewPlaylistView::save() {
    if (!canSave())
        return;
    store_.createPlaylist(trimmedName(), selectedTrackIDs(), request_.deviceID);
}

void NewPlaylistView::refreshRows() {
    model_->setTracks(visibleTracks());
    refreshSelectAll();
}

void NewPlaylistView::refreshSelectAll() {
    if (!selectAll_)
        return;
    const AppLanguage language = AppLanguages::stored();
    const bool empty = model_->tracks().isEmpty();
    selectAll_->setText(allVisibleSelected() && !empty
                            ? localizedString(LZ("Deselect All"), language)
                            : localizedString(LZ("Select All"), language));
    selectAll_->setEnabled(!empty);
    empty_->setVisible(empty);
}

void NewPlaylistView::refreshCanSave() {
    const bool now = canSave();
    if (now == lastCanSave_)
        return;
    lastCanSave_ = now;
    Q_EMIT canSaveChanged(now);
}

void NewPlaylistView::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    heading_->setText(localizedString(LZ("Add Playlist"), language));
    name_->setPlaceholderText(localizedString(LZ("Playlist Name"), language));
    name_->setAccessibleName(name_->placeholderText());
    if (search_) {
        search_->setPlaceholderText(localizedString(LZ("Search by Title or Artist"), language));
        search_->setAccessibleName(search_->placeholderText());
        empty_->setText(localizedString(LZ("No matching tracks"), language));
        model_->retranslate();
        refreshSelectAll();
    }
}

bool NewPlaylistView::eventFilter(QObject* watched, QEvent* event) {
    if (table_ && watched == table_->viewport() && event->type() == QEvent::Resize)
        empty_->resize(table_->viewport()->size());
    return QWidget::eventFilter(watched, event);
}

void NewPlaylistView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}
