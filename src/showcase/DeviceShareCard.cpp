#include "showcase/DeviceShareCard.h"

#include "appmodel/LorvPalette.h"
#include "artwork/DeviceArt.h"
#include "showcase/ShowcaseDrawing.h"

#include <QFontMetricsF>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace {

constexpr double singleBoxWidth = 310;
constexpr double pairBoxWidth = 241;
constexpr double boxHeight = 246;
constexpr double pairSpacing = 30;
constexpr double shadowOpacity = 0.5;
constexpr double shadowSigma = 8; // a shadow radius of 16
constexpr double shadowOffsetY = 10;
constexpr double glowInner = 8;
constexpr double glowOuter = 225;
constexpr double ruleLength = 16;
constexpr double ruleSpacing = 13;
constexpr double captionPaddingX = 16;
constexpr double captionPaddingTop = 9;
constexpr double captionPaddingBottom = 17;
constexpr double infoPaddingTop = 17;
constexpr double infoSpacing = 20;
constexpr double titleSpacing = 5;

// Fonts are measured on an image, as the card is always painted on one: the size in card units
// then means the same on every screen.
const QImage& referenceDevice() {
    static const QImage device(1, 1, QImage::Format_RGB32);
    return device;
}

QFontMetricsF metrics(const QFont& font) {
    return QFontMetricsF(font, &referenceDevice());
}

// Shrinks a line down to a share of its size before cutting it with an ellipsis.
DeviceShareCard::Line fit(const QString& text, double size, QFont::Weight weight, bool serif,
                          double width, double minimumScale, double letterSpacing = 0) {
    const auto make = [&](double s) {
        QFont f = DeviceShareCard::font(s, weight, serif);
        if (letterSpacing != 0)
            f.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing * s / size);
        return f;
    };
    DeviceShareCard::Line line{make(size), text, {}};
    double natural = metrics(line.font).horizontalAdvance(text);
    if (natural > width && natural > 0) {
        line.font = make(size * std::max(minimumScale, width / natural));
        natural = metrics(line.font).horizontalAdvance(text);
        if (natural > width + 0.01)
            line.text = metrics(line.font).elidedText(text, Qt::ElideRight, std::max(0.0, width));
    }
    line.rect.setSize(QSizeF(std::min(width, metrics(line.font).horizontalAdvance(line.text)),
                             metrics(make(size)).height()));
    return line;
}

void drawLine(QPainter& painter, const DeviceShareCard::Line& line, Qt::Alignment alignment,
              const QColor& colour) {
    ShowcaseDrawing::drawLine(painter, {line.font, line.text, line.rect.width()}, line.rect,
                              alignment, colour);
}

QImage layer(QSize pixels, double ratio) {
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

QFont DeviceShareCard::font(double size, QFont::Weight weight, bool serif) {
    QFont f =
        DeviceArt::font(serif ? DeviceArt::Family::serif : DeviceArt::Family::sans, weight, 1);
    f.setPointSizeF(size * 72.0 / referenceDevice().logicalDpiY());
    return f;
}

DeviceShareCard::Layout DeviceShareCard::layout() const {
    Layout l;
    l.content = QRectF(padding, padding, width - 2 * padding, height - 2 * padding);

    // The info row stands on the content's bottom edge; its items align on their bottoms.
    l.wordmark = fit(QStringLiteral("Lorvanel"), 17, QFont::DemiBold, false, 1e6, 1);
    const double blockWidth =
        std::max(0.0, l.content.width() - infoSpacing - l.wordmark.rect.width());
    l.title = fit(title, 26, QFont::DemiBold, false, blockWidth, 0.65);
    double blockHeight = l.title.rect.height();
    if (details) {
        l.details = fit(*details, 13, QFont::Medium, false, blockWidth, 0.75);
        blockHeight += titleSpacing + l.details->rect.height();
    }
    const double rowHeight = std::max(blockHeight, l.wordmark.rect.height());
    const double bottom = l.content.bottom();
    l.infoRow = QRectF(l.content.left(), bottom - rowHeight - infoPaddingTop, l.content.width(),
                       rowHeight + infoPaddingTop);
    l.title.rect.moveTopLeft(QPointF(l.content.left(), bottom - blockHeight));
    l.title.rect.setWidth(blockWidth);
    if (l.details) {
        l.details->rect.moveTopLeft(
            QPointF(l.content.left(), l.title.rect.bottom() + titleSpacing));
        l.details->rect.setWidth(blockWidth);
    }
    l.wordmark.rect.moveBottomRight(QPointF(l.content.right(), bottom));

    l.rule = QRectF(l.content.left(), l.infoRow.top() - 1, l.content.width(), 1);
    double stageBottom = l.rule.top();
    if (!caption.isEmpty()) {
        const double room =
            l.content.width() - 2 * captionPaddingX - 2 * (ruleLength + ruleSpacing);
        l.caption = fit(caption, 17, QFont::Medium, true, std::max(0.0, room), 0.62, 0.65);
        const double lineHeight =
            captionPaddingTop + l.caption.rect.height() + captionPaddingBottom;
        l.engravingLine =
            QRectF(l.content.left(), stageBottom - lineHeight, l.content.width(), lineHeight);
        const double textWidth = l.caption.rect.width();
        const double rowWidth = 2 * (ruleLength + ruleSpacing) + textWidth;
        const double x = l.content.center().x() - rowWidth / 2;
        const double top = l.engravingLine->top() + captionPaddingTop;
        l.caption.rect.moveTopLeft(QPointF(x + ruleLength + ruleSpacing, top));
        const double ruleY = l.caption.rect.center().y();
        l.leftRule = QRectF(x, ruleY, ruleLength, 1);
        l.rightRule = QRectF(l.caption.rect.right() + ruleSpacing, ruleY, ruleLength, 1);
        stageBottom = l.engravingLine->top();
    }
    l.stage = QRectF(l.content.left(), l.content.top(), l.content.width(),
                     std::max(0.0, stageBottom - l.content.top()));

    const double h = std::min(boxHeight, l.stage.height());
    const QPointF c = l.stage.center();
    if (rearArtwork) {
        const double w = std::min(pairBoxWidth, (l.stage.width() - pairSpacing) / 2);
        l.frontBox = QRectF(c.x() - pairSpacing / 2 - w, c.y() - h / 2, w, h);
        l.backBox = QRectF(c.x() + pairSpacing / 2, c.y() - h / 2, w, h);
        // The back has its own proportions; fit them like the front's.
        l.back = DeviceArt::aspectFitted(l.backBox, rearArtwork->aspectRatio());
    } else {
        const double w = std::min(singleBoxWidth, l.stage.width());
        l.frontBox = QRectF(c.x() - w / 2, c.y() - h / 2, w, h);
    }
    l.front = artwork ? artwork->fittedRect(l.frontBox) : QRectF();
    return l;
}

void DeviceShareCard::render(QPainter& painter) const {
    const Layout l = layout();
    DeviceArt::PainterState state(painter);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.fillRect(QRectF(0, 0, width, height), LorvPalette::night900());

    // The glow fades out at its radius; cut at the stage's frame its edges would show as lines
    // across the card, so it is drawn whole.
    {
        QRadialGradient gradient(l.stage.center(), glowOuter);
        gradient.setColorAt(glowInner / glowOuter, LorvPalette::indigoDeep());
        gradient.setColorAt(1, DeviceArt::clear());
        painter.fillRect(QRectF(0, 0, width, height), gradient);
    }

    // The devices are drawn once into a layer, which also gives their shadow.
    const double ratio = std::max(1.0, painter.device()->devicePixelRatioF() *
                                           std::sqrt(std::abs(painter.transform().determinant())));
    const QRectF area = l.stage.adjusted(-shadowSigma * 3, -shadowSigma * 3, shadowSigma * 3,
                                         shadowSigma * 3 + shadowOffsetY);
    const QSize pixels(int(std::ceil(area.width() * ratio)), int(std::ceil(area.height() * ratio)));
    QImage devices = layer(pixels, ratio);
    {
        QPainter p(&devices);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.translate(-area.topLeft());
        if (artwork)
            artwork->render(p, l.frontBox);
        if (rearArtwork && !l.back.isEmpty()) {
            DeviceArt::PainterState back(p);
            p.translate(l.back.topLeft());
            rearArtwork->render(p, l.back.size());
        }
    }
    QImage shadow = devices.copy();
    {
        QPainter p(&shadow);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(QRectF(0, 0, area.width(), area.height()), DeviceArt::black(shadowOpacity));
    }
    DeviceArt::blurImage(shadow, shadowSigma * ratio);
    painter.drawImage(area.translated(0, shadowOffsetY), shadow);
    painter.drawImage(area, devices);

    if (l.engravingLine) {
        const QColor ruleColour = DeviceArt::withOpacity(LorvPalette::sky(), 0.39);
        painter.fillRect(l.leftRule, ruleColour);
        painter.fillRect(l.rightRule, ruleColour);
        drawLine(painter, l.caption, Qt::AlignHCenter | Qt::AlignVCenter, LorvPalette::mist());
    }
    painter.fillRect(l.rule, LorvPalette::slate500());
    drawLine(painter, l.title, Qt::AlignLeft | Qt::AlignVCenter, Qt::white);
    if (l.details)
        drawLine(painter, *l.details, Qt::AlignLeft | Qt::AlignVCenter, LorvPalette::fog());
    drawLine(painter, l.wordmark, Qt::AlignRight | Qt::AlignVCenter, LorvPalette::sky());
}

QImage DeviceShareCard::image(double scale) const {
    QImage out(int(std::lround(width * scale)), int(std::lround(height * scale)),
               QImage::Format_RGB32);
    out.setDevicePixelRatio(scale);
    out.fill(LorvPalette::night900());
    QPainter painter(&out);
    render(painter);
    painter.end();
    return out;
}
