#include "showcase/DeviceShareButton.h"

#include "appmodel/LorvPalette.h"
#include "platform/AppLanguage.h"
#include "showcase/ShowcaseDrawing.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
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

void DeviceShareButton::setContent(const Content& content) {
    content_ = content;
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
    DeviceSharePreview::Input input{content_.title,  content_.years, content_.capacities,
                                    content_.finish, std::nullopt,   content_.rearArtwork};
    if (content_.artwork)
        input.artwork = content_.artwork();
    auto* preview = new DeviceSharePreview(input, window(), this);
    preview_ = preview;
    preview->adjustSize();
    // Under the button, kept on the screen.
    QPoint at = mapToGlobal(QPoint(width() / 2 - preview->width() / 2, height() + 4));
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(),
                           std::max(area.left(), area.right() - preview->width())));
        at.setY(std::clamp(at.y(), area.top(),
                           std::max(area.top(), area.bottom() - preview->height())));
    }
    preview->move(at);
    preview->show();
    return preview;
}
