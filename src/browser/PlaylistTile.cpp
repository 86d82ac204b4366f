#include "browser/PlaylistTile.h"

#include "appmodel/LorvPalette.h"
#include "browser/Surfaces.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"
#include "platform/AppLanguage.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

constexpr int horizontalPadding = 13;
constexpr int spacing = 12;
constexpr int badgeSide = 46;
constexpr int moveButtonsPadding = 9;
constexpr int moveButtonSide = 18;
constexpr int moveButtonSpacing = 6;
constexpr int textsTrailingPadding = 38;

QToolButton* moveButton(const QString& symbol, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setFixedSize(moveButtonSide, moveButtonSide);
    button->setIconSize(QSize(12, 12));
    QIcon icon;
    icon.addPixmap(SymbolIcon::pixmap(symbol, 12, LorvPalette::fog()), QIcon::Normal);
    icon.addPixmap(SymbolIcon::pixmap(symbol, 12, LorvPalette::mist()), QIcon::Active);
    QColor faded = LorvPalette::fog();
    faded.setAlphaF(0.35);
    icon.addPixmap(SymbolIcon::pixmap(symbol, 12, faded), QIcon::Disabled);
    button->setIcon(icon);
    return button;
}

} // namespace

PlaylistTile::PlaylistTile(QWidget* parent)
    : QAbstractButton(parent) {
    setObjectName(QStringLiteral("playlistTile"));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    up_ = moveButton(QStringLiteral("arrow.up"), this);
    up_->setObjectName(QStringLiteral("moveUpButton"));
    down_ = moveButton(QStringLiteral("arrow.down"), this);
    down_->setObjectName(QStringLiteral("moveDownButton"));
    connect(up_, &QToolButton::clicked, this, [this] { Q_EMIT moveRequested(true); });
    connect(down_, &QToolButton::clicked, this, [this] { Q_EMIT moveRequested(false); });
    setContent({});
}

void PlaylistTile::setContent(const Content& content) {
    content_ = content;
    setToolTip(content.name);
    setAccessibleName(content.name);
    up_->setVisible(content.showsMoveButtons);
    down_->setVisible(content.showsMoveButtons);
    up_->setEnabled(content.canMoveUp);
    down_->setEnabled(content.canMoveDown);
    retranslate();
    update();
}

int PlaylistTile::textTrailingPadding() const {
    return content_.showsMoveButtons ? textsTrailingPadding : 0;
}

QSize PlaylistTile::sizeHint() const {
    return {230, tileHeight};
}

QSize PlaylistTile::minimumSizeHint() const {
    return {horizontalPadding * 2 + badgeSide + spacing, tileHeight};
}

void PlaylistTile::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    const QString upTitle = localizedString(LZ("Move Up"), language);
    const QString downTitle = localizedString(LZ("Move Down"), language);
    up_->setToolTip(upTitle);
    down_->setToolTip(downTitle);
    up_->setAccessibleName(localizedString(LZ("%1 · %2"), language, content_.name, upTitle));
    down_->setAccessibleName(localizedString(LZ("%1 · %2"), language, content_.name, downTitle));
}

void PlaylistTile::placeMoveButtons() {
    const int y = height() - moveButtonsPadding - moveButtonSide;
    const int downX = width() - moveButtonsPadding - moveButtonSide;
    down_->move(downX, y);
    up_->move(downX - moveButtonSpacing - moveButtonSide, y);
}

void PlaylistTile::resizeEvent(QResizeEvent* event) {
    QAbstractButton::resizeEvent(event);
    placeMoveButtons();
}

void PlaylistTile::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QAbstractButton::changeEvent(event);
}

void PlaylistTile::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Surfaces::paintPanel(
        p, rect(), 10, isDown() ? LorvPalette::night700() : LorvPalette::night800(),
        QColor(255, 255, 255, qRound(255 * 0.1)));
    if (hasFocus()) {
        p.setPen(QPen(LorvPalette::periwinkle(), 1));
        p.drawPath(shape);
    }

    const QRectF badge(horizontalPadding, (height() - badgeSide) / 2.0, badgeSide, badgeSide);
    QPainterPath badgeShape;
    badgeShape.addRoundedRect(badge, 8, 8);
    p.fillPath(badgeShape, LorvPalette::indigoDeep());
    const int symbolSide = 19;
    const QPixmap symbol = SymbolIcon::pixmap(QStringLiteral("music.note.list"), symbolSide,
                                              LorvPalette::lilac(), devicePixelRatioF());
    if (!symbol.isNull())
        p.drawPixmap(
            QPointF(badge.center().x() - symbolSide / 2.0, badge.center().y() - symbolSide / 2.0),
            symbol);

    const int textLeft = horizontalPadding + badgeSide + spacing;
    const int textWidth =
        std::max(0, width() - textLeft - horizontalPadding - textTrailingPadding());
    const QFont nameFont = TextStyle::callout(QFont::DemiBold);
    const QFont summaryFont = TextStyle::caption();
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics summaryMetrics(summaryFont);
    const int blockHeight = nameMetrics.height() + 6 + summaryMetrics.height();
    const int top = (height() - blockHeight) / 2;
    p.setFont(nameFont);
    p.setPen(LorvPalette::mist());
    p.drawText(QRect(textLeft, top, textWidth, nameMetrics.height()),
               Qt::AlignLeft | Qt::AlignVCenter,
               TextStyle::elided(nameMetrics, content_.name, textWidth));
    p.setFont(summaryFont);
    p.setPen(LorvPalette::fog());
    p.drawText(QRect(textLeft, top + nameMetrics.height() + 6, textWidth, summaryMetrics.height()),
               Qt::AlignLeft | Qt::AlignVCenter,
               TextStyle::elided(summaryMetrics, content_.summary, textWidth));
}
