#include "showcase/SeriesPillBar.h"

#include "appmodel/LorvPalette.h"
#include "showcase/ShowcaseDrawing.h"
#include "showcase/ShowcaseMotion.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace {

constexpr double nameSize = 14;
constexpr double countSize = 12;
constexpr double labelSpacing = 5;
constexpr double padding = 10;

QString countText(StartupSeries series) {
    return QStringLiteral("(%1)").arg(series.models().size());
}

QRectF lerp(const QRectF& a, const QRectF& b, double t) {
    const auto mix = [t](double x, double y) { return x + (y - x) * t; };
    return QRectF(mix(a.x(), b.x()), mix(a.y(), b.y()), mix(a.width(), b.width()),
                  mix(a.height(), b.height()));
}

} // namespace

QString seriesFacts(StartupSeries series, AppLanguage language) {
    return localizedString(
        LZ("%1 generations · First sold %2 · Discontinued %3 · %4"), language,
        QString::number(series.models().size()), localizedString(series.firstSoldLabel(), language),
        QString::number(series.lastYear()), localizedString(series.salesSummary(), language));
}

SeriesPill::SeriesPill(StartupSeries series, QWidget* parent)
    : QAbstractButton(parent)
    , series_(series) {
    setText(series.displayName());
    setAccessibleName(series.displayName());
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setCheckable(true);
}

QSize SeriesPill::sizeHint() const {
    const double w =
        padding +
        ShowcaseDrawing::lineWidth(text(), ShowcaseDrawing::font(nameSize, QFont::Medium, this)) +
        labelSpacing +
        ShowcaseDrawing::lineWidth(countText(series_),
                                   ShowcaseDrawing::font(countSize, QFont::Medium, this)) +
        padding;
    return QSize(int(std::ceil(w)), fixedHeight);
}

bool SeriesPill::hitButton(const QPoint& pos) const {
    return ShowcaseDrawing::capsule(QRectF(rect())).contains(QPointF(pos));
}

void SeriesPill::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    Q_EMIT hovered(series_, true);
}

void SeriesPill::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    Q_EMIT hovered(series_, false);
}

void SeriesPill::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour = isSelected() ? LorvPalette::mist() : LorvPalette::fog();
    const QFont nameFont = ShowcaseDrawing::font(nameSize, QFont::Medium, this);
    const QFont countFont = ShowcaseDrawing::font(countSize, QFont::Medium, this);
    const double nameWidth = ShowcaseDrawing::lineWidth(text(), nameFont);
    const double countWidth = ShowcaseDrawing::lineWidth(countText(series_), countFont);
    double x = (width() - (nameWidth + labelSpacing + countWidth)) / 2;
    ShowcaseDrawing::drawLine(p, {nameFont, text(), nameWidth},
                              QRectF(x, 0, nameWidth, fixedHeight),
                              Qt::AlignLeft | Qt::AlignVCenter, colour);
    x += nameWidth + labelSpacing;
    p.setOpacity(0.7);
    ShowcaseDrawing::drawLine(p, {countFont, countText(series_), countWidth},
                              QRectF(x, 0, countWidth, fixedHeight),
                              Qt::AlignLeft | Qt::AlignVCenter, colour);
}

SeriesPillBar::SeriesPillBar(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("seriesPillBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(3, 3, 3, 3);
    row->setSpacing(2);
    for (StartupSeries series : StartupSeries::allCases()) {
        auto* pill = new SeriesPill(series, this);
        connect(pill, &QAbstractButton::clicked, this,
                [this, series] { Q_EMIT seriesClicked(series); });
        connect(pill, &SeriesPill::hovered, this, &SeriesPillBar::seriesHovered);
        row->addWidget(pill);
        pills_.append(pill);
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    animation_ = new QVariantAnimation(this);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        highlight_ = lerp(highlightFrom_, pillRect(series_), v.toDouble());
        update();
    });
    pills_.front()->setSelected(true);
    retranslate();
}

void SeriesPillBar::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    setAccessibleName(localizedString(LZ("iPod Series"), language));
    for (SeriesPill* pill : pills_)
        pill->setAccessibleDescription(seriesFacts(pill->series(), language));
}

bool SeriesPillBar::event(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    return QWidget::event(event);
}

QRectF SeriesPillBar::pillRect(StartupSeries series) const {
    return QRectF(pills_[int(series)]->geometry());
}

void SeriesPillBar::setSeries(StartupSeries series, StartupDeviceFlowState::Animation animation) {
    for (SeriesPill* pill : pills_)
        pill->setSelected(pill->series() == series);
    const bool changed = series != series_;
    series_ = series;
    if (!changed || animation == StartupDeviceFlowState::Animation::none || !isVisible()) {
        animation_->stop();
        highlight_ = pillRect(series);
        update();
        return;
    }
    highlightFrom_ = highlight_;
    ShowcaseMotion::prepare(*animation_, animation);
    animation_->start();
}

void SeriesPillBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (animation_->state() != QAbstractAnimation::Running)
        highlight_ = pillRect(series_);
}

void SeriesPillBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(ShowcaseDrawing::capsule(QRectF(rect())), LorvPalette::night700());
    if (!highlight_.isEmpty())
        p.fillPath(ShowcaseDrawing::capsule(highlight_), LorvPalette::indigoDeep());
}
