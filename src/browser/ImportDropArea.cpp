#include "browser/ImportDropArea.h"

#include "appmodel/LorvPalette.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr int badgeSize = 33;
constexpr int symbolSize = 14;
constexpr int areaMinimumHeight = 64;

// The round icon at the start of the area.
class SymbolBadge : public QWidget {
public:
    explicit SymbolBadge(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(badgeSize, badgeSize);
    }

    QString symbol;
    QColor symbolColor;
    QColor fill;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawEllipse(rect());
        const QPixmap pixmap =
            SymbolIcon::pixmap(symbol, symbolSize, symbolColor, devicePixelRatioF());
        const int at = (badgeSize - symbolSize) / 2;
        p.drawPixmap(at, at, pixmap);
    }
};

// Dimmed to half while the area is disabled.
void setTextColors(QLabel* label, const QColor& color) {
    TextStyle::setTextColor(label, color);
    QPalette p = label->palette();
    QColor dimmed = color;
    dimmed.setAlphaF(0.5f);
    p.setColor(QPalette::Disabled, QPalette::WindowText, dimmed);
    label->setPalette(p);
}

} // namespace

ImportDropArea::Content ImportDropArea::content(const std::optional<IPodLibrary>& library,
                                                bool canImport, bool isOverDropZone,
                                                bool isOverTable, AppLanguage language) {
    Content content;
    if (library && !library->supportsNano5Import && library->writeBlocker) {
        content.readOnlyMessage = library->writeBlocker->description(language);
        content.playlistsOnly = library->supportsNano5PlaylistCreation;
    }
    // A drag over the table lights the area up as well.
    content.targeted = canImport && (isOverDropZone || isOverTable);
    if (library && library->supportsNano5Import)
        content.hint =
            localizedString(LZ("Nano 5 test import supports 44.1 kHz MP3 files."), language);
    else if (library)
        content.hint = localizedString(
            LZ("MP3, M4A, AAC, FLAC, and WAV. Lossless audio is converted automatically."),
            language);
    else
        content.hint = localizedString(LZ("Drop audio files when the library is ready."), language);
    return content;
}

bool ImportDropArea::isClickable(const std::optional<IPodLibrary>& library) {
    return !(library && library->writeBlocker && !library->supportsNano5Import);
}

QString ImportDropArea::title(const Content& content, AppLanguage language) {
    if (content.playlistsOnly)
        return localizedString(LZ("Adding and editing songs is unavailable"), language);
    if (content.readOnlyMessage)
        return localizedString(LZ("This device is read-only"), language);
    if (content.targeted)
        return localizedString(LZ("Release to add to iPod"), language);
    return localizedString(LZ("Click to choose or drop audio files"), language);
}

QString ImportDropArea::caption(const Content& content, AppLanguage language) {
    if (content.playlistsOnly)
        return localizedString(LZ("You can create playlists from songs already on this iPod."),
                               language);
    if (content.readOnlyMessage)
        return *content.readOnlyMessage;
    return content.hint;
}

ImportDropArea::ImportDropArea(QWidget* parent)
    : QAbstractButton(parent) {
    setObjectName(QStringLiteral("importDropArea"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 11, 16, 11);
    row->setSpacing(14);
    badge_ = new SymbolBadge(this);
    row->addWidget(badge_, 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    title_ = new QLabel(this);
    title_->setFont(TextStyle::callout(QFont::DemiBold));
    setTextColors(title_, LorvPalette::mist());
    caption_ = new QLabel(this);
    caption_->setFont(TextStyle::caption());
    caption_->setWordWrap(true);
    // Centred, a caption whose Han fallback has the taller ascent lands half a pixel lower, its
    // baseline rounds a row down, and the underscore (drawn below the Latin font's descent) falls
    // out of the label.
    caption_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColors(caption_, LorvPalette::fog());
    texts->addStretch(1);
    texts->addWidget(title_);
    texts->addWidget(caption_);
    texts->addStretch(1);
    row->addLayout(texts, 1);
    for (QWidget* child : {badge_, static_cast<QWidget*>(title_), static_cast<QWidget*>(caption_)})
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
    setMinimumHeight(areaMinimumHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    content_.hint =
        localizedString(LZ("Drop audio files when the library is ready."), AppLanguages::stored());
    refresh();
}

void ImportDropArea::setContent(const Content& content) {
    if (content == content_)
        return;
    content_ = content;
    refresh();
}

void ImportDropArea::setClickable(bool clickable) {
    clickable_ = clickable;
    setCursor(clickable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    setFocusPolicy(clickable ? Qt::TabFocus : Qt::NoFocus);
}

QString ImportDropArea::symbol() const {
    return content_.readOnlyMessage ? QStringLiteral("lock") : QStringLiteral("arrow.down.to.line");
}

QColor ImportDropArea::borderColor() const {
    if (content_.targeted)
        return LorvPalette::sky();
    if (content_.readOnlyMessage)
        return LorvPalette::slate500();
    QColor color = LorvPalette::steel400();
    color.setAlphaF(0.75f);
    return color;
}

QColor ImportDropArea::fillColor() const {
    return content_.targeted ? LorvPalette::indigoDeep() : LorvPalette::night800();
}

void ImportDropArea::refresh() {
    const AppLanguage language = AppLanguages::stored();
    const bool readOnly = content_.readOnlyMessage.has_value();
    auto* badge = static_cast<SymbolBadge*>(badge_);
    badge->symbol = symbol();
    badge->symbolColor = readOnly ? LorvPalette::fog() : LorvPalette::sky();
    badge->fill = readOnly ? LorvPalette::night800() : LorvPalette::slate600();
    badge->update();
    title_->setText(title(content_, language));
    caption_->setText(caption(content_, language));
    setAccessibleName(title_->text() + QStringLiteral(", ") + caption_->text());
    update();
}

QSize ImportDropArea::sizeHint() const {
    return layout()->sizeHint().expandedTo(QSize(0, areaMinimumHeight));
}

QSize ImportDropArea::minimumSizeHint() const {
    return layout()->minimumSize().expandedTo(QSize(0, areaMinimumHeight));
}

bool ImportDropArea::hitButton(const QPoint& pos) const {
    return clickable_ && rect().contains(pos);
}

void ImportDropArea::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    QAbstractButton::changeEvent(event);
}

void ImportDropArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        p.setOpacity(0.6);
    const qreal width = borderWidth();
    // The border is stroked inside the box.
    const QRectF box = QRectF(rect()).adjusted(width / 2, width / 2, -width / 2, -width / 2);
    QPainterPath shape;
    shape.addRoundedRect(box, 9, 9);
    p.fillPath(shape, fillColor());
    QPen pen(borderColor(), width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    if (isDashed())
        // Dash lengths count in pen widths.
        pen.setDashPattern({5 / width, 4 / width});
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
}
