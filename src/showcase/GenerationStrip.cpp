#include "showcase/GenerationStrip.h"

#include "appmodel/LorvPalette.h"
#include "showcase/ShowcaseDrawing.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include <cmath>

namespace {

constexpr double textSize = 12;
constexpr double spacing = 5;
constexpr double padding = 10;

} // namespace

GenerationPill::GenerationPill(int index, QWidget* parent)
    : QAbstractButton(parent)
    , index_(index) {
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCheckable(true);
}

void GenerationPill::setContent(const QString& ordinal, const QString& year, bool selected) {
    setChecked(selected);
    if (ordinal == ordinal_ && year == year_)
        return;
    ordinal_ = ordinal;
    year_ = year;
    setText(ordinal + u' ' + year);
    setAccessibleName(text());
    updateGeometry();
    update();
}

QSize GenerationPill::sizeHint() const {
    const double w =
        padding +
        ShowcaseDrawing::lineWidth(ordinal_, ShowcaseDrawing::font(textSize, QFont::Medium, this)) +
        spacing +
        ShowcaseDrawing::lineWidth(year_, ShowcaseDrawing::font(textSize, QFont::Normal, this)) +
        padding;
    return QSize(int(std::ceil(w)), fixedHeight);
}

bool GenerationPill::hitButton(const QPoint& pos) const {
    return ShowcaseDrawing::capsule(QRectF(rect())).contains(QPointF(pos));
}

void GenerationPill::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(rect());
    const bool selected = isSelected();
    p.fillPath(ShowcaseDrawing::capsule(r),
               selected ? LorvPalette::indigoDeep() : LorvPalette::night800());
    p.setPen(QPen(selected ? LorvPalette::periwinkle() : LorvPalette::slate500(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ShowcaseDrawing::capsule(r.adjusted(0.5, 0.5, -0.5, -0.5)));
    const QFont ordinalFont = ShowcaseDrawing::font(textSize, QFont::Medium, this);
    const QFont yearFont = ShowcaseDrawing::font(textSize, QFont::Normal, this);
    const double ordinalWidth = ShowcaseDrawing::lineWidth(ordinal_, ordinalFont);
    const double yearWidth = ShowcaseDrawing::lineWidth(year_, yearFont);
    double x = (r.width() - ordinalWidth - spacing - yearWidth) / 2;
    ShowcaseDrawing::drawLine(p, {ordinalFont, ordinal_, ordinalWidth},
                              QRectF(x, 0, ordinalWidth, r.height()),
                              Qt::AlignLeft | Qt::AlignVCenter, LorvPalette::mist());
    x += ordinalWidth + spacing;
    ShowcaseDrawing::drawLine(p, {yearFont, year_, yearWidth}, QRectF(x, 0, yearWidth, r.height()),
                              Qt::AlignLeft | Qt::AlignVCenter, LorvPalette::fog());
    if (hasFocus()) {
        p.setPen(QPen(LorvPalette::sky(), 1));
        p.drawPath(ShowcaseDrawing::capsule(r.adjusted(1.5, 1.5, -1.5, -1.5)));
    }
}

GenerationStrip::GenerationStrip(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("generationStrip"));
    setFixedHeight(fixedHeight);
    setMaximumWidth(widthLimit);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(false);
    scroll_->setAutoFillBackground(false);
    scroll_->viewport()->setAutoFillBackground(false);
    row_ = new QWidget;
    auto* layout = new QHBoxLayout(row_);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->setSpacing(5);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    scroll_->setWidget(row_);
    // The scroll area gives its widget a background of its own; the capsule shows through.
    row_->setAutoFillBackground(false);
}

void GenerationStrip::setContent(const QList<Pill>& pills, int selected) {
    while (pills_.size() > pills.size())
        delete pills_.takeLast();
    while (pills_.size() < pills.size()) {
        auto* pill = new GenerationPill(int(pills_.size()), row_);
        connect(pill, &QAbstractButton::clicked, this,
                [this, index = pill->index()] { Q_EMIT generationClicked(index); });
        row_->layout()->addWidget(pill);
        pill->show();
        pills_.append(pill);
    }
    for (int i = 0; i < pills.size(); ++i)
        pills_[i]->setContent(pills[i].ordinal, pills[i].year, i == selected);
    selected_ = selected;
    row_->layout()->activate();
    row_->adjustSize();
    updateGeometry();
    centreSelection();
}

QSize GenerationStrip::sizeHint() const {
    row_->layout()->activate();
    return QSize(std::min(row_->sizeHint().width(), widthLimit), fixedHeight);
}

QSize GenerationStrip::minimumSizeHint() const {
    return QSize(std::min(sizeHint().width(), 80), fixedHeight);
}

bool GenerationStrip::scrolls() const {
    return row_->width() > width();
}

void GenerationStrip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    scroll_->setGeometry(rect());
    // Pills stay inside the capsule when the row scrolls under its rounded ends.
    QPainterPath shape = ShowcaseDrawing::capsule(QRectF(rect()));
    scroll_->setMask(QRegion(shape.toFillPolygon().toPolygon()));
    centreSelection();
}

void GenerationStrip::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    centreSelection();
}

void GenerationStrip::centreSelection() {
    if (selected_ < 0 || selected_ >= pills_.size())
        return;
    // The scroll range follows the viewport's size, which a hidden strip learns only when shown.
    scroll_->horizontalScrollBar()->setRange(0, std::max(0, row_->width() - width()));
    const QRect pill = pills_[selected_]->geometry();
    scroll_->horizontalScrollBar()->setValue(pill.center().x() - width() / 2);
}

void GenerationStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(ShowcaseDrawing::capsule(QRectF(rect())), LorvPalette::night700());
}
