#include "showcase/DeviceShareButton.h"

#include "appmodel/LorvPalette.h"
#include "artwork/PopupPlacement.h"
#include "platform/AppLanguage.h"
#include "showcase/ShowcaseDrawing.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHideEvent>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>

DeviceShareButton::DeviceShareButton(QWidget* parent)
    : QToolButton(parent) {
    setObjectName(QStringLiteral("deviceShareButton"));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setAutoRaise(true);
    setIconSize(QSize(symbolSize, symbolSize));
    setFixedSize(28, 26);
    connect(this, &QToolButton::clicked, this, [this] { showPreview(); });
    retranslate();
}

namespace {

// Whether two contents make the same card; the artwork is built from what these name.
bool sameCard(const DeviceShareButton::Content& a, const DeviceShareButton::Content& b) {
    const auto years = [](const DeviceShareButton::Content& c) {
        return c.years ? std::optional(std::pair(c.years->first, c.years->last)) : std::nullopt;
    };
    const auto rear = [](const DeviceShareButton::Content& c) {
        const auto& r = c.rearArtwork;
        return r ? std::optional(std::tuple(r->series.rawValue(), r->generation,
                                            r->finish.rawValue(), r->rearCapacity,
                                            r->rearEngraving))
                 : std::nullopt;
    };
    return a.title == b.title && years(a) == years(b) && a.capacities == b.capacities &&
           a.finish == b.finish && rear(a) == rear(b) && bool(a.artwork) == bool(b.artwork);
}

} // namespace

void DeviceShareButton::setContent(const Content& content) {
    const bool changed = !sameCard(content, content_);
    content_ = content;
    // An open popup shows what the device is now known to be.
    if (changed && showsPreview())
        preview_->setInput(input());
}

void DeviceShareButton::hideEvent(QHideEvent* event) {
    QToolButton::hideEvent(event);
    // A popup is a window of its own: it would stay over whatever took the button's place.
    if (!event->spontaneous() && preview_)
        preview_->close();
}

DeviceSharePreview::Input DeviceShareButton::input() const {
    DeviceSharePreview::Input input{content_.title,  content_.years, content_.capacities,
                                    content_.finish, std::nullopt,   content_.rearArtwork};
    if (content_.artwork)
        input.artwork = content_.artwork();
    return input;
}

void DeviceShareButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QToolButton::changeEvent(event);
}

void DeviceShareButton::retranslate() {
    const QString help = localizedString(LZ("Share Device Image"), AppLanguages::stored());
    setToolTip(help);
    setAccessibleName(help);
}

void DeviceShareButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.icon = QIcon();
    option.text.clear();
    p.drawComplexControl(QStyle::CC_ToolButton, option);
    const QRectF box(QPointF(0, 0), QSizeF(symbolSize, symbolSize));
    ShowcaseDrawing::drawSymbol(p, ShowcaseDrawing::Symbol::share,
                                box.translated(QRectF(rect()).center() - box.center()),
                                isEnabled() ? LorvPalette::mist() : LorvPalette::steel400());
}

DeviceSharePreview* DeviceShareButton::showPreview() {
    if (preview_)
        preview_->close();
    auto* preview = new DeviceSharePreview(input(), window(), this);
    preview_ = preview;
    preview->adjustSize();
    PopupPlacement::place(preview, this, 4);
    preview->show();
    return preview;
}
