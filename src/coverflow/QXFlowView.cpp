#include "coverflow/QXFlowView.h"

#include "coverflow/QXArrayController.h"
#include "coverflow/QXFlowViewAccessible.h"
#include "coverflow/QXFlowViewDatasourceContentAdapter.h"
#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXLayerAccessibility.h"
#include "coverflow/QXRepresentationTypes.h"
#include "coverflow/QXTransaction.h"

#include <QCoreApplication>
#include <QCursor>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace {

// The layer value naming the item title a shown image belongs to.
const QString shownTitleKey = QStringLiteral("qxFlowViewShownTitle");

const QEvent::Type flushLayoutEvent = QEvent::Type(QEvent::registerEventType());

// The items of a bound array controller, read through their observable keys.
class ObservableItem : public QXFlowViewItem {
public:
    explicit ObservableItem(QXObservable* object)
        : object(object) {}
    QVariant imageItemRepresentation() const override {
        return object ? object->valueForKey(QStringLiteral("imageItemRepresentation")) : QVariant();
    }
    QString imageItemRepresentationType() const override {
        return object
                   ? object->valueForKey(QStringLiteral("imageItemRepresentationType")).toString()
                   : QString();
    }
    QString imageItemUID() const override {
        return object ? object->valueForKey(QStringLiteral("imageItemUID")).toString() : QString();
    }
    std::optional<QString> imageItemTitle() const override {
        if (!object || object->metaObject()->indexOfProperty("imageItemTitle") < 0)
            return std::nullopt;
        return object->valueForKey(QStringLiteral("imageItemTitle")).toString();
    }

private:
    QPointer<QXObservable> object;
};

class ObservedItemsAdapter : public QXFlowViewContentAdapter {
public:
    explicit ObservedItemsAdapter(const QList<QXObservable*>& list) {
        for (QXObservable* item : list)
            items.append(item);
    }
    QXIndex count() const override { return QXIndex(items.size()); }
    QXFlowViewItemPtr objectAtIndexedSubscript(QXIndex index) const override {
        if (index >= count()) {
            if (count() == 0)
                return nullptr;
            throw std::out_of_range(
                QXFlowViewDatasourceContentAdapter::outOfBoundsReason(index, count()));
        }
        return std::make_shared<ObservableItem>(items.at(qsizetype(index)).data());
    }

private:
    QList<QPointer<QXObservable>> items;
};

} // namespace

const QImage& QXFlowView::defaultImage() {
    static const QImage image = [] {
        QImage placeholder(100, 100, QImage::Format_ARGB32_Premultiplied);
        placeholder.fill(Qt::transparent);
        QPainter painter(&placeholder);
        QLinearGradient gradient(0, 0, 100, 0);
        gradient.setColorAt(0, QColor::fromRgbF(0.8f, 0.8f, 0.8f, 0.7f));
        gradient.setColorAt(1, QColor::fromRgbF(0.6f, 0.6f, 0.6f, 0.7f));
        painter.fillRect(placeholder.rect(), gradient);
        return placeholder;
    }();
    return image;
}

const std::vector<QColor>& QXFlowView::backgroundGradientColors() {
    static const std::vector<QColor> colors = {QColor(52, 55, 69), QColor(36, 37, 48),
                                               QColor(0, 0, 0)};
    return colors;
}

const std::vector<double>& QXFlowView::backgroundGradientLocations() {
    static const std::vector<double> locations = {0, 0.2, 1};
    return locations;
}

const QSet<QString>& QXFlowView::pathRepresentationTypes() {
    static const QSet<QString> types = {
        QXFlowViewURLRepresentationType, QXFlowViewPathRepresentationType,
        QXFlowViewQTMoviePathRepresentationType, QXFlowViewQCCompositionPathRepresentationType,
        QXFlowViewQuickLookPathRepresentationType};
    return types;
}

QXFlowView::QXFlowView(QWidget* parent)
    : QWidget(parent)
    , layout_(std::make_shared<QXCoverFlowLayout>())
    , imageFactory_(new QXFlowViewImageFactory(this))
    , imageCache_(std::make_unique<QXFlowViewImageCache>()) {
    QXFlowViewAccessible::installFactory();
    layout_->setDelegate(this);
    setupLayers();
    setInitialDefaults();
    setTitle(QString());
    setTitleSize(18);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    animationTimer.setInterval(16);
    connect(&animationTimer, &QTimer::timeout, this, &QXFlowView::tick);
    // A burst of resize events counts as one live resize, ending once they stop.
    liveResizeEnd.setSingleShot(true);
    liveResizeEnd.setInterval(150);
    connect(&liveResizeEnd, &QTimer::timeout, this, [this] {
        coverFlowLayer_->setInLiveResize(false);
        imageFactory_->setMaxImageSize(layout_->itemSize());
    });
}

QXFlowView::~QXFlowView() {
    imageFactory_->cancelPendingDecodings();
    setContentBinder(nullptr);
    coverFlowLayer_->setDataSource(nullptr);
    scrollBarLayer_->setScrollBarDelegate(nullptr);
    layout_->setDelegate(nullptr);
    backgroundLayer_->setChangeHandler({});
}

void QXFlowView::setInitialDefaults() {
    initImageFactory();
    setStackedAngle(70);
    setSpacing(50);
    setReflectionOffset(-0.4);
    setSelectedIndex(QXNotFound);
    setShowsReflection(false);
}

void QXFlowView::initImageFactory() {
    imageFactory_->registerStandardDecoders();
}

void QXFlowView::setupLayers() {
    const QString super = QStringLiteral("superlayer");
    backgroundLayer_ = QXGradientLayer::create();
    backgroundLayer_->setAnchorPoint({0, 0});
    backgroundLayer_->setPosition({0, 0});
    backgroundLayer_->setBounds({0, 0, double(width()), double(height())});
    backgroundLayer_->colors = backgroundGradientColors();
    backgroundLayer_->locations = backgroundGradientLocations();
    backgroundLayer_->setAutoresizingMask(QXLayer::widthSizable | QXLayer::heightSizable);
    backgroundLayer_->setUsesConstraintLayout(true);

    titleLayer_ = QXTextLayer::create();
    titleLayer_->setName(titleLayerName);
    titleLayer_->setAlignmentMode(QXTextLayer::AlignmentMode::center);
    titleLayer_->setFontSize(18);
    titleLayer_->setContentsScale(backingScaleFactor());
    titleLayer_->setConstraints(
        {{QXConstraint::minY, super, QXConstraint::minY, 1, titleBottomOffset_},
         {QXConstraint::midX, super, QXConstraint::midX, 1, 0}});
    titleLayer_->qx_disableImplicitAnimationForKey(QStringLiteral("string"));
    titleLayer_->qx_disableImplicitPositionAndBoundsAnimations();

    // The items fill the band from the top of the title to the top of the view.
    containerLayer_ = QXLayer::create();
    containerLayer_->setName(containerLayerName);
    containerLayer_->setConstraints(
        {{QXConstraint::midX, super, QXConstraint::midX, 1, 0},
         {QXConstraint::maxY, super, QXConstraint::maxY, 1, 0},
         {QXConstraint::width, super, QXConstraint::width, 1, 0},
         {QXConstraint::minY, titleLayerName, QXConstraint::maxY, 1, 0}});
    containerLayer_->qx_disableImplicitPositionAndBoundsAnimations();

    backgroundLayer_->addSublayer(containerLayer_);
    backgroundLayer_->insertSublayer(titleLayer_, 1);

    coverFlowLayer_ = QXCoverFlowLayer::layerWithLayout(layout_);
    coverFlowLayer_->setDataSource(this);
    scrollBarLayer_ = QXScrollBarLayer::create();
    scrollBarLayer_->setScrollBarDelegate(this);
    containerLayer_->addSublayer(coverFlowLayer_);
    coverFlowLayer_->setFrame(containerLayer_->bounds());
    backgroundLayer_->insertSublayer(scrollBarLayer_, 1);

    QXLayerAccessibility::setAccessibilityEnabledLayer(this, *backgroundLayer_);
    backgroundLayer_->setChangeHandler([this] { scheduleLayout(); });
    coverFlowLayer_->setNeedsLayout();
    backgroundLayer_->setNeedsLayout();
}

void QXFlowView::setStackedAngle(double degrees) {
    stackedAngle_ = degrees;
    layout_->setStackedAngle(degrees);
}

void QXFlowView::setSpacing(double spacing) {
    spacing_ = spacing;
    layout_->setInterItemSpacing(spacing);
}

QVariantMap QXFlowView::toVariantMap() const {
    return {{QStringLiteral("stackedAngle"), stackedAngle_},
            {QStringLiteral("spacing"), spacing_},
            {QStringLiteral("reflectionOffset"), reflectionOffset()},
            {QStringLiteral("showsReflection"), showsReflection() ? 1 : 0},
            {QStringLiteral("coverFlowLayout"), layout_->toVariantMap()}};
}

void QXFlowView::fromVariantMap(const QVariantMap& map) {
    auto number = [&map](const QString& key, double fallback) {
        bool ok = false;
        const double value = map.value(key).toDouble(&ok);
        return ok ? value : fallback;
    };
    const auto layout = map.constFind(QStringLiteral("coverFlowLayout"));
    if (layout != map.constEnd())
        layout_->fromVariantMap(layout->toMap());
    setStackedAngle(number(QStringLiteral("stackedAngle"), stackedAngle_));
    setSpacing(number(QStringLiteral("spacing"), spacing_));
    setReflectionOffset(number(QStringLiteral("reflectionOffset"), reflectionOffset()));
    setShowsReflection(number(QStringLiteral("showsReflection"), showsReflection() ? 1 : 0) != 0);
    coverFlowLayer_->setNeedsLayout();
}

void QXFlowView::setDataSource(QXFlowViewDataSource* source) {
    dataSource_ = source;
    if (!contentBinder_)
        installContentAdapter(std::make_unique<QXFlowViewDatasourceContentAdapter>(this));
}

void QXFlowView::installContentAdapter(std::unique_ptr<QXFlowViewContentAdapter> adapter) {
    contentAdapter_ = std::move(adapter);
}

QXFlowViewItemPtr QXFlowView::itemAt(QXIndex index) const {
    if (!contentAdapter_ || index >= numberOfItems())
        return nullptr;
    // Clients' answers must not unwind through a layout pass or the event loop.
    try {
        if (index >= contentAdapter_->count())
            return nullptr;
        return contentAdapter_->objectAtIndexedSubscript(index);
    } catch (const std::exception&) {
        return nullptr;
    }
}

void QXFlowView::reloadContent() {
    // What the visible layers show stays up until the rebuilt layers have their own images.
    shownBeforeReload.clear();
    const QXIndexRange visible = visibleItemIndexes();
    for (QXIndex i = visible.location; visible.length && i <= visible.last(); ++i) {
        const QXLayer* layer = coverFlowLayer_->contentLayerAtIndex(i);
        if (layer && layer->contents().cacheKey() != defaultImage().cacheKey())
            shownBeforeReload.insert(i,
                                     {layer->value(shownTitleKey).toString(), layer->contents()});
    }
    QXIndex count = 0;
    try {
        count = contentAdapter_ ? contentAdapter_->count() : 0;
    } catch (const std::exception&) {
        count = 0;
    }
    setNumberOfItems(count);
    shownBeforeReload.clear();
    if (count > 0)
        setSelectedIndex(0);
    updateTitle();
    setupTrackingAreas();
}

void QXFlowView::setSelectedIndex(QXIndex index) {
    if (index == layout_->selectedItemIndex())
        return;
    if (index >= numberOfItems())
        return;
    layout_->setSelectedItemIndex(index);
    updateTitle();
    if (delegate_)
        delegate_->flowViewSelectionDidChange(*this);
    if (contentBinder_)
        if (auto* controller = contentBinder_->controller())
            controller->setSelectionIndex(index);
}

void QXFlowView::updateTitle() {
    const QXIndex selected = selectedIndex();
    if (selected == QXNotFound) {
        setTitle(QString());
        return;
    }
    setTitle(titleAtIndex(selected));
    QXAccessibility::post(QXAccessibility::element(static_cast<QObject*>(this)),
                          QXAccessibility::valueChangedNotification);
}

QString QXFlowView::titleAtIndex(QXIndex index) const {
    const QXFlowViewItemPtr item = itemAt(index);
    if (!item)
        return QString();
    return item->imageItemTitle().value_or(QString());
}

double QXFlowView::backingScaleFactor() const {
    return devicePixelRatioF();
}

QPointF QXFlowView::toRoot(QPointF point) const {
    return {point.x(), height() - point.y()};
}

QPointF QXFlowView::rootToLayer(QPointF rootPoint, const QXLayer& layer, bool presentation) const {
    bool invertible = false;
    const QTransform toLayer = layer.matrixToAncestor(backgroundLayer_.get(), presentation)
                                   .toQTransform()
                                   .inverted(&invertible);
    return invertible ? toLayer.map(rootPoint) : QPointF(qInf(), qInf());
}

QXIndex QXFlowView::indexOfItemAtPoint(QPointF point) {
    flushLayout();
    return coverFlowLayer_->indexOfLayerAtPoint(rootToLayer(toRoot(point), *coverFlowLayer_, true));
}

QXLayer* QXFlowView::hitLayerAtPoint(QPointF point) {
    flushLayout();
    return backgroundLayer_->hitTest(toRoot(point));
}

double QXFlowView::titleBandHeight() const {
    const std::optional<QSizeF> title = titleLayer_->preferredFrameSize();
    return titleBottomOffset_ + (title ? title->height() : 0);
}

void QXFlowView::setTitleBottomOffset(double offset) {
    if (offset == titleBottomOffset_)
        return;
    titleBottomOffset_ = offset;
    std::vector<QXConstraint> constraints = titleLayer_->constraints();
    for (QXConstraint& c : constraints)
        if (c.attribute == QXConstraint::minY)
            c.offset = offset;
    titleLayer_->setConstraints(std::move(constraints));
    backgroundLayer_->setNeedsLayout();
}

QRectF QXFlowView::selectedItemFrame() const {
    const QRectF frame = coverFlowLayer_->selectedItemFrame();
    if (frame.isEmpty())
        return {};
    const QRectF root = coverFlowLayer_->convertRectToLayer(frame, backgroundLayer_.get());
    return {root.x(), height() - root.bottom(), root.width(), root.height()};
}

QRectF QXFlowView::scrollBarFrame() const {
    return scrollBarLayer_->frame();
}

// Item layers and images.

QXLayer::Ptr QXFlowView::contentLayerForIndex(QXCoverFlowLayer&, QXIndex index) {
    auto layer = QXLayer::create();
    layer->setContents(defaultImage());
    layer->setContentsGravity(QXLayer::Gravity::resizeAspectFill);
    layer->qx_disableImplicitAnimationForKey(QStringLiteral("bounds"));
    layer->qx_disableImplicitAnimationForKey(QStringLiteral("contents"));
    const auto shown = shownBeforeReload.constFind(index);
    if (shown != shownBeforeReload.constEnd() && shown->title == titleAtIndex(index)) {
        layer->setContents(shown->image);
        layer->setValue(shownTitleKey, shown->title);
    }
    return layer;
}

void QXFlowView::coverFlowLayerWillRelayout(QXCoverFlowLayer&) {
    imageFactory_->cancelPendingDecodings();
}

void QXFlowView::coverFlowLayerDidRelayout(QXCoverFlowLayer&) {
    scrollBarLayer_->setNeedsLayout();
}

void QXFlowView::willShowLayer(QXCoverFlowLayer&, QXLayer& itemLayer, QXIndex index) {
    const QXFlowViewItemPtr item = itemAt(index);
    if (!item)
        return;
    const QString uid = item->imageItemUID();
    const QImage cached = imageCache_->imageForUUID(uid);
    const bool selected = index == selectedIndex();
    if (!cached.isNull()) {
        // The selected item is decoded again at the current size, but keeps showing what it
        // has until that image is ready.
        setImageForContentLayer(cached, itemLayer);
        if (!selected)
            return;
    }
    // An item too small to see has nothing to decode (and decoders refuse a size of 0).
    const QSizeF size = layout_->itemSize();
    if (!(size.width() >= 1) || !(size.height() >= 1))
        return;
    imageFactory_->setMaxImageSize(size);
    const std::weak_ptr<QXLayer> weak = itemLayer.weak_from_this();
    const QString title = item->imageItemTitle().value_or(QString());
    try {
        imageFactory_->createCGImageFromRepresentation(
            item->imageItemRepresentation(), item->imageItemRepresentationType(),
            [this, weak, uid, title, index](const QImage& image) {
                if (const auto layer = weak.lock()) {
                    setImageForContentLayer(image, *layer);
                    layer->setValue(shownTitleKey, title);
                }
                imageCache_->cacheImage(image, uid);
                if (index == selectedIndex())
                    setupTrackingAreas();
            },
            this);
    } catch (const std::exception&) {
        // An item the decoders refuse keeps the placeholder.
    }
}

void QXFlowView::setImageForContentLayer(const QImage& image, QXLayer& layer) {
    if (image.isNull() || image.height() <= 0)
        return;
    if (layer.contents().cacheKey() != image.cacheKey())
        layer.setContents(image);
    const double r = double(image.width()) / image.height();
    const QSizeF size = layout_->itemSize();
    const double sx = r > 1 ? 1 : r;
    const double sy = r > 1 ? 1 / r : 1;
    layer.setBounds({0, 0, size.width() * sx, size.height() * sy});
}

double QXFlowView::aspectRatioForItem(const QXCoverFlowLayout&, QXIndex index) {
    const QXFlowViewItemPtr item = itemAt(index);
    if (!item)
        return 1;
    const QImage image = imageCache_->imageForUUID(item->imageItemUID());
    if (image.isNull() || image.height() <= 0)
        return 1;
    return double(image.width()) / image.height();
}

// Hosting the layer tree.

void QXFlowView::scheduleLayout() {
    update();
    if (flushing || layoutPosted)
        return;
    layoutPosted = true;
    QCoreApplication::postEvent(this, new QEvent(flushLayoutEvent));
}

void QXFlowView::flushLayout() {
    if (flushing)
        return;
    flushing = true;
    backgroundLayer_->layoutIfNeeded();
    flushing = false;
}

void QXFlowView::tick() {
    QXTransaction::processCompletions();
    flushLayout();
    update();
    if (!QXTransaction::hasPendingCompletions())
        animationTimer.stop();
}

bool QXFlowView::event(QEvent* event) {
    if (event->type() == flushLayoutEvent) {
        layoutPosted = false;
        flushLayout();
        return true;
    }
    if (event->type() == QEvent::ParentChange && !parentWidget() && contentBinder_)
        unbind(contentArrayBinding);
    if (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Show)
        titleLayer_->setContentsScale(backingScaleFactor());
    return QWidget::event(event);
}

void QXFlowView::paintEvent(QPaintEvent*) {
    flushLayout();
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    backgroundLayer_->render(painter, height());
    painter.end();
    if (QXTransaction::hasPendingCompletions() && !animationTimer.isActive())
        animationTimer.start();
}

void QXFlowView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    coverFlowLayer_->setInLiveResize(true);
    backgroundLayer_->setBounds({0, 0, double(width()), double(height())});
    liveResizeEnd.start();
}

// Tracking the pointer over the selected item.

void QXFlowView::setupTrackingAreas() {
    updateTracking(mapFromGlobal(QCursor::pos()));
}

void QXFlowView::updateTracking(QPointF point) {
    const bool inside = hasFocus() && underMouse() && selectedIndex() != QXNotFound &&
                        selectedItemFrame().contains(point);
    if (inside == pointerInSelection)
        return;
    pointerInSelection = inside;
    if (inside)
        mouseEnteredSelection();
    else
        mouseExitedSelection();
}

void QXFlowView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (pointerInSelection) {
        pointerInSelection = false;
        mouseExitedSelection();
    }
}

void QXFlowView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    if (pointerInSelection) {
        pointerInSelection = false;
        mouseExitedSelection();
    }
}

// Bindings.

void QXFlowView::bind(const QString& binding, QObject* observable, const QString& keyPath) {
    if (binding != contentArrayBinding)
        return;
    auto* controller = qobject_cast<QXArrayController*>(observable);
    QX_PRECONDITION(controller != nullptr,
                    "[observableController isKindOfClass:[NSArrayController class]]");
    if (contentBinder_)
        unbind(contentArrayBinding);
    auto* binder = new QXFlowViewContentBinder(controller, keyPath, this);
    setContentBinder(binder);
    binder->startObservingContent();
}

void QXFlowView::setContentBinder(QXFlowViewContentBinder* binder) {
    if (binder == contentBinder_)
        return;
    if (QXFlowViewContentBinder* old = contentBinder_) {
        old->stopObservingContent();
        old->setDelegate(nullptr);
        delete old;
    }
    contentBinder_ = binder;
    if (binder)
        binder->setDelegate(this);
}

void QXFlowView::unbind(const QString& binding) {
    if (binding != contentArrayBinding || !contentBinder_)
        return;
    setContentBinder(nullptr);
    update();
}

QVariantMap QXFlowView::infoForBinding(const QString& binding) const {
    if (binding == contentArrayBinding && contentBinder_)
        return contentBinder_->bindingInfo();
    return {};
}

void QXFlowView::contentArrayDidChange(QXFlowViewContentBinder& binder) {
    installContentAdapter(std::make_unique<ObservedItemsAdapter>(
        binder.observedItems().value_or(QList<QXObservable*>())));
    reloadContent();
}

void QXFlowView::contentBinderItemChanged(QXFlowViewContentBinder&, QXObservable* item) {
    if (item)
        imageCache_->removeImageWithUUID(
            item->valueForKey(QStringLiteral("imageItemUID")).toString());
    coverFlowLayer_->setNeedsLayout();
}

// Accessibility of the view.

QStringList QXFlowView::accessibilityAttributeNames() const {
    using namespace QXAccessibility;
    static const QStringList names = [] {
        QStringList list = {parentAttribute, sizeAttribute,    positionAttribute,
                            windowAttribute, focusedAttribute, enabledAttribute};
        for (const QString& name : {childrenAttribute, contentsAttribute, roleAttribute,
                                    roleDescriptionAttribute, horizontalScrollBarAttribute})
            if (!list.contains(name))
                list << name;
        return list;
    }();
    return names;
}

QVariant QXFlowView::accessibilityAttributeValue(const QString& attribute) const {
    using namespace QXAccessibility;
    if (attribute == roleAttribute)
        return scrollAreaRole;
    if (attribute == roleDescriptionAttribute)
        return roleDescription(scrollAreaRole);
    if (attribute == childrenAttribute)
        return unignoredChildren({coverFlowLayer_.get(), scrollBarLayer_.get()});
    if (attribute == contentsAttribute)
        return unignoredChildren({coverFlowLayer_.get()});
    if (attribute == horizontalScrollBarAttribute)
        return element(scrollBarLayer_.get());
    if (attribute == enabledAttribute)
        return isEnabled();
    if (attribute == focusedAttribute)
        return hasFocus();
    return {};
}

QVariant QXFlowView::accessibilityHitTest(QPoint screenPoint) {
    using namespace QXAccessibility;
    QXLayer* layer = hitLayerAtPoint(mapFromGlobal(screenPoint));
    const QVariant found = layer ? unignoredAncestor(element(layer)) : QVariant();
    return found.isValid() ? found : element(static_cast<QObject*>(this));
}
