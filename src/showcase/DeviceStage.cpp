#include "showcase/DeviceStage.h"

#include "appmodel/LorvPalette.h"
#include "appmodel/ReduceMotion.h"
#include "artwork/DeviceArt.h"
#include "showcase/GenerationToggle.h"
#include "showcase/ShowcaseDrawing.h"
#include "showcase/ShowcaseMotion.h"
#include "showcase/StartupCarouselScroll.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <future>
#include <iterator>
#include <numeric>

namespace {

constexpr double shadowOpacity = 0.32;
constexpr double shadowSigma = 6; // a shadow radius of 12
constexpr double shadowOffsetY = 9;
constexpr double shadowMargin = 20; // room for the blur around the silhouette
constexpr int shadowDownscale = 4;  // the blur hides the lost detail
constexpr double reflectionOpacity = 0.25;
constexpr double captionSize = 12;

double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

// The foot of the artwork, mirrored and fading out downwards, as tall as the stage's
// reflection whatever the artwork's size.
QImage reflectionStrip(const QImage& artwork, QSizeF logical, double reflectionHeight,
                       double ratio) {
    const QSize pixels(std::max(1, int(std::ceil(logical.width() * ratio))),
                       std::max(1, int(std::ceil(reflectionHeight * ratio))));
    QImage strip(pixels, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    if (logical.height() <= 0)
        return strip;
    const double share = std::min(1.0, reflectionHeight / logical.height());
    const double rows = share * artwork.height();
    QPainter p(&strip);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.translate(0, pixels.height());
    p.scale(1, -1);
    p.drawImage(QRectF(0, 0, pixels.width(), pixels.height()), artwork,
                QRectF(0, artwork.height() - rows, artwork.width(), rows));
    p.resetTransform();
    p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    QLinearGradient mask(0, 0, 0, pixels.height());
    mask.setColorAt(0, DeviceArt::white(reflectionOpacity));
    mask.setColorAt(1, DeviceArt::clear());
    p.fillRect(QRect(QPoint(0, 0), pixels), mask);
    return strip;
}

// The stage's items to assistive technology: one element per item, named by its model, the
// centre one selected.
class StageItemAccessible : public QAccessibleInterface {
public:
    StageItemAccessible(DeviceStage* stage, int position)
        : stage_(stage)
        , position_(position) {}

    bool isValid() const override {
        return stage_ && position_ < int(stage_->content().items.size());
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return stage_ ? stage_->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return stage_ ? QAccessible::queryAccessibleInterface(stage_) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (!isValid() || t != QAccessible::Name)
            return {};
        return stage_->content().items[std::size_t(position_)].accessibleName;
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect local = stage_->artworkQuad(position_).boundingRect().toAlignedRect();
        return QRect(stage_->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (isValid()) {
            s.selectable = true;
            s.selected = stage_->frames()[std::size_t(position_)].offset == 0;
        }
        return s;
    }

private:
    QPointer<DeviceStage> stage_;
    int position_;
};

class StageAccessible : public QAccessibleWidget {
public:
    explicit StageAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::Grouping) {}

    DeviceStage* stage() const { return static_cast<DeviceStage*>(widget()); }
    int itemCount() const { return int(stage()->content().items.size()); }

    int childCount() const override { return itemCount() + QAccessibleWidget::childCount(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0)
            return nullptr;
        if (index < itemCount()) {
            auto& slot = items_[index];
            if (!slot) {
                slot = new StageItemAccessible(stage(), index);
                QAccessible::registerAccessibleInterface(slot);
            }
            return slot;
        }
        return QAccessibleWidget::child(index - itemCount());
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (const auto& [index, item] : items_)
            if (item == child)
                return index;
        const int widgetIndex = QAccessibleWidget::indexOfChild(child);
        return widgetIndex < 0 ? -1 : widgetIndex + itemCount();
    }
    ~StageAccessible() override {
        for (const auto& [index, item] : items_)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(item));
    }

private:
    mutable std::map<int, QAccessibleInterface*> items_;
};

QAccessibleInterface* stageAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("DeviceStage") && object && object->isWidgetType())
        return new StageAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

DeviceStage::DeviceStage(QWidget* parent)
    : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(stageAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    setObjectName(QStringLiteral("deviceStage"));
    setMaximumHeight(heightLimit);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMouseTracking(false);

    toggle_ = new GenerationToggle(this);
    connect(toggle_, &QAbstractButton::clicked, this, &DeviceStage::toggleRequested);

    auto* scroll = new StartupCarouselScroll(this);
    scroll->move = [this](int delta) { Q_EMIT moveRequested(delta); };

    animation_ = new QVariantAnimation(this);
    connect(animation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { animationStep(value.toDouble()); });
}

DeviceStage::~DeviceStage() = default;

QSize DeviceStage::sizeHint() const {
    return QSize(700, heightLimit);
}

QSize DeviceStage::minimumSizeHint() const {
    return QSize(120, 60);
}

DeviceStageGeometry DeviceStage::stageGeometry() const {
    return DeviceStageGeometry::forSize(QSizeF(size()));
}

std::vector<DeviceStage::Frame> DeviceStage::targets() const {
    const DeviceStageGeometry g = stageGeometry();
    const bool reduce = ReduceMotion::isOn();
    std::vector<Frame> out;
    out.reserve(content_.items.size());
    for (int p = 0; p < int(content_.items.size()); ++p) {
        const int o = DeviceStageGeometry::offset(p, content_.selected, content_.generationsMode);
        out.push_back(
            g.item(o, content_.generationsMode, content_.items[std::size_t(p)].scale, reduce));
    }
    return out;
}

bool DeviceStage::isAnimating() const {
    return animation_->state() == QAbstractAnimation::Running;
}

void DeviceStage::setContent(const Content& content, StartupDeviceFlowState::Animation animation) {
    content_ = content;
    toggle_->setContent(content.toggleTitle, content.toggleAction, content.toggleCollapses,
                        content.toggleAccessibleName);
    placeToggle();
    pruneCache(devicePixelRatioF());
    if (animation == StartupDeviceFlowState::Animation::none || !isVisible()) {
        snapToTargets();
        return;
    }
    // Items that exist now and before move from where they stand; new ones fade in at their
    // place. A running animation is replaced, starting from the values reached.
    to_ = targets();
    from_ = current_;
    from_.resize(to_.size());
    for (std::size_t i = current_.size(); i < to_.size(); ++i) {
        from_[i] = to_[i];
        from_[i].opacity = 0;
    }
    ShowcaseMotion::prepare(*animation_, animation);
    animationStep(0);
    animation_->start();
}

void DeviceStage::snapToTargets() {
    animation_->stop();
    current_ = targets();
    update();
}

void DeviceStage::animationStep(double t) {
    current_.resize(to_.size());
    for (std::size_t i = 0; i < to_.size(); ++i) {
        const Frame& a = i < from_.size() ? from_[i] : to_[i];
        const Frame& b = to_[i];
        Frame& f = current_[i];
        f.offset = b.offset;
        f.stacking = b.stacking;
        f.artworkHeight = lerp(a.artworkHeight, b.artworkHeight, t);
        f.shiftX = lerp(a.shiftX, b.shiftX, t);
        f.shiftY = lerp(a.shiftY, b.shiftY, t);
        f.tiltDegrees = lerp(a.tiltDegrees, b.tiltDegrees, t);
        f.opacity = std::clamp(lerp(a.opacity, b.opacity, t), 0.0, 1.0);
    }
    update();
}

void DeviceStage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeToggle();
    pruneCache(devicePixelRatioF());
    // A running animation now ends where the new size puts the items.
    if (isAnimating())
        to_ = targets();
    else
        snapToTargets();
}

void DeviceStage::placeToggle() {
    const QSize hint = toggle_->sizeHint();
    const int w = std::min(hint.width(), width());
    toggle_->setGeometry((width() - w) / 2, height() - GenerationToggle::fixedHeight, w,
                         GenerationToggle::fixedHeight);
}

QRectF DeviceStage::artworkRect(int position) const {
    if (position < 0 || position >= int(current_.size()) || position >= int(content_.items.size()))
        return {};
    const Frame& f = current_[std::size_t(position)];
    return stageGeometry().artworkRect(f.artworkHeight, f.shiftX, f.shiftY,
                                       content_.items[std::size_t(position)].artwork.aspectRatio());
}

QTransform DeviceStage::turn(const QRectF& artwork, double tiltDegrees) const {
    if (tiltDegrees == 0 || artwork.isEmpty())
        return QTransform();
    const double theta = qDegreesToRadians(tiltDegrees);
    const double distance = std::max(artwork.width(), artwork.height()) / perspective;
    const QTransform rotation(std::cos(theta), 0, std::sin(theta) / distance, 0, 1, 0, 0, 0, 1);
    const QPointF c = artwork.center();
    return QTransform::fromTranslate(-c.x(), -c.y()) * rotation *
           QTransform::fromTranslate(c.x(), c.y());
}

QPolygonF DeviceStage::artworkQuad(int position) const {
    const QRectF r = artworkRect(position);
    if (r.isNull())
        return {};
    return turn(r, current_[std::size_t(position)].tiltDegrees).map(QPolygonF(r));
}

std::vector<int> DeviceStage::paintOrder() const {
    // Far items first; items of equal stacking in position order.
    std::vector<int> order(current_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return current_[std::size_t(a)].stacking < current_[std::size_t(b)].stacking;
    });
    return order;
}

int DeviceStage::itemAt(QPointF point) const {
    const std::vector<int> order = paintOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (artworkQuad(*it).containsPoint(point, Qt::OddEvenFill))
            return *it;
    return -1;
}

DeviceStage::CacheKey DeviceStage::keyFor(const Item& item, double ratio) const {
    const DeviceStageGeometry g = stageGeometry();
    const double full = g.artworkBudget * item.scale;
    return {int(item.artwork.series),       item.artwork.generation,
            int(item.artwork.finish),       item.artwork.image ? item.artwork.image->cacheKey() : 0,
            int(std::lround(full * ratio)), int(std::lround(ratio * 100))};
}

namespace {

// One item's pictures at its full (centre) height: the artwork, and the shadow of the artwork
// and its reflection, blurred at a quarter of the resolution. Free of the widget, so that
// several can be made at once.
DeviceStage::Rendered renderItem(const DeviceStage::Item& item, const DeviceStageGeometry& g,
                                 double ratio) {
    const double full = g.artworkBudget * item.scale;
    DeviceStage::Rendered r;
    r.artwork = item.artwork.rendered(full, ratio);
    const double w = full * item.artwork.aspectRatio();
    r.shadowRect =
        QRectF(-shadowMargin, -shadowMargin, w + 2 * shadowMargin,
               full + DeviceStageGeometry::reflectionGap + g.reflectionHeight + 2 * shadowMargin);
    const double scale = ratio / shadowDownscale;
    QImage shadow(std::max(1, int(std::ceil(r.shadowRect.width() * scale))),
                  std::max(1, int(std::ceil(r.shadowRect.height() * scale))),
                  QImage::Format_ARGB32_Premultiplied);
    shadow.fill(Qt::transparent);
    {
        QPainter p(&shadow);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.scale(scale, scale);
        p.translate(shadowMargin, shadowMargin);
        p.drawImage(QRectF(0, 0, w, full), r.artwork);
        const QImage strip = reflectionStrip(r.artwork, QSizeF(w, full), g.reflectionHeight, ratio);
        p.drawImage(QRectF(0, full + DeviceStageGeometry::reflectionGap, w, g.reflectionHeight),
                    strip);
        p.resetTransform();
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(shadow.rect(), DeviceArt::black(shadowOpacity));
    }
    DeviceArt::blurImage(shadow, shadowSigma * scale);
    r.shadow = shadow;
    return r;
}

} // namespace

void DeviceStage::renderMissing(const std::vector<int>& positions, double ratio) {
    const DeviceStageGeometry g = stageGeometry();
    std::vector<std::pair<CacheKey, const Item*>> missing;
    for (int p : positions) {
        const Item& item = content_.items[std::size_t(p)];
        const CacheKey key = keyFor(item, ratio);
        const bool queued = std::any_of(missing.begin(), missing.end(), [&](const auto& m) {
            return !(m.first < key) && !(key < m.first);
        });
        if (!queued && cache_.find(key) == cache_.end())
            missing.emplace_back(key, &item);
    }
    if (missing.size() == 1) {
        cache_.emplace(missing.front().first, renderItem(*missing.front().second, g, ratio));
        return;
    }
    // A new size or mode needs several at once: they are drawn side by side.
    std::vector<std::future<Rendered>> jobs;
    for (const auto& [key, item] : missing)
        jobs.push_back(std::async(std::launch::async,
                                  [item = *item, g, ratio] { return renderItem(item, g, ratio); }));
    for (std::size_t i = 0; i < jobs.size(); ++i)
        cache_.emplace(missing[i].first, jobs[i].get());
}

bool DeviceStage::isOnStage(int position) const {
    const QRectF art = artworkRect(position);
    if (art.height() <= 0 || current_[std::size_t(position)].opacity <= 0)
        return false;
    const double margin = shadowMargin + shadowOffsetY;
    const QRectF extent = art.adjusted(-margin, -margin, margin,
                                       margin + DeviceStageGeometry::reflectionGap +
                                           stageGeometry().reflectionHeight);
    return turn(art, current_[std::size_t(position)].tiltDegrees)
        .mapRect(extent)
        .intersects(QRectF(rect()));
}

void DeviceStage::pruneCache(double ratio) {
    std::vector<CacheKey> wanted;
    for (const Item& item : content_.items)
        wanted.push_back(keyFor(item, ratio));
    for (auto it = cache_.begin(); it != cache_.end();) {
        if (std::find_if(wanted.begin(), wanted.end(), [&](const CacheKey& k) {
                return !(k < it->first) && !(it->first < k);
            }) == wanted.end())
            it = cache_.erase(it);
        else
            ++it;
    }
}

void DeviceStage::paintItem(QPainter& painter, int position, Rendered& r, double ratio) {
    const Frame& f = current_[std::size_t(position)];
    const QRectF art = artworkRect(position);
    if (art.height() <= 0 || f.opacity <= 0)
        return;
    const DeviceStageGeometry g = stageGeometry();
    const QTransform t = turn(art, f.tiltDegrees);
    const double fullHeight = r.artwork.height() / ratio;
    const double k = fullHeight > 0 ? art.height() / fullHeight : 0;
    const QRectF shadow(art.left() + r.shadowRect.left() * k, art.top() + r.shadowRect.top() * k,
                        r.shadowRect.width() * k, r.shadowRect.height() * k);
    const QRectF reflection(art.left(), art.bottom() + DeviceStageGeometry::reflectionGap,
                            art.width(), g.reflectionHeight);
    const QRectF shadowArea = t.mapRect(shadow).translated(0, shadowOffsetY);

    painter.save();
    painter.setOpacity(f.opacity);
    // The blurred shadow shows no sign of the turn, so it is simply stretched over the turned
    // item's extent.
    painter.drawImage(shadowArea, r.shadow);
    painter.setTransform(t, true);
    if (g.reflectionHeight > 0) {
        const int stripKey = int(std::lround(art.height() * ratio));
        if (stripKey != r.stripKey) {
            r.strip = reflectionStrip(r.artwork, art.size(), g.reflectionHeight, ratio);
            r.stripKey = stripKey;
        }
        painter.drawImage(reflection, r.strip);
    }
    painter.drawImage(art, r.artwork);
    painter.restore();
}

void DeviceStage::paintCaption(QPainter& painter, int position) {
    const Item& item = content_.items[std::size_t(position)];
    const Frame& f = current_[std::size_t(position)];
    if (f.offset == 0 || item.caption.isEmpty())
        return;
    const DeviceStageGeometry g = stageGeometry();
    const double limit = g.captionWidthLimit(content_.generationsMode);
    const QRectF box = g.captionRect(f.shiftX, f.shiftY, limit).adjusted(2, 0, -2, 0);
    if (box.width() <= 0)
        return;
    const QFont font = ShowcaseDrawing::font(captionSize, QFont::Normal, this);
    ShowcaseDrawing::drawLine(painter,
                              ShowcaseDrawing::fitLine(item.caption, font, box.width(), 0.8), box,
                              Qt::AlignCenter, LorvPalette::fog());
}

void DeviceStage::paintEvent(QPaintEvent*) {
    if (current_.size() != content_.items.size())
        current_ = targets();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Frames in motion take the nearest pixel; the resting frame is filtered.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !isAnimating());
    const double ratio = devicePixelRatioF();
    const std::vector<int> order = paintOrder();
    // Far items of a long row stand outside the stage; they cost nothing.
    std::vector<int> shown;
    std::copy_if(order.begin(), order.end(), std::back_inserter(shown),
                 [this](int p) { return isOnStage(p); });
    renderMissing(shown, ratio);
    for (int p : shown)
        paintItem(painter, p, cache_.at(keyFor(content_.items[std::size_t(p)], ratio)), ratio);
    for (int p : order)
        paintCaption(painter, p);
}

void DeviceStage::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressed_ = true;
    dragging_ = false;
    pressPoint_ = event->position();
    pressedItem_ = itemAt(pressPoint_);
    event->accept();
}

void DeviceStage::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_)
        return;
    const QPointF d = event->position() - pressPoint_;
    if (std::hypot(d.x(), d.y()) >= dragDistance)
        dragging_ = true;
    event->accept();
}

void DeviceStage::mouseReleaseEvent(QMouseEvent* event) {
    if (!pressed_ || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    pressed_ = false;
    const QPointF d = event->position() - pressPoint_;
    if (std::hypot(d.x(), d.y()) >= dragDistance)
        dragging_ = true;
    event->accept();
    if (dragging_) {
        // A drag that started is never also a click on the item under it.
        if (std::abs(d.x()) >= dragDistance && std::abs(d.y()) < std::abs(d.x()))
            Q_EMIT moveRequested(d.x() < 0 ? 1 : -1);
        return;
    }
    if (pressedItem_ >= 0 && itemAt(event->position()) == pressedItem_)
        Q_EMIT itemActivated(pressedItem_);
}
