#include "coverflow/CoverFlowView.h"

#include "appmodel/InterfaceFont.h"
#include "appmodel/LorvPalette.h"
#include "coverflow/CoverFlowTrackModel.h"
#include "coverflow/CoverFlowTrackTable.h"
#include "coverflow/QXScrollBarLayer.h"
#include "device/CoverArtworkLoader.h"
#include "device/IPodStore.h"
#include "platform/AppLanguage.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// The stage: the covers with their overlays, laid out by hand on every resize.
class Stage : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> resized;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (resized)
            resized();
    }
};

// Darkens the bottom of the covers so that the caption reads on any cover.
class Shade : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, 0, height());
        QColor clear = LorvPalette::night800();
        clear.setAlphaF(0);
        QColor dim = LorvPalette::night800();
        dim.setAlphaF(0.9f);
        gradient.setColorAt(0, clear);
        gradient.setColorAt(0.46, dim);
        gradient.setColorAt(1, LorvPalette::night800());
        painter.fillRect(rect(), gradient);
    }
};

enum class Symbol { plus, chevronLeft, chevronRight };

// The buttons' symbols, drawn here so that they need no icon theme.
QPixmap symbolPixmap(Symbol symbol, const QColor& color) {
    constexpr int side = 16;
    QPixmap pixmap(side * 2, side * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    QPainterPath path;
    switch (symbol) {
    case Symbol::plus:
        path.moveTo(8, 3);
        path.lineTo(8, 13);
        path.moveTo(3, 8);
        path.lineTo(13, 8);
        break;
    case Symbol::chevronLeft:
        path.moveTo(10, 3);
        path.lineTo(5, 8);
        path.lineTo(10, 13);
        break;
    case Symbol::chevronRight:
        path.moveTo(6, 3);
        path.lineTo(11, 8);
        path.lineTo(6, 13);
        break;
    }
    painter.drawPath(path);
    painter.end();
    return pixmap;
}

QIcon symbolIcon(Symbol symbol, const QColor& color) {
    return QIcon(symbolPixmap(symbol, color));
}

QLabel* captionLabel(QWidget* parent, int pixelSize, QFont::Weight weight, const QColor& color) {
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    label->setFont(InterfaceFont::weighted(font, weight));
    QPalette colors = label->palette();
    colors.setColor(QPalette::WindowText, color);
    label->setPalette(colors);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setTextFormat(Qt::PlainText);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

// Between the caption's lowest glyphs and the scroll bar.
constexpr int captionGap = 4;

// The height of a text line in the label's font with Latin descenders and Han, whose fallback
// font has the taller line.
int lineHeight(const QLabel* label) {
    return label->fontMetrics()
        .boundingRect(QRect(0, 0, 1000, 1000), Qt::TextSingleLine, QStringLiteral("Ag\u6C49"))
        .height();
}

QString groupTitle(const CoverFlowGroup& group, const QString& unknownTitle) {
    return group.id.title.isEmpty() ? unknownTitle : group.id.title;
}

} // namespace

CoverFlowView::CoverFlowView(IPodStore& store, const IPodDevice& device,
                             QList<CoverFlowGroup> groups, QString unknownTitle,
                             AddPlaylistAction addPlaylist, TrackTableBuilder trackTable,
                             TrackTableUpdater updateTrackTable, QWidget* parent)
    : QWidget(parent)
    , store(store)
    , device_(device)
    , unknownTitle_(std::move(unknownTitle))
    , addPlaylist_(std::move(addPlaylist))
    , trackTable_(std::move(trackTable))
    , updateTrackTable_(std::move(updateTrackTable))
    , readArtwork(&CoverArtworkLoader::loadArtwork)
    , coordinator(CoverCarousel::makeCoordinator()) {
    carousel.selection = {[this] { return selection_; },
                          [this](int index) { setSelection(index); }};
    settleTimer.setSingleShot(true);
    connect(&settleTimer, &QTimer::timeout, this, &CoverFlowView::settle);
    // A read for a device the store no longer selects is of no use.
    connect(&store, &IPodStore::selectionChanged, this, [this] {
        if (!storeSelectsDevice())
            cancelReading();
    });
    buildStage();
    setGroups(std::move(groups));
}

CoverFlowView::~CoverFlowView() {
    settleTimer.stop();
    cancelReading();
    // The control outlives the members (it goes with the children): it must not reach them.
    control_->setDelegate(nullptr);
    control_->setDataSource(nullptr);
}

void CoverFlowView::buildStage() {
    auto* stage = new Stage(this);
    stage_ = stage;
    stage_->setObjectName(QStringLiteral("coverFlowStage"));
    control_ = CoverCarousel::makeNSView(*coordinator, stage_);
    // The caption and the buttons speak for the covers.
    control_->setHiddenFromAccessibility(true);
    shade = new Shade(stage_);
    shade->setAttribute(Qt::WA_TransparentForMouseEvents);

    captionBlock = new QWidget(stage_);
    captionBlock->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* captionColumn = new QVBoxLayout(captionBlock);
    captionColumn->setContentsMargins(0, 0, 0, 0);
    captionColumn->setSpacing(3);
    captionTitleLabel = captionLabel(captionBlock, 18, QFont::DemiBold, Qt::white);
    captionArtistLabel = captionLabel(captionBlock, 12, QFont::Normal, LorvPalette::fog());
    captionColumn->addWidget(captionTitleLabel);
    captionColumn->addWidget(captionArtistLabel);

    auto* add = new QPushButton(stage_);
    QIcon plus = symbolIcon(Symbol::plus, LorvPalette::mist());
    plus.addPixmap(symbolPixmap(Symbol::plus, LorvPalette::steel400()), QIcon::Disabled);
    add->setIcon(plus);
    QFont small = add->font();
    small.setPixelSize(11);
    add->setFont(small);
    add->setFocusPolicy(Qt::TabFocus);
    addButton = add;
    connect(add, &QPushButton::clicked, this, [this] {
        const int settled = settledIndex();
        if (!addPlaylist_ || settled < 0 || !addButton->isEnabled())
            return;
        const CoverFlowGroup group = groups_[settled];
        const AddPlaylistAction action = addPlaylist_;
        action(group);
    });

    groupButtons = new QWidget(stage_);
    auto* buttonRow = new QHBoxLayout(groupButtons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(8);
    auto makeStepButton = [this, buttonRow](Symbol symbol) {
        auto* button = new QToolButton(groupButtons);
        button->setAutoRaise(true);
        // The style's own disabled form is barely dimmer than mist on this background.
        QIcon icon = symbolIcon(symbol, LorvPalette::mist());
        icon.addPixmap(symbolPixmap(symbol, LorvPalette::steel400()), QIcon::Disabled);
        button->setIcon(icon);
        button->setIconSize(QSize(16, 16));
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setFocusPolicy(Qt::TabFocus);
        buttonRow->addWidget(button);
        return button;
    };
    previousButton = makeStepButton(Symbol::chevronLeft);
    nextButton = makeStepButton(Symbol::chevronRight);
    connect(previousButton, &QToolButton::clicked, this,
            [this] { setSelection(shownIndex() - 1); });
    connect(nextButton, &QToolButton::clicked, this, [this] { setSelection(shownIndex() + 1); });

    stage->resized = [this] { layoutStage(); };

    separator = new QWidget(this);
    separator->setFixedHeight(1);
    separator->setAutoFillBackground(true);
    QPalette line = separator->palette();
    line.setColor(QPalette::Window, LorvPalette::slate500());
    separator->setPalette(line);

    tableHost = new QWidget(this);
    auto* tableColumn = new QVBoxLayout(tableHost);
    tableColumn->setContentsMargins(0, 0, 0, 0);
    tableColumn->setSpacing(0);

    relabel();
}

void CoverFlowView::relabel() {
    const AppLanguage language = AppLanguages::stored();
    addButton->setText(localizedString(LZ("Add Playlist"), language));
    const QString previous = localizedString(LZ("Previous Group"), language);
    const QString next = localizedString(LZ("Next Group"), language);
    previousButton->setAccessibleName(previous);
    previousButton->setToolTip(previous);
    nextButton->setAccessibleName(next);
    nextButton->setToolTip(next);
    layoutStage();
}

void CoverFlowView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        relabel();
}

void CoverFlowView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Placed by hand: a stage height taken from the view's height must not in turn hold the
    // view at a minimum height.
    const int w = width();
    const int stageHeight = int(std::min(std::max(0.6 * height(), 94.0), 280.0));
    stage_->setGeometry(0, 0, w, stageHeight);
    separator->setGeometry(0, stageHeight, w, 1);
    tableHost->setGeometry(0, stageHeight + 1, w, std::max(0, height() - stageHeight - 1));
}

void CoverFlowView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    settleKey.reset();
    refresh();
}

void CoverFlowView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A minimised window keeps its views; only a view taken off the screen stops.
    if (event->spontaneous())
        return;
    settleTimer.stop();
    settleKey.reset();
    cancelReading();
}

void CoverFlowView::layoutStage() {
    const int w = stage_->width();
    const int h = stage_->height();
    control_->setGeometry(0, 0, w, h);
    shade->setGeometry(0, h - 48, w, 48);
    const QSize add = addButton->sizeHint();
    addButton->setGeometry(8, h - 8 - add.height(), add.width(), add.height());
    const QSize buttons = groupButtons->sizeHint();
    groupButtons->setGeometry(w - 8 - buttons.width(), h - 8 - buttons.height(), buttons.width(),
                              buttons.height());
    // What lies between the buttons in the bottom corners stays clear of them.
    const int clearance = 8 + std::max(add.width(), buttons.width()) + 8;

    // One line each, cut with an ellipsis to the room between the side paddings, which are wide
    // enough to pass the buttons.
    const int inset = std::max(48, clearance);
    const int room = std::max(0, w - 2 * inset);
    const QString title = captionTitle();
    const QString artist = captionArtist();
    captionTitleLabel->setText(
        captionTitleLabel->fontMetrics().elidedText(title, Qt::ElideRight, room));
    captionArtistLabel->setText(
        captionArtistLabel->fontMetrics().elidedText(artist, Qt::ElideRight, room));
    captionArtistLabel->setVisible(!artist.isEmpty());
    captionBlock->setAccessibleName(artist.isEmpty() ? title
                                                     : title + QStringLiteral(", ") + artist);
    // Above the scroll bar, a few pixels clear of it, whatever script its lines hold; under the
    // covers, in the band the control keeps below them for its own title, which it does not
    // show. That band grows where it is too short for a caption of Latin and Han lines.
    QXScrollBarLayer& bar = control_->scrollBarLayer();
    double barBottom = 0;
    for (const QXConstraint& c : bar.constraints())
        if (c.attribute == QXConstraint::minY)
            barBottom = c.offset;
    const int captionBottom = h - int(std::ceil(barBottom + bar.bounds().height())) - captionGap;
    const double titleLine = control_->titleBandHeight() - control_->titleBottomOffset();
    control_->setTitleBottomOffset(std::max(QXFlowView::defaultTitleBottomOffset,
                                            h - captionBottom + reservedCaptionHeight() -
                                                titleLine -
                                                control_->coverFlowLayout()->verticalMargin()));
    const int captionHeight = captionBlock->sizeHint().height();
    captionBlock->setGeometry(inset, captionBottom - captionHeight, room, captionHeight);
    // The scroll bar spans three quarters of the stage, centred at the height of the buttons:
    // narrower where that would run under a button at either end.
    const double barWidth = std::max(0.0, std::min(0.75 * w, double(w - 2 * clearance)));
    std::vector<QXConstraint> constraints = bar.constraints();
    for (QXConstraint& c : constraints)
        if (c.attribute == QXConstraint::width) {
            c.scale = 0;
            c.offset = barWidth;
        }
    bar.setConstraints(std::move(constraints));
    control_->backgroundLayer().setNeedsLayout();
    shade->raise();
    captionBlock->raise();
    addButton->raise();
    groupButtons->raise();
}

int CoverFlowView::reservedCaptionHeight() const {
    return lineHeight(captionTitleLabel) + captionBlock->layout()->spacing() +
           lineHeight(captionArtistLabel);
}

void CoverFlowView::setGroups(QList<CoverFlowGroup> groups) {
    groups_ = std::move(groups);
    QList<CoverFlowGroup::ID> ids;
    ids.reserve(groups_.size());
    for (const CoverFlowGroup& group : std::as_const(groups_))
        ids.append(group.id);
    carousel.groups = groups_;
    carousel.groupIDs = std::move(ids);
    refresh();
}

void CoverFlowView::setUnknownTitle(QString title) {
    if (title == unknownTitle_)
        return;
    unknownTitle_ = std::move(title);
    refresh();
}

void CoverFlowView::setAddPlaylist(AddPlaylistAction action) {
    addPlaylist_ = std::move(action);
    refresh();
}

void CoverFlowView::setArtworkReader(ArtworkReader reader) {
    readArtwork = std::move(reader);
}

void CoverFlowView::setDevice(const IPodDevice& device) {
    const bool same = device.id == device_.id;
    device_ = device;
    if (same)
        return;
    // Track ids of another iPod name other tracks: nothing read so far applies.
    ++generation;
    cancelReading();
    artwork_.clear();
    requested_.clear();
    refresh();
}

void CoverFlowView::setSelection(int selection) {
    if (selection == selection_)
        return;
    selection_ = selection;
    refresh();
}

int CoverFlowView::shownIndex() const {
    const int count = int(groups_.size());
    return count == 0 ? -1 : std::min(count - 1, std::max(0, selection_));
}

int CoverFlowView::settledIndex() const {
    const int count = int(groups_.size());
    return count == 0 ? -1 : std::min(count - 1, settledSelection_);
}

QString CoverFlowView::captionTitle() const {
    const int shown = shownIndex();
    return shown < 0 ? QString() : groupTitle(groups_[shown], unknownTitle_);
}

QString CoverFlowView::captionArtist() const {
    const int shown = shownIndex();
    return shown < 0 ? QString() : groups_[shown].id.artist;
}

void CoverFlowView::refresh() {
    const bool empty = groups_.isEmpty();
    stage_->setVisible(!empty);
    separator->setVisible(!empty);
    tableHost->setVisible(!empty);
    carousel.artwork = artwork_;
    carousel.unknownTitle = unknownTitle_;
    carousel.updateNSView(*control_, *coordinator);
    if (empty) {
        // Nothing to show and nothing to read.
        settleTimer.stop();
        settleKey.reset();
        cancelReading();
        refreshTable();
        return;
    }
    const int shown = shownIndex();
    layoutStage();
    refreshTable();
    refreshButtons(shown);
    SettleKey key{shown, windowKeyList(shown), device_.id};
    if (isVisible() && (!settleKey || *settleKey != key)) {
        settleKey = std::move(key);
        restartSettle(shown);
    }
}

void CoverFlowView::refreshButtons(int shown) {
    const int count = int(groups_.size());
    previousButton->setEnabled(shown > 0);
    nextButton->setEnabled(shown < count - 1);
    groupButtons->setAccessibleName(captionTitle());
    addButton->setVisible(bool(addPlaylist_));
    const int settled = settledIndex();
    const bool positioned =
        settled >= 0 &&
        std::any_of(groups_[settled].tracks.cbegin(), groups_[settled].tracks.cend(),
                    [](const Track& t) { return t.playbackPosition.has_value(); });
    addButton->setEnabled(shown == settled && positioned);
}

void CoverFlowView::refreshTable() {
    const int settled = settledIndex();
    if (settled < 0) {
        delete table_;
        table_ = nullptr;
        tableTracks.reset();
        return;
    }
    const QList<Track>& tracks = groups_[settled].tracks;
    if (tableTracks && *tableTracks == tracks)
        return;
    // The same tracks in the same order with new values (an edit of their tags): the table shows
    // them in place, keeping the rows the user selected and where the user scrolled to.
    const bool sameRows =
        table_ && tableTracks &&
        std::equal(tableTracks->cbegin(), tableTracks->cend(), tracks.cbegin(), tracks.cend(),
                   [](const Track& a, const Track& b) { return a.id == b.id; });
    tableTracks = tracks;
    if (sameRows) {
        if (auto* own = qobject_cast<CoverFlowTrackTable*>(table_)) {
            own->trackModel()->setTracks(tracks);
            return;
        }
        if (updateTrackTable_) {
            updateTrackTable_(table_, tracks);
            return;
        }
    }
    // The keyboard stays in the table when a new one takes the old one's place (an edit moved a
    // track to another album, another group settled): it starts on the first row. Where this
    // view is hidden for a reload, the page that shows again gives the focus to the table.
    const bool keyboardInTable =
        table_ && (table_->hasFocus() || table_->isAncestorOf(QApplication::focusWidget()));
    delete table_;
    table_ = trackTable_ ? trackTable_(tracks) : nullptr;
    if (!table_)
        table_ = new CoverFlowTrackTable(tracks);
    table_->setParent(tableHost);
    tableHost->layout()->addWidget(table_);
    table_->show();
    if (keyboardInTable)
        table_->setFocus(Qt::OtherFocusReason);
}

QList<quint64> CoverFlowView::windowKeyList(int index) const {
    QList<quint64> keys;
    const int lower = std::max(index - windowRadius, 0);
    const int upper = std::min(index + windowRadius, int(groups_.size()) - 1);
    for (int i = lower; i <= upper; ++i)
        if (const auto key = groups_[i].artworkTrackID())
            keys.append(*key);
    return keys;
}

void CoverFlowView::restartSettle(int index) {
    settleTimer.stop();
    // A read for the old window is cancelled; a request still waiting is dropped.
    if (reading)
        readingTask.cancel();
    waiting.reset();
    settleTarget = index;
    settleTimer.start(index == settledSelection_ ? 0 : settleDelayMs);
}

void CoverFlowView::settle() {
    const int index = settleTarget;
    // A shorter group list pulls the selection in: what is shown is what settles.
    if (index < 0 || shownIndex() != index)
        return;
    settledSelection_ = index;
    refreshTable();
    refreshButtons(index);
    Q_EMIT selectionSettled(index);
    const QList<quint64> window = windowKeyList(index);
    requestArtwork(QSet<quint64>(window.cbegin(), window.cend()), index);
}

void CoverFlowView::requestArtwork(const QSet<quint64>& keys, int index) {
    Request request{keys, keys - requested_, index, generation};
    if (request.wanted.isEmpty())
        return;
    if (reading) {
        waiting = std::move(request);
        return;
    }
    startReading(request);
}

void CoverFlowView::startReading(const Request& request) {
    reading = request;
    const IPodDevice device = device_;
    const QSet<quint64> wanted = request.wanted;
    readingTask = Task::run(
        TaskPriority::utility, this,
        [read = readArtwork, device, wanted] { return read(device, wanted); },
        [this, request](const std::optional<CoverArtworkLoader::Artwork>& result,
                        const std::exception_ptr&) { finishReading(request, result); });
}

void CoverFlowView::finishReading(const Request& request,
                                  const std::optional<CoverArtworkLoader::Artwork>& result) {
    const bool cancelled = readingTask.isCancellationRequested();
    reading.reset();
    std::optional<Request> retry;
    if (!cancelled && result && request.generation == generation && shownIndex() == request.index &&
        storeSelectsDevice()) {
        requested_.unite(request.wanted - result->unknown);
        for (auto it = result->covers.cbegin(); it != result->covers.cend(); ++it)
            artwork_.insert(it.key(), it.value());
        if (requested_.size() > maxRequestedKeys) {
            requested_.intersect(request.window);
            artwork_.removeIf(
                [&](const auto& entry) { return !request.window.contains(entry.key()); });
        }
        // The process that could not answer is gone by now: a new one is asked, once.
        const QSet<quint64> unknown = request.wanted & result->unknown;
        if (!request.isRetry && !unknown.isEmpty())
            retry = Request{request.window, unknown, request.index, generation, true};
        refresh();
        Q_EMIT artworkChanged();
    }
    if (!waiting) {
        if (retry && !reading)
            startReading(*retry);
        return;
    }
    Request next = std::move(*waiting);
    waiting.reset();
    next.wanted = next.window - requested_;
    if (next.generation == generation && shownIndex() == next.index && !next.wanted.isEmpty())
        startReading(next);
}

void CoverFlowView::cancelReading() {
    if (reading)
        readingTask.cancel();
    waiting.reset();
}

bool CoverFlowView::storeSelectsDevice() const {
    const std::optional<IPodDevice::ID> selected = store.selectedDiskID();
    return selected && *selected == device_.id;
}
