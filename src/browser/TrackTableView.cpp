#include "browser/TrackTableView.h"

#include "appmodel/LorvPalette.h"
#include "appmodel/ReduceMotion.h"
#include "browser/EmptyStatePlaceholder.h"
#include "browser/LibrarySearch.h"
#include "browser/NowPlayingIndicator.h"
#include "browser/TextStyle.h"
#include "browser/TrackCellDelegate.h"
#include "browser/TrackTableModel.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTimer>

#include <algorithm>
#include <utility>

TrackTableView::TrackTableView(Kind kind, QWidget* parent)
    : QTableView(parent)
    , kind_(kind) {
    setObjectName(kind == Kind::allTracks ? QStringLiteral("trackTable")
                                          : QStringLiteral("scopedTrackTable"));
    model_ = new TrackTableModel(this);
    delegate_ = new TrackCellDelegate(this);

    // Ahead of the selection model, which would otherwise carry every selected row through a
    // sort one persistent index at a time; the selection is put back from the set afterwards.
    connect(model_, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] {
        if (!selectionModel())
            return;
        rememberCurrentRow();
        applyingSelection_ = true;
        selectionModel()->clear();
        applyingSelection_ = false;
    });
    setModel(model_);
    setItemDelegate(delegate_);

    setFont(TextStyle::body());
    setFrameShape(QFrame::NoFrame);
    setShowGrid(false);
    setAlternatingRowColors(false);
    setWordWrap(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Base, LorvPalette::night900());
    p.setColor(QPalette::Window, LorvPalette::night900());
    p.setColor(QPalette::Text, LorvPalette::mist());
    setPalette(p);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(TrackCellDelegate::rowHeight);
    verticalHeader()->setMinimumSectionSize(TrackCellDelegate::rowHeight);

    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    header->setMinimumSectionSize(TrackTableModel::columnInfo(TrackColumn::number).minimumWidth);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setFont(TextStyle::callout());
    header->setStyleSheet(
        QStringLiteral("QHeaderView::section { background: %1; color: %2; border: none;"
                       " border-right: 1px solid %3; border-bottom: 1px solid %3;"
                       " padding: 0 6px; min-height: 24px; }")
            .arg(LorvPalette::night800().name(), LorvPalette::fog().name(),
                 LorvPalette::slate600().name()));
    connect(header, &QHeaderView::sectionClicked, this, &TrackTableView::headerClicked);
    // Each column keeps its own smallest width.
    connect(header, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        const int minimum = TrackTableModel::columnInfo(model_->columnAt(section)).minimumWidth;
        if (size < minimum && section < model_->columnCount())
            horizontalHeader()->resizeSection(section, minimum);
    });

    auto* remove = new QAction(this);
    remove->setShortcuts({QKeySequence(QKeySequence::Delete), QKeySequence(Qt::Key_Backspace)});
    remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(remove, &QAction::triggered, this, [this] {
        QSet<quint64> ids;
        for (const TrackRow::ID& row : model_->selection())
            ids.insert(row.trackID);
        if (!ids.isEmpty())
            Q_EMIT deleteRequested(ids);
    });
    addAction(remove);

    connect(this, &QAbstractItemView::doubleClicked, this, &TrackTableView::rowActivated);

    empty_ = new EmptyStatePlaceholder(this);
    empty_->hide();

    nowPlayingTimer_ = new QTimer(this);
    nowPlayingTimer_->setInterval(NowPlayingIndicator::frameMilliseconds);
    connect(nowPlayingTimer_, &QTimer::timeout, this, &TrackTableView::nowPlayingTick);

    // A reset (new values in the rows, a new search) forgets the keyboard's row; the row with
    // the same id takes it back.
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
            &TrackTableView::rememberCurrentRow);
    auto structureChanged = [this] {
        applySelectionToView();
        restoreCurrentRow();
        refreshHeader();
        refreshEmptyPlaceholder();
        refreshNowPlaying();
    };
    connect(model_, &QAbstractItemModel::modelReset, this, structureChanged);
    connect(model_, &QAbstractItemModel::layoutChanged, this, structureChanged);
    connect(model_, &QAbstractItemModel::rowsInserted, this, structureChanged);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, structureChanged);
    connect(model_, &QAbstractItemModel::dataChanged, this, &TrackTableView::refreshNowPlaying);
    connect(model_, &QAbstractItemModel::headerDataChanged, this, [this] {
        refreshEmptyPlaceholder();
        refreshNumberColumnWidth();
    });
    refreshHeader();
    refreshEmptyPlaceholder();
}

// MARK: selection

QSet<TrackRow::ID> TrackTableView::viewSelection() const {
    QSet<TrackRow::ID> rows;
    if (!selectionModel())
        return rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.insert(model_->rowAt(row).id());
    }
    return rows;
}

void TrackTableView::setSelectedRows(const QSet<TrackRow::ID>& selection) {
    model_->setSelection(selection);
    if (viewSelection() != selection)
        applySelectionToView();
}

void TrackTableView::applySelectionToView() {
    if (!selectionModel())
        return;
    const QSet<TrackRow::ID>& wanted = model_->selection();
    applyingSelection_ = true;
    if (wanted.isEmpty()) {
        selectionModel()->clearSelection();
    } else {
        // One range per run of selected rows, never one call per row.
        QItemSelection selection;
        const int rows = model_->rowCount();
        const int lastColumn = model_->columnCount() - 1;
        for (int row = 0; row < rows;) {
            if (!wanted.contains(model_->rowAt(row).id())) {
                ++row;
                continue;
            }
            int last = row;
            while (last + 1 < rows && wanted.contains(model_->rowAt(last + 1).id()))
                ++last;
            selection.append(
                QItemSelectionRange(model_->index(row, 0), model_->index(last, lastColumn)));
            row = last + 1;
        }
        selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    }
    applyingSelection_ = false;
}

void TrackTableView::selectionChanged(const QItemSelection& selected,
                                      const QItemSelection& deselected) {
    QTableView::selectionChanged(selected, deselected);
    if (applyingSelection_)
        return;
    const QSet<TrackRow::ID> selection = viewSelection();
    if (selection == model_->selection())
        return;
    model_->setSelection(selection);
    Q_EMIT selectionChangeRequested(selection);
}

void TrackTableView::rememberCurrentRow() {
    const QModelIndex current = selectionModel() ? currentIndex() : QModelIndex();
    if (current.isValid() && current.row() < model_->rowCount())
        currentRow_ = std::pair(model_->rowAt(current.row()).id(), current.column());
}

void TrackTableView::restoreCurrentRow() {
    const std::optional<std::pair<TrackRow::ID, int>> wanted = std::exchange(currentRow_, {});
    if (!wanted || !selectionModel() || currentIndex().isValid())
        return;
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (model_->rowAt(row).id() != wanted->first)
            continue;
        // Where the user scrolled to stays: the row comes back without being scrolled to.
        const bool autoScrolls = hasAutoScroll();
        setAutoScroll(false);
        selectionModel()->setCurrentIndex(
            model_->index(row, std::min(wanted->second, model_->columnCount() - 1)),
            QItemSelectionModel::NoUpdate);
        setAutoScroll(autoScrolls);
        return;
    }
}

// MARK: sorting and header

void TrackTableView::headerClicked(int section) {
    const TrackColumn column = model_->columnAt(section);
    const TrackSortOrder order =
        TrackTableModel::sortOrderAfterClicking(model_->sortOrder(), column);
    if (order != model_->sortOrder()) {
        model_->setSortOrder(order);
        Q_EMIT sortOrderChangeRequested(order);
    }
    refreshHeader();
}

void TrackTableView::refreshHeader() {
    QHeaderView* header = horizontalHeader();
    // Widths start at their ideal values whenever the set of columns changes.
    static const char* const appliedProperty = "lorvanelColumns";
    QStringList names;
    for (TrackColumn column : model_->columns())
        names.append(QString::number(int(column)));
    const QString signature = names.join(u',');
    if (header->property(appliedProperty).toString() != signature && header->count() > 0) {
        header->setProperty(appliedProperty, signature);
        for (int section = 0; section < model_->columnCount(); ++section) {
            const TrackTableModel::ColumnInfo& info =
                TrackTableModel::columnInfo(model_->columnAt(section));
            header->setSectionResizeMode(section, info.isFixed ? QHeaderView::Fixed
                                                               : QHeaderView::Interactive);
            header->resizeSection(section, info.idealWidth);
        }
    }
    refreshNumberColumnWidth();
    const TrackSortOrder& order = model_->sortOrder();
    const int section = order.empty() ? -1 : model_->sectionOf(order.front().column);
    header->setSortIndicator(section, !order.empty() && !order.front().ascending
                                          ? Qt::DescendingOrder
                                          : Qt::AscendingOrder);
}

int TrackTableView::numberColumnWidth() const {
    const int section = model_->sectionOf(TrackColumn::number);
    if (section < 0)
        return 0;
    // Positions run up to the number of rows given; a playback position may lie beyond.
    qsizetype widest = model_->givenRows().size();
    for (const TrackRow& row : model_->givenRows())
        widest = std::max<qsizetype>(widest,
                                     row.position.value_or(row.track.playbackPosition.value_or(0)));
    const QFontMetrics metrics(TextStyle::body());
    int digit = 0;
    for (char16_t c = u'0'; c <= u'9'; ++c)
        digit = std::max(digit, metrics.horizontalAdvance(QChar(c)));
    int content =
        std::max(int(QString::number(widest).size()) * digit, int(NowPlayingIndicator::width));
    if (kind_ == Kind::allTracks)
        content += TrackCellDelegate::startFlagSpacing + TrackCellDelegate::startFlagSize;
    // The cell's insets and the line that closes the column.
    const int cells = content + 2 * TrackCellDelegate::cellInset + 1;

    // The header's label runs under the sort arrow, which keeps a fixed distance from the
    // section's right edge: the title must end before the arrow begins.
    QHeaderView* header = horizontalHeader();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.state |= QStyle::State_Horizontal;
    option.orientation = Qt::Horizontal;
    option.section = section;
    option.text = model_->headerData(section, Qt::Horizontal).toString();
    option.sortIndicator = QStyleOptionHeader::SortDown;
    option.rect = QRect(0, 0, 200, std::max(header->height(), header->sizeHint().height()));
    const QRect label = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header);
    const QRect arrow = header->style()->subElementRect(QStyle::SE_HeaderArrow, &option, header);
    const int title = label.left() + header->fontMetrics().horizontalAdvance(option.text) + 2 +
                      (option.rect.width() - arrow.left());

    return std::max({cells, title, TrackTableModel::columnInfo(TrackColumn::number).minimumWidth});
}

void TrackTableView::refreshNumberColumnWidth() {
    const int section = model_->sectionOf(TrackColumn::number);
    if (section < 0 || section >= horizontalHeader()->count())
        return;
    const int width = numberColumnWidth();
    if (horizontalHeader()->sectionSize(section) != width)
        horizontalHeader()->resizeSection(section, width);
}

// MARK: empty list

void TrackTableView::refreshEmptyPlaceholder() {
    const bool shows = kind_ == Kind::allTracks && model_->rowCount() == 0;
    if (shows) {
        empty_->setContent(QStringLiteral("music.note.list"),
                           LibrarySearch::emptyLibraryTitle(model_->search(), model_->language()));
        const QRect area = viewport()->geometry().adjusted(20, 20, -20, -20);
        const QSize size = empty_->sizeHint().boundedTo(area.size());
        empty_->setGeometry(
            QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size));
    }
    empty_->setVisible(shows);
}

void TrackTableView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    refreshEmptyPlaceholder();
}

void TrackTableView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        model_->setLanguage(AppLanguages::stored());
    QTableView::changeEvent(event);
}

// MARK: now playing

bool TrackTableView::isAnimatingNowPlaying() const {
    return nowPlayingTimer_->isActive();
}

void TrackTableView::refreshNowPlaying() {
    reduceMotion_ = model_->playingTrackID() && ReduceMotion::isOn();
    const bool animate = model_->playingTrackID().has_value() && !reduceMotion_;
    if (animate && !nowPlayingTimer_->isActive())
        nowPlayingTimer_->start();
    else if (!animate)
        nowPlayingTimer_->stop();
}

void TrackTableView::nowPlayingTick() {
    const int section = model_->sectionOf(TrackColumn::number);
    if (section < 0 || model_->rowCount() == 0)
        return;
    // Only the number cells of the playing rows on screen are drawn again.
    int first = rowAt(0);
    int last = rowAt(viewport()->height() - 1);
    if (first < 0)
        return;
    if (last < 0)
        last = model_->rowCount() - 1;
    const quint64 playing = *model_->playingTrackID();
    for (int row = first; row <= last; ++row) {
        if (model_->rowAt(row).track.id == playing)
            viewport()->update(visualRect(model_->index(row, section)));
    }
}

void TrackTableView::paintEvent(QPaintEvent* event) {
    delegate_->setAnimationTime(reduceMotion_ ? 0.0 : NowPlayingIndicator::currentTime());
    QTableView::paintEvent(event);
}

// MARK: interactions

QSet<TrackRow::ID> TrackTableView::rowsActedOnAt(const QPoint& viewportPos) const {
    const QModelIndex index = indexAt(viewportPos);
    if (!index.isValid())
        return {};
    const TrackRow::ID id = model_->rowAt(index.row()).id();
    if (model_->selection().contains(id))
        return model_->selection();
    return {id};
}

QList<quint64> TrackTableView::trackIDsInTableOrder(const QSet<quint64>& ids) const {
    QList<quint64> ordered;
    ordered.reserve(ids.size());
    QSet<quint64> found;
    for (int row = 0; row < model_->rowCount() && found.size() < ids.size(); ++row) {
        const quint64 id = model_->rowAt(row).track.id;
        if (ids.contains(id) && !found.contains(id)) {
            found.insert(id);
            ordered.append(id);
        }
    }
    QList<quint64> rest;
    for (quint64 id : ids)
        if (!found.contains(id))
            rest.append(id);
    std::sort(rest.begin(), rest.end());
    return ordered + rest;
}

void TrackTableView::rowActivated(const QModelIndex& index) {
    const QSet<TrackRow::ID> rows = rowsActedOnAt(visualRect(index).center());
    if (rows.size() != 1)
        return;
    const quint64 trackID = rows.begin()->trackID;
    // A staged placeholder has no file on the iPod yet.
    if (model_->stagedTrackIDs().contains(trackID))
        return;
    Q_EMIT previewRequested(trackID);
}

void TrackTableView::mousePressEvent(QMouseEvent* event) {
    // A right click opens the menu for the rows under the pointer and leaves the selection as
    // it is.
    if (event->button() == Qt::RightButton) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

QMenu* TrackTableView::contextMenuAt(const QPoint& viewportPos) {
    const QSet<TrackRow::ID> rows = rowsActedOnAt(viewportPos);
    if (rows.isEmpty() || !menuProvider_)
        return nullptr;
    QSet<quint64> ids;
    for (const TrackRow::ID& row : rows)
        ids.insert(row.trackID);
    auto* menu = new QMenu(this);
    menuProvider_(*menu, trackIDsInTableOrder(ids));
    if (menu->isEmpty()) {
        delete menu;
        return nullptr;
    }
    return menu;
}

void TrackTableView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = contextMenuAt(event->pos());
    if (!menu)
        return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
