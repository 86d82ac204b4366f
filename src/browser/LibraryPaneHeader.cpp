#include "browser/LibraryPaneHeader.h"

#include "appmodel/LorvPalette.h"
#include "browser/LibrarySearchField.h"
#include "browser/Surfaces.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"
#include "browser/TrackActionBar.h"
#include "device/IPodStore.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

constexpr int inset = 22;
constexpr int verticalPadding = 6;
constexpr int wideSpacing = 10;
constexpr int secondRowSpacing = 8;
constexpr int rowGap = 7;
constexpr int symbolSize = 12;

// The count in a capsule, as the scope control shows it.
struct Badge {
    QString text;
    QFont font = TextStyle::caption2();

    int width() const { return QFontMetrics(font).horizontalAdvance(text) + 12; }

    void paint(QPainter& painter, const QRectF& at) const {
        QPainterPath capsule;
        capsule.addRoundedRect(at, at.height() / 2, at.height() / 2);
        painter.fillPath(capsule, LorvPalette::slate600());
        painter.setFont(font);
        painter.setPen(LorvPalette::mist());
        painter.drawText(at, Qt::AlignCenter, text);
    }
};

QString countText(qsizetype count, AppLanguage language) {
    return AppLanguages::formattedCount(count, language);
}

} // namespace

// MARK: layout

// One row of mode box, scope, a flexible gap, search and actions when they fit the width; else
// the mode box and scope above the search and actions. Each item keeps its ideal size.
class LibraryPaneHeader::FittingLayout : public QLayout {
public:
    explicit FittingLayout(QWidget* parent)
        : QLayout(parent) {
        setContentsMargins(inset, verticalPadding, inset, verticalPadding);
    }
    ~FittingLayout() override {
        for (const Entry& entry : entries_)
            delete entry.item;
    }

    void addLeading(QWidget* widget) { add(widget, true); }
    void addTrailing(QWidget* widget) { add(widget, false); }

    void addItem(QLayoutItem* item) override { entries_.append({item, false}); }
    int count() const override { return int(entries_.size()); }
    QLayoutItem* itemAt(int index) const override {
        return index >= 0 && index < entries_.size() ? entries_[index].item : nullptr;
    }
    QLayoutItem* takeAt(int index) override {
        if (index < 0 || index >= entries_.size())
            return nullptr;
        return entries_.takeAt(index).item;
    }

    // Whether one row fits the width.
    bool fitsOneRow(int width) const { return width >= oneRowWidth(); }

    QSize sizeHint() const override { return {oneRowWidth(), heightFor(true)}; }
    QSize minimumSize() const override {
        const QMargins m = contentsMargins();
        return {m.left() + m.right() + std::max(rowWidth(true, false), rowWidth(false, false)),
                heightFor(true)};
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return heightFor(fitsOneRow(width)); }
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }

    void setGeometry(const QRect& rect) override {
        QLayout::setGeometry(rect);
        const QRect area = rect.marginsRemoved(contentsMargins());
        if (fitsOneRow(rect.width())) {
            const int h = std::max(rowHeight(true), rowHeight(false));
            const int top = area.top() + (area.height() - h) / 2;
            placeRow(true, area.left(), top, h, wideSpacing);
            // The trailing items end at the right edge.
            placeRow(false, area.right() + 1 - rowWidth(false, true), top, h, wideSpacing);
        } else {
            const int first = rowHeight(true), second = rowHeight(false);
            const int top = area.top() + (area.height() - (first + rowGap + second)) / 2;
            placeRow(true, area.left(), top, first, wideSpacing);
            placeRow(false, area.left(), top + first + rowGap, second, secondRowSpacing);
        }
    }

private:
    struct Entry {
        QLayoutItem* item;
        bool leading;
    };

    void add(QWidget* widget, bool leading) {
        addChildWidget(widget);
        entries_.append({new QWidgetItem(widget), leading});
        invalidate();
    }

    QList<QLayoutItem*> row(bool leading) const {
        QList<QLayoutItem*> items;
        for (const Entry& entry : entries_)
            if (entry.leading == leading && !entry.item->isEmpty())
                items.append(entry.item);
        return items;
    }

    int rowWidth(bool leading, bool wide) const {
        const QList<QLayoutItem*> items = row(leading);
        int width = 0;
        for (QLayoutItem* item : items)
            width += item->sizeHint().width();
        const int spacing = wide || leading ? wideSpacing : secondRowSpacing;
        return width + spacing * std::max<int>(0, int(items.size()) - 1);
    }

    int rowHeight(bool leading) const {
        int height = 0;
        for (QLayoutItem* item : row(leading))
            height = std::max(height, item->sizeHint().height());
        return height;
    }

    int oneRowWidth() const {
        const QMargins m = contentsMargins();
        const int leading = rowWidth(true, true), trailing = rowWidth(false, true);
        // The flexible gap between the two groups takes its own spacing on either side.
        const int gap = leading > 0 && trailing > 0 ? wideSpacing * 2 : 0;
        return m.left() + m.right() + leading + trailing + gap;
    }

    int heightFor(bool oneRow) const {
        const QMargins m = contentsMargins();
        const int content = oneRow ? std::max(rowHeight(true), rowHeight(false))
                                   : rowHeight(true) + rowGap + rowHeight(false);
        return std::max(minimumHeight, m.top() + m.bottom() + content);
    }

    void placeRow(bool leading, int x, int top, int height, int spacing) {
        for (QLayoutItem* item : row(leading)) {
            const QSize size = item->sizeHint();
            item->setGeometry(
                QRect(x, top + (height - size.height()) / 2, size.width(), size.height()));
            x += size.width() + spacing;
        }
    }

    QList<Entry> entries_;
};

// MARK: mode buttons

// "Table View" or "Cover Flow": the symbol and title, lit on a slate plate while selected.
class LibraryPaneHeader::ModeButton : public QAbstractButton {
public:
    ModeButton(const QString& symbol, QWidget* parent)
        : QAbstractButton(parent)
        , symbol_(symbol) {
        setFont(TextStyle::callout());
        setCursor(Qt::PointingHandCursor);
    }

    void setSelected(bool selected) {
        if (selected == selected_)
            return;
        selected_ = selected;
        update();
    }
    bool isSelected() const { return selected_; }

    QSize sizeHint() const override {
        return {8 + symbolSize + 5 + fontMetrics().horizontalAdvance(text()) + 8,
                4 + std::max(symbolSize, fontMetrics().height()) + 4};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (!isEnabled())
            painter.setOpacity(0.45);
        if (selected_) {
            QPainterPath plate;
            plate.addRoundedRect(QRectF(rect()), 4, 4);
            painter.fillPath(plate, LorvPalette::slate600());
        }
        const QColor colour = selected_ ? LorvPalette::mist() : LorvPalette::fog();
        painter.drawPixmap(QPointF(8, (height() - symbolSize) / 2.0),
                           SymbolIcon::pixmap(symbol_, symbolSize, colour, devicePixelRatioF()));
        painter.setPen(colour);
        painter.drawText(rect().adjusted(8 + symbolSize + 5, 0, -8, 0),
                         Qt::AlignLeft | Qt::AlignVCenter, text());
    }

private:
    QString symbol_;
    bool selected_ = false;
};

// The box around the two mode buttons.
class ModeBox : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Surfaces::paintPanel(painter, rect(), 7, LorvPalette::inkAlt(), LorvPalette::slate500());
    }
};

// MARK: scope control

// The scope's title and count: a menu button with the playlist symbol, or, without a menu, a
// plain label on a dark plate. Both in the accent colour.
class LibraryPaneHeader::ScopeButton : public QToolButton {
public:
    explicit ScopeButton(QWidget* parent)
        : QToolButton(parent) {
        setObjectName(QStringLiteral("scopeControl"));
        setFont(TextStyle::callout(QFont::Medium));
        setPopupMode(QToolButton::InstantPopup);
    }

    void setContent(bool withMenu, const QString& title, const std::optional<QString>& count) {
        if (withMenu == withMenu_ && title == title_ && count == count_)
            return;
        withMenu_ = withMenu;
        title_ = title;
        count_ = count;
        setCursor(withMenu ? Qt::PointingHandCursor : Qt::ArrowCursor);
        updateGeometry();
        update();
    }

    QSize sizeHint() const override {
        int width = 8 + fontMetrics().horizontalAdvance(title_) + 8;
        if (withMenu_)
            width += symbolSize + 6;
        if (count_)
            width += 6 + Badge{*count_}.width();
        return {width, 4 + fontMetrics().height() + 4};
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        // The label without a menu takes no clicks.
        if (withMenu_)
            QToolButton::mousePressEvent(event);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor accent = LorvPalette::sky();
        QColor border;
        if (withMenu_) {
            border = accent;
            border.setAlphaF(isDown() ? 0.8 : 0.45);
        }
        Surfaces::paintPanel(painter, rect(), 6, LorvPalette::night700(), border);
        int x = 8;
        if (withMenu_) {
            painter.drawPixmap(QPointF(x, (height() - symbolSize) / 2.0),
                               SymbolIcon::pixmap(QStringLiteral("music.note.list"), symbolSize,
                                                  accent, devicePixelRatioF()));
            x += symbolSize + 6;
        }
        const int titleWidth = fontMetrics().horizontalAdvance(title_);
        painter.setPen(accent);
        painter.setFont(font());
        painter.drawText(QRect(x, 0, titleWidth, height()), Qt::AlignLeft | Qt::AlignVCenter,
                         title_);
        x += titleWidth + 6;
        if (count_) {
            const Badge badge{*count_};
            const qreal h = QFontMetrics(badge.font).height() + 2;
            badge.paint(painter, QRectF(x, (height() - h) / 2, badge.width(), h));
        }
    }

private:
    bool withMenu_ = false;
    QString title_;
    std::optional<QString> count_;
};

// MARK: header

LibraryPaneHeader::LibraryPaneHeader(IPodStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store) {
    setObjectName(QStringLiteral("libraryPaneHeader"));
    setFont(TextStyle::callout());
    // Not Fixed: a fixed height would hold the bar at its one-row height in two rows.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);

    modeBox_ = new ModeBox(this);
    modeBox_->setObjectName(QStringLiteral("viewModeBox"));
    auto* modes = new QHBoxLayout(modeBox_);
    modes->setContentsMargins(3, 3, 3, 3);
    modes->setSpacing(2);
    tableView_ = new ModeButton(QStringLiteral("tablecells"), modeBox_);
    tableView_->setObjectName(QStringLiteral("tableViewButton"));
    coverFlow_ = new ModeButton(QStringLiteral("rectangle.on.rectangle"), modeBox_);
    coverFlow_->setObjectName(QStringLiteral("coverFlowButton"));
    modes->addWidget(tableView_);
    modes->addWidget(coverFlow_);

    scope_ = new ScopeButton(this);
    menu_ = new QMenu(scope_);
    menu_->setObjectName(QStringLiteral("scopeMenu"));
    search_ = new LibrarySearchField(this);
    actions_ = new TrackActionBar(store_, this);

    layout_ = new FittingLayout(this);
    layout_->addLeading(modeBox_);
    layout_->addLeading(scope_);
    layout_->addTrailing(search_);
    layout_->addTrailing(actions_);

    connect(tableView_, &QAbstractButton::clicked, this,
            [this] { Q_EMIT viewModeRequested(false); });
    connect(coverFlow_, &QAbstractButton::clicked, this,
            [this] { Q_EMIT viewModeRequested(true); });
    connect(search_, &LibrarySearchField::textEdited, this, &LibraryPaneHeader::searchEdited);
    for (auto signal : {&IPodStore::libraryChanged, &IPodStore::stagedImportTracksChanged,
                        &IPodStore::activeDeviceIDChanged, &IPodStore::selectionChanged})
        connect(&store_, signal, this, [this] {
            ++libraryGeneration_;
            refresh();
        });
    refresh();
}

void LibraryPaneHeader::setState(const MainViewState& state,
                                 const QList<quint64>& selectedTrackIDs) {
    state_ = state;
    actions_->setTrackIDs(selectedTrackIDs);
    refresh();
}

QAbstractButton* LibraryPaneHeader::tableViewButton() const {
    return tableView_;
}

QAbstractButton* LibraryPaneHeader::coverFlowButton() const {
    return coverFlow_;
}

bool LibraryPaneHeader::isSelectedMode(const QAbstractButton* button) {
    const auto* mode = dynamic_cast<const ModeButton*>(button);
    return mode && mode->isSelected();
}

QToolButton* LibraryPaneHeader::scopeControl() const {
    return scope_;
}

bool LibraryPaneHeader::hasScopeMenu() const {
    const std::optional<IPodLibrary>& library = store_.library();
    return library && library->model && library->model->hasScreen();
}

bool LibraryPaneHeader::isWide() const {
    return layout_->fitsOneRow(width());
}

QString LibraryPaneHeader::scopeItemText(const QString& title, qsizetype count,
                                         AppLanguage language) {
    return title + QStringLiteral(" · ") + countText(count, language);
}

std::optional<IPodPlaylist> LibraryPaneHeader::foundPlaylist() const {
    const std::optional<IPodLibrary>& library = store_.library();
    if (!library || state_.libraryScope.kind != LibraryScope::Kind::playlist)
        return std::nullopt;
    for (const IPodPlaylist& playlist : library->playlists)
        if (playlist.id == state_.libraryScope.playlistID)
            return playlist;
    return std::nullopt;
}

QString LibraryPaneHeader::scopeTitle() const {
    const AppLanguage language = AppLanguages::stored();
    if (!hasScopeMenu())
        return localizedString(LZ("All Tracks"), language);
    if (const auto playlist = foundPlaylist())
        return playlist->name;
    if (state_.libraryScope.kind == LibraryScope::Kind::browser)
        return localizedString(LZ("Device Playlists"), language);
    return localizedString(LZ("All Tracks"), language);
}

std::optional<qsizetype> LibraryPaneHeader::scopeCount() const {
    const qsizetype displayed = store_.library() ? store_.library()->tracks.size() +
                                                       store_.stagedTracksForSelection().size()
                                                 : 0;
    if (!hasScopeMenu())
        return displayed;
    if (const auto playlist = foundPlaylist())
        return playlist->trackIDs.size();
    if (state_.libraryScope.kind == LibraryScope::Kind::browser)
        return std::nullopt;
    return displayed;
}

void LibraryPaneHeader::refresh() {
    const AppLanguage language = AppLanguages::stored();
    const std::optional<IPodLibrary>& library = store_.library();
    const bool browser = state_.libraryScope.kind == LibraryScope::Kind::browser;
    const std::optional<IPodPlaylist> playlist = foundPlaylist();

    tableView_->setText(localizedString(LZ("Table View"), language));
    coverFlow_->setText(localizedString(LZ("Cover Flow"), language));
    tableView_->setSelected(!browser && !state_.showsCoverFlow);
    coverFlow_->setSelected(!browser && state_.showsCoverFlow);
    const bool listed =
        playlist ? !playlist->trackIDs.isEmpty() : library && !library->tracks.isEmpty();
    tableView_->setEnabled(listed);
    coverFlow_->setEnabled(listed);

    const bool withMenu = hasScopeMenu();
    scope_->setMenu(withMenu ? menu_ : nullptr);
    const QString title = scopeTitle();
    const std::optional<qsizetype> count = scopeCount();
    scope_->setContent(withMenu, title,
                       count ? std::optional<QString>(countText(*count, language)) : std::nullopt);
    const QString playlistWord = localizedString(LZ("Playlist"), language);
    scope_->setAccessibleName(withMenu ? playlistWord : title);
    scope_->setAccessibleDescription(
        count ? title + QStringLiteral(", ") + countText(*count, language) : title);
    scope_->setToolTip(withMenu ? title : QString());
    if (withMenu)
        rebuildScopeMenu();

    search_->setText(state_.librarySearch);
    actions_->setVisible(!browser);
}

void LibraryPaneHeader::rebuildScopeMenu() {
    const AppLanguage language = AppLanguages::stored();
    const IPodLibrary& library = *store_.library();
    const qsizetype displayed = library.tracks.size() + store_.stagedTracksForSelection().size();
    const QString signature = QStringLiteral("%1|%2|%3|%4|%5|%6")
                                  .arg(libraryGeneration_)
                                  .arg(int(state_.libraryScope.kind))
                                  .arg(state_.libraryScope.playlistID)
                                  .arg(AppLanguages::rawValue(language))
                                  .arg(store_.canCreatePlaylist())
                                  .arg(displayed);
    if (signature == menuSignature_)
        return;
    menuSignature_ = signature;
    // Later, not now: the entry just chosen may be what asks for this rebuild.
    for (QAction* old : menu_->actions()) {
        menu_->removeAction(old);
        old->deleteLater();
    }
    for (QActionGroup* old : menu_->findChildren<QActionGroup*>())
        old->deleteLater();
    menu_->setTitle(localizedString(LZ("Playlist"), language));
    auto* group = new QActionGroup(menu_);
    group->setExclusive(true);
    auto addScope = [&](const QString& text, const LibraryScope& scope) {
        QAction* action = menu_->addAction(text);
        action->setCheckable(true);
        action->setChecked(scope == state_.libraryScope);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, scope] { Q_EMIT scopeRequested(scope); });
    };
    addScope(scopeItemText(localizedString(LZ("All Tracks"), language), displayed, language),
             LibraryScope::allTracks());
    for (const IPodPlaylist& playlist : library.playlists)
        addScope(scopeItemText(playlist.name, playlist.trackIDs.size(), language),
                 LibraryScope::playlist(playlist.id));
    menu_->addSeparator();
    addScope(localizedString(LZ("Browse Playlists"), language), LibraryScope::browser());
    menu_->addSeparator();
    QAction* create =
        menu_->addAction(SymbolIcon::icon(QStringLiteral("plus"), 14, LorvPalette::mist()),
                         localizedString(LZ("New Playlist on iPod…"), language));
    create->setObjectName(QStringLiteral("newPlaylistOnIPod"));
    create->setEnabled(store_.canCreatePlaylist());
    connect(create, &QAction::triggered, this, &LibraryPaneHeader::newPlaylistRequested);
}

void LibraryPaneHeader::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    QWidget::changeEvent(event);
}

void LibraryPaneHeader::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), LorvPalette::night800());
}
