#include "app/DetailPane.h"

#include "app/UnmountedDevicePane.h"
#include "appmodel/InterfaceFont.h"
#include "appmodel/LorvPalette.h"
#include "showcase/StartupDeviceFlow.h"

#include <QEasingCurve>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <QVariantAnimation>

DetailScreen detailScreen(const DetailDispatchInput& input) {
    if (input.hasSelectedDevice)
        return DetailScreen::library;
    if (input.hasSelectedMobileDevice)
        return DetailScreen::mobile;
    if (input.isListedUnmountedSelection)
        return DetailScreen::unmounted;
    return DetailScreen::showcase;
}

namespace {

class Dot : public QWidget {
public:
    explicit Dot(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(10, 10);
    }
    QColor color;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(rect());
    }
};

// The old screen's picture, fading out over the new one.
class FadeOut : public QWidget {
public:
    FadeOut(const QPixmap& picture, QWidget* parent)
        : QWidget(parent)
        , picture(picture) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    qreal opacity = 1;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setOpacity(opacity);
        p.drawPixmap(0, 0, picture);
    }

private:
    QPixmap picture;
};

} // namespace

DetailPlaceholder::DetailPlaceholder(QWidget* parent)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);
    column->addStretch(1);
    auto* line = new QHBoxLayout;
    line->setSpacing(10);
    line->addStretch(1);
    dot_ = new Dot(this);
    title_ = new QLabel(this);
    QFont font = title_->font();
    font.setPixelSize(20);
    title_->setFont(InterfaceFont::weighted(font, QFont::DemiBold));
    QPalette p = title_->palette();
    p.setColor(QPalette::WindowText, LorvPalette::mist());
    title_->setPalette(p);
    line->addWidget(dot_);
    line->addWidget(title_);
    line->addStretch(1);
    column->addLayout(line);
    column->addStretch(1);
}

void DetailPlaceholder::setContent(const QString& title, const QColor& accent) {
    title_->setText(title);
    static_cast<Dot*>(dot_)->color = accent;
    dot_->update();
}

DetailPane::DetailPane(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("detailPane"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, LorvPalette::night900());
    setPalette(p);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    stack_ = new QStackedWidget(this);
    library_ = new DetailPlaceholder(stack_);
    library_->setObjectName(QStringLiteral("libraryPane"));
    mobile_ = new DetailPlaceholder(stack_);
    mobile_->setObjectName(QStringLiteral("mobileDevicePane"));
    unmounted_ = new UnmountedDevicePane(stack_);
    showcase_ = new StartupDeviceFlow(StartupSeries::shuffle, {}, stack_);
    stack_->addWidget(library_);
    stack_->addWidget(mobile_);
    stack_->addWidget(unmounted_);
    stack_->addWidget(showcase_);
    stack_->setCurrentWidget(showcase_);
    layout->addWidget(stack_);
}

void DetailPane::setLibraryPane(QWidget* pane) {
    replacePage(library_, pane);
}

void DetailPane::setMobilePane(QWidget* pane) {
    replacePage(mobile_, pane);
}

void DetailPane::replacePage(QWidget*& page, QWidget* pane) {
    const bool current = stack_->currentWidget() == page;
    stack_->insertWidget(stack_->indexOf(page), pane);
    stack_->removeWidget(page);
    page->deleteLater();
    page = pane;
    if (current)
        stack_->setCurrentWidget(pane);
}

QWidget* DetailPane::page(DetailScreen screen) const {
    switch (screen) {
    case DetailScreen::library:
        return library_;
    case DetailScreen::mobile:
        return mobile_;
    case DetailScreen::unmounted:
        return unmounted_;
    case DetailScreen::showcase:
        break;
    }
    return showcase_;
}

void DetailPane::showScreen(DetailScreen screen, bool animate) {
    const bool crossesShowcase =
        (screen == DetailScreen::showcase) != (screen_ == DetailScreen::showcase);
    QWidget* next = page(screen);
    if (animate && crossesShowcase && isVisible() && stack_->currentWidget() != next) {
        delete fade_;
        auto* overlay = new FadeOut(stack_->currentWidget()->grab(), this);
        overlay->setGeometry(stack_->geometry());
        overlay->show();
        overlay->raise();
        fade_ = overlay;
        auto* animation = new QVariantAnimation(overlay);
        animation->setDuration(fadeMilliseconds);
        QEasingCurve easeInOut(QEasingCurve::BezierSpline);
        easeInOut.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
        animation->setEasingCurve(easeInOut);
        animation->setStartValue(1.0);
        animation->setEndValue(0.0);
        connect(animation, &QVariantAnimation::valueChanged, overlay, [overlay](const QVariant& v) {
            overlay->opacity = v.toReal();
            overlay->update();
        });
        connect(animation, &QVariantAnimation::finished, overlay, &QObject::deleteLater);
        animation->start();
    }
    if (screen == DetailScreen::showcase && screen_ != DetailScreen::showcase)
        showcase_->state().resetViewState();
    screen_ = screen;
    stack_->setCurrentWidget(next);
}

void DetailPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (fade_)
        fade_->setGeometry(stack_->geometry());
}
