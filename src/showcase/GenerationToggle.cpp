#include "showcase/GenerationToggle.h"

#include "appmodel/LorvPalette.h"
#include "showcase/ShowcaseDrawing.h"

#include <QPainter>

#include <cmath>

namespace {

constexpr double padding = 10;
constexpr double spacing = 7;
constexpr double chevronSpacing = 4;
constexpr double chevronSize = 9;
constexpr double textSize = 12;

} // namespace

GenerationToggle::GenerationToggle(QWidget* parent)
    : QAbstractButton(parent) {
    setObjectName(QStringLiteral("generationToggle"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void GenerationToggle::setContent(const QString& title, const QString& action, bool collapses,
                                  const QString& accessibleName) {
    if (title == title_ && action == action_ && collapses == collapses_ &&
        accessibleName == this->accessibleName())
        return;
    title_ = title;
    action_ = action;
    collapses_ = collapses;
    setText(title + QStringLiteral(" | ") + action);
    setAccessibleName(accessibleName);
    updateGeometry();
    update();
}

QSize GenerationToggle::sizeHint() const {
    const QFont f = ShowcaseDrawing::font(textSize, QFont::DemiBold, this);
    const double w = padding + ShowcaseDrawing::lineWidth(title_, f) + spacing + 1 + spacing +
                     ShowcaseDrawing::lineWidth(action_, f) + chevronSpacing + chevronSize +
                     padding;
    return QSize(int(std::ceil(w)), fixedHeight);
}

bool GenerationToggle::hitButton(const QPoint& pos) const {
    return ShowcaseDrawing::capsule(QRectF(rect())).contains(QPointF(pos));
}

void GenerationToggle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(rect());
    p.fillPath(ShowcaseDrawing::capsule(r), LorvPalette::night700());
    const QFont f = ShowcaseDrawing::font(textSize, QFont::DemiBold, this);
    double x = (r.width() - sizeHint().width()) / 2 + padding;
    const double titleWidth = ShowcaseDrawing::lineWidth(title_, f);
    ShowcaseDrawing::drawLine(p, {f, title_, titleWidth}, QRectF(x, 0, titleWidth, r.height()),
                              Qt::AlignLeft | Qt::AlignVCenter, LorvPalette::mist());
    x += titleWidth + spacing;
    p.fillRect(QRectF(x, (r.height() - 10) / 2, 1, 10), LorvPalette::steel400());
    x += 1 + spacing;
    const double actionWidth = ShowcaseDrawing::lineWidth(action_, f);
    ShowcaseDrawing::drawLine(p, {f, action_, actionWidth}, QRectF(x, 0, actionWidth, r.height()),
                              Qt::AlignLeft | Qt::AlignVCenter, LorvPalette::sky());
    x += actionWidth + chevronSpacing;
    ShowcaseDrawing::drawChevron(p, QPointF(x + chevronSize / 2, r.height() / 2), chevronSize,
                                 collapses_, LorvPalette::sky());
    if (hasFocus()) {
        p.setPen(QPen(LorvPalette::periwinkle(), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(ShowcaseDrawing::capsule(r.adjusted(0.5, 0.5, -0.5, -0.5)));
    }
}
