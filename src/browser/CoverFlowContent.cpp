#include "browser/CoverFlowContent.h"

#include "appmodel/LorvPalette.h"
#include "browser/EmptyStatePlaceholder.h"
#include "browser/LibraryContent.h"
#include "browser/LibrarySearch.h"
#include "browser/Surfaces.h"
#include "browser/TextStyle.h"
#include "browser/TrackTableModel.h"
#include "coverflow/CoverFlowView.h"
#include "device/IPodStore.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QScopedValueRollback>
#include <QSet>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

CoverFlowContent::CoverFlowContent(IPodStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store) {
    setObjectName(QStringLiteral("coverFlowContent"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    stack_ = new QStackedWidget(this);
    layout->addWidget(stack_);

    placeholder_ = EmptyStatePlaceholder::inPage(stack_);
    placeholderPage_ = placeholder_->parentWidget();
    stack_->addWidget(placeholderPage_);

    flowPage_ = new QWidget(stack_);
    auto* flowLayout = new QVBoxLayout(flowPage_);
    flowLayout->setContentsMargins(0, 0, 0, 0);
    flowLayout->setSpacing(0);
    groupingRow_ = new QWidget(flowPage_);
    groupingRow_->setObjectName(QStringLiteral("groupingRow"));
    Surfaces::fill(groupingRow_, LorvPalette::inkAlt());
    auto* groupingLayout = new QHBoxLayout(groupingRow_);
    groupingLayout->setContentsMargins(0, 6, 0, 6);
    groupingLayout->setSpacing(0);
    groupingLayout->addStretch(1);
    auto* segments = new QButtonGroup(this);
    segments->setExclusive(true);
    // One segmented control: the chosen segment filled, the others on the row's colour.
    groupingRow_->setStyleSheet(
        QStringLiteral("QToolButton { color: %1; background: transparent; border: 1px solid %2;"
                       " padding: 3px 12px; }"
                       " QToolButton:checked { color: %3; background: %4; }"
                       " QToolButton#segment0 { border-top-left-radius: 6px;"
                       " border-bottom-left-radius: 6px; }"
                       " QToolButton#segment2 { border-top-right-radius: 6px;"
                       " border-bottom-right-radius: 6px; }")
            .arg(LorvPalette::fog().name(), LorvPalette::slate500().name(),
                 LorvPalette::mist().name(), LorvPalette::indigoDeep().name()));
    for (std::size_t i = 0; i < CoverFlowGroup::allGroupings.size(); ++i) {
        auto* button = new QToolButton(groupingRow_);
        button->setObjectName(QStringLiteral("segment%1").arg(i));
        button->setCheckable(true);
        button->setFont(TextStyle::callout());
        segments->addButton(button, int(i));
        groupingLayout->addWidget(button);
        groupingButtons_[i] = button;
        connect(button, &QToolButton::clicked, this,
                [this, i] { Q_EMIT groupingRequested(CoverFlowGroup::allGroupings[i]); });
    }
    groupingLayout->addStretch(1);
    flowLayout->addWidget(groupingRow_);
    flowHost_ = new QWidget(flowPage_);
    flowHost_->setObjectName(QStringLiteral("coverFlowHost"));
    auto* hostLayout = new QVBoxLayout(flowHost_);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    flowLayout->addWidget(flowHost_, 1);
    stack_->addWidget(flowPage_);
    relabel();
}

QAbstractButton* CoverFlowContent::groupingButton(CoverFlowGroup::Grouping grouping) const {
    for (std::size_t i = 0; i < CoverFlowGroup::allGroupings.size(); ++i)
        if (CoverFlowGroup::allGroupings[i] == grouping)
            return groupingButtons_[i];
    return nullptr;
}

CoverFlowView* CoverFlowContent::flowView() const {
    return flow_;
}

TrackTableView* CoverFlowContent::shownTrackTable() const {
    return stack_->currentWidget() == flowPage_ && !flowPage_->isHidden() ? table_ : nullptr;
}

void CoverFlowContent::setMenuProvider(TrackTableView::MenuProvider provider) {
    menuProvider_ = std::move(provider);
    if (table_)
        table_->setMenuProvider(menuProvider_);
}

void CoverFlowContent::setContent(const QList<Track>& tracks, const MainViewState& state) {
    // The window answers a new group table's reset at once; the covers are still being built.
    if (buildingFlow_) {
        state_ = state;
        return;
    }
    const bool regroup = !groupedBy_ || *groupedBy_ != state.coverFlowGrouping || tracks != tracks_;
    state_ = state;
    for (std::size_t i = 0; i < CoverFlowGroup::allGroupings.size(); ++i)
        groupingButtons_[i]->setChecked(CoverFlowGroup::allGroupings[i] == state.coverFlowGrouping);
    if (regroup) {
        tracks_ = tracks;
        groupedBy_ = state.coverFlowGrouping;
        groups_ = CoverFlowGroup::groups(tracks_, state.coverFlowGrouping);
    }
    refreshFlow(regroup);
    applyStateToTable();
}

QString CoverFlowContent::unknownTitle() const {
    return localizedString(CoverFlowGroup::unknownTitle(state_.coverFlowGrouping),
                           AppLanguages::stored());
}

bool CoverFlowContent::canAddGroupPlaylist() const {
    const std::optional<IPodLibrary>& library = store_.library();
    return store_.canEditLibrary() && library && library->model && library->model->hasScreen();
}

void CoverFlowContent::refreshFlow(bool regrouped) {
    if (tracks_.isEmpty()) {
        placeholder_->setContent(
            QStringLiteral("music.note.list"),
            LibrarySearch::emptyLibraryTitle(state_.librarySearch, AppLanguages::stored()));
        stack_->setCurrentWidget(placeholderPage_);
        return;
    }
    stack_->setCurrentWidget(flowPage_);
    // Without a mounted iPod there is nothing to show.
    const std::optional<IPodDevice> device = store_.selectedDevice();
    flowPage_->setVisible(device.has_value());
    if (!device)
        return;
    const bool offers = canAddGroupPlaylist();
    CoverFlowView::AddPlaylistAction add;
    if (offers)
        add = [this](const CoverFlowGroup& group) { addGroupPlaylist(group); };
    const auto key = std::make_pair(state_.coverFlowGrouping, device->id);
    // The covers make their group table while these run.
    const QScopedValueRollback<bool> building(buildingFlow_, true);
    if (!flow_ || flowKey_ != key) {
        delete flow_;
        flowKey_ = key;
        offersPlaylists_ = offers;
        flow_ = new CoverFlowView(
            store_, *device, groups_, unknownTitle(), add,
            [this](const QList<Track>& tracks) { return makeGroupTable(tracks); },
            [this](QWidget* table, const QList<Track>& tracks) {
                refillGroupTable(qobject_cast<TrackTableView*>(table), tracks);
            },
            flowHost_);
        flowHost_->layout()->addWidget(flow_);
        return;
    }
    if (regrouped)
        flow_->setGroups(groups_);
    if (offers != offersPlaylists_) {
        offersPlaylists_ = offers;
        flow_->setAddPlaylist(add);
    }
}

TrackTableView* CoverFlowContent::makeGroupTable(const QList<Track>& tracks) {
    QList<TrackRow> rows = LibraryContent::playlistRows(tracks);
    std::vector<TrackRow::ID> ids;
    ids.reserve(std::size_t(rows.size()));
    for (const TrackRow& row : rows)
        ids.push_back(row.id());
    const bool reset = ids != rowIDs_;
    if (reset)
        state_.resetScopedTableState();
    rowIDs_ = std::move(ids);

    auto* table = new TrackTableView(TrackTableView::Kind::scoped);
    table->setMenuProvider(menuProvider_);
    connect(table, &TrackTableView::selectionChangeRequested, this,
            [this](const QSet<TrackRow::ID>& selection) {
                state_.scopedTrackSelection = selection;
                Q_EMIT scopedTrackSelectionChanged(selection);
            });
    connect(table, &TrackTableView::sortOrderChangeRequested, this,
            [this](const TrackSortOrder& order) {
                state_.scopedSortOrder = order;
                Q_EMIT scopedSortOrderChanged(order);
            });
    connect(table, &TrackTableView::previewRequested, this,
            [this](quint64 trackID) { store_.playPreview(trackID); });
    connect(table, &TrackTableView::deleteRequested, this, &CoverFlowContent::deleteRequested);
    TrackTableModel* model = table->trackModel();
    model->batch([&] {
        model->setRows(std::move(rows));
        model->setSupportsRatings(store_.library() && store_.library()->supportsRatings);
    });
    table_ = table;
    applyStateToTable();
    if (reset) {
        const QScopedValueRollback<bool> building(buildingFlow_, true);
        Q_EMIT scopedTableReset();
    }
    return table;
}

void CoverFlowContent::refillGroupTable(TrackTableView* table, const QList<Track>& tracks) {
    if (!table)
        return;
    // The same rows: the scoped selection and sort order stay as they are.
    TrackTableModel* model = table->trackModel();
    model->batch([&] {
        model->setRows(LibraryContent::playlistRows(tracks));
        model->setSupportsRatings(store_.library() && store_.library()->supportsRatings);
    });
    applyStateToTable();
}

void CoverFlowContent::applyStateToTable() {
    if (!table_)
        return;
    TrackTableModel* model = table_->trackModel();
    model->batch([&] {
        model->setPlayingTrackID(store_.isPreviewPlaying() ? store_.previewTrackID()
                                                           : std::nullopt);
        model->setSortOrder(state_.scopedSortOrder);
    });
    table_->setSelectedRows(state_.scopedTrackSelection);
}

QList<Track> CoverFlowContent::groupPlaylistTracks(const CoverFlowGroup& group) {
    QList<Track> tracks;
    QSet<quint64> seen;
    for (const Track& track : group.tracks) {
        if (!track.playbackPosition || seen.contains(track.id))
            continue;
        seen.insert(track.id);
        tracks.append(track);
    }
    return tracks;
}

QString CoverFlowContent::groupPlaylistName(const CoverFlowGroup& group,
                                            const QString& unknownTitle) {
    return group.id.title.isEmpty() ? unknownTitle : group.id.title;
}

void CoverFlowContent::addGroupPlaylist(const CoverFlowGroup& group) {
    const QList<Track> tracks = groupPlaylistTracks(group);
    if (!canAddGroupPlaylist() || tracks.isEmpty())
        return;
    Q_EMIT groupPlaylistRequested(tracks, groupPlaylistName(group, unknownTitle()));
}

void CoverFlowContent::relabel() {
    const AppLanguage language = AppLanguages::stored();
    for (std::size_t i = 0; i < CoverFlowGroup::allGroupings.size(); ++i)
        groupingButtons_[i]->setText(
            localizedString(CoverFlowGroup::title(CoverFlowGroup::allGroupings[i]), language));
    groupingRow_->setAccessibleName(localizedString(LZ("Group By"), language));
    if (flow_)
        flow_->setUnknownTitle(unknownTitle());
    if (stack_->currentWidget() == placeholderPage_)
        placeholder_->setContent(placeholder_->symbol(),
                                 LibrarySearch::emptyLibraryTitle(state_.librarySearch, language));
}

void CoverFlowContent::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        relabel();
    QWidget::changeEvent(event);
}
