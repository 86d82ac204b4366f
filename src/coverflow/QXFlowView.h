#pragma once

// The cover-flow control: a widget that shows the items of a data source (or of a bound array
// controller) as a row of images in perspective, the selected one facing the viewer, with the
// selected item's title under it and a scroll bar along the bottom. It hosts one layer tree:
//
//     background gradient (root) > container > cover-flow layer > ... > item layers
//                                > title text layer
//                                > scroll bar > knob
//
// Layout passes are coalesced: a change marks the tree and one pass runs from a posted event
// before the next paint. Images are decoded off the main thread for the items that may be seen
// and kept in a byte-bounded cache under the items' UIDs. Coordinates of the public operations
// are the widget's own (y down); the layer tree is y-up.

#include "coverflow/QXAdditions.h"
#include "coverflow/QXCoverFlowLayer.h"
#include "coverflow/QXCoverFlowLayout.h"
#include "coverflow/QXFlowViewContentAdapter.h"
#include "coverflow/QXFlowViewContentBinder.h"
#include "coverflow/QXFlowViewDataSource.h"
#include "coverflow/QXFlowViewDelegate.h"
#include "coverflow/QXFlowViewImageCache.h"
#include "coverflow/QXFlowViewImageFactory.h"
#include "coverflow/QXScrollBarLayer.h"
#include "coverflow/QXTextLayer.h"

#include <QImage>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class QMimeData;

class QXFlowView : public QWidget,
                   public QXCoverFlowLayerDataSource,
                   public QXCoverFlowLayoutDelegate,
                   public QXScrollBarDelegate,
                   public QXFlowViewContentBinderDelegate {
    Q_OBJECT

public:
    // The binding that feeds the view from an array controller.
    static inline const QString contentArrayBinding = QStringLiteral("contentArray");
    static inline const QString titleLayerName = QStringLiteral("QXFlowViewTitleLayer");
    static inline const QString containerLayerName = QStringLiteral("QXFlowViewContainerLayer");
    // The title stands this far above the view's bottom edge unless a client asks for more; the
    // items fill the band above it.
    static constexpr double defaultTitleBottomOffset = 50;

    // The placeholder every item shows until its image arrives: 100 x 100, a horizontal
    // gradient from white 0.8 to white 0.6, both at alpha 0.7. Made once.
    static const QImage& defaultImage();
    static const std::vector<QColor>& backgroundGradientColors();
    static const std::vector<double>& backgroundGradientLocations();
    // The representation types that name a file.
    static const QSet<QString>& pathRepresentationTypes();

    explicit QXFlowView(QWidget* parent = nullptr);
    ~QXFlowView() override;

    // Clients are not owned; each clears itself before it dies.
    QXFlowViewDataSource* dataSource() const { return dataSource_; }
    // Reads the items through the data source from now on (unless an array controller is bound);
    // does not reload.
    void setDataSource(QXFlowViewDataSource* source);
    QXFlowViewDelegate* delegate() const { return delegate_; }
    void setDelegate(QXFlowViewDelegate* delegate) { delegate_ = delegate; }

    // Both bound into the layout: a change moves the items with the scroll animation.
    double stackedAngle() const { return stackedAngle_; }
    void setStackedAngle(double degrees);
    double spacing() const { return spacing_; }
    void setSpacing(double spacing);
    double reflectionOffset() const { return coverFlowLayer_->reflectionOffset(); }
    void setReflectionOffset(double offset) { coverFlowLayer_->setReflectionOffset(offset); }
    bool showsReflection() const { return coverFlowLayer_->showsReflection(); }
    void setShowsReflection(bool shows) { coverFlowLayer_->setShowsReflection(shows); }

    // QXNotFound when nothing is selected.
    QXIndex selectedIndex() const { return layout_->selectedItemIndex(); }
    // Ignores the current index and any index at or past the count; otherwise moves the
    // selection, updates the title and tells the delegate (and a bound controller).
    void setSelectedIndex(QXIndex index);
    QXIndex numberOfItems() const { return layout_->numberOfItems(); }
    void setNumberOfItems(QXIndex count) { layout_->setNumberOfItems(count); }

    QString title() const { return titleLayer_->string(); }
    void setTitle(const QString& title) { titleLayer_->setString(title); }
    void setTitleFont(const QFont& font) { titleLayer_->setFont(font); }
    double titleSize() const { return titleLayer_->fontSize(); }
    void setTitleSize(double size) { titleLayer_->setFontSize(size); }
    void setTitleColor(const QColor& color) { titleLayer_->setForegroundColor(color); }
    // From the view's bottom edge to the bottom of the items' band: the title's offset and its
    // line, whatever its text.
    double titleBandHeight() const;
    double titleBottomOffset() const { return titleBottomOffset_; }
    void setTitleBottomOffset(double offset);
    // Kept for clients; this platform has no preview panel to control.
    bool canControlQuickLookPanel() const { return canControlQuickLookPanel_; }
    void setCanControlQuickLookPanel(bool can) { canControlQuickLookPanel_ = can; }

    QXIndexRange visibleItemIndexes() const { return coverFlowLayer_->visibleItemIndexes(); }
    // The selected item on screen, in widget coordinates; empty with no selection.
    QRectF selectedItemFrame() const;

    const std::shared_ptr<QXCoverFlowLayout>& coverFlowLayout() const { return layout_; }
    QXGradientLayer& backgroundLayer() const { return *backgroundLayer_; }
    QXTextLayer& titleLayer() const { return *titleLayer_; }
    QXLayer& containerLayer() const { return *containerLayer_; }
    QXCoverFlowLayer& coverFlowLayer() const { return *coverFlowLayer_; }
    QXScrollBarLayer& scrollBarLayer() const { return *scrollBarLayer_; }
    // The layer the last mouse press hit, until the release.
    QXLayer* selectedLayer() const { return selectedLayer_.lock().get(); }
    // The layer marked by an acceptable drop.
    QXLayer* highlightedLayer() const { return highlightedLayer_.lock().get(); }
    QXFlowViewImageFactory& imageFactory() const { return *imageFactory_; }
    QXFlowViewImageCache& imageCache() const { return *imageCache_; }
    QXFlowViewContentAdapter* contentAdapter() const { return contentAdapter_.get(); }
    QXFlowViewContentBinder* contentBinder() const { return contentBinder_; }

    // Keyed archive: the angle, spacing, reflection offset, whether the reflection shows, and the
    // layout, each under its property's name. Restoring keeps the archived layout; the client
    // reloads the items.
    QVariantMap toVariantMap() const;
    void fromVariantMap(const QVariantMap& map);

    // Reads the count again, rebuilds every item layer and selects item 0 when there are items.
    void reloadContent();
    // The item's title; "" when it has none or the index is not an item's.
    QString titleAtIndex(QXIndex index) const;
    QXIndex indexOfItemAtPoint(QPointF point);
    QXLayer* hitLayerAtPoint(QPointF point);
    double backingScaleFactor() const;
    // Runs the pending layout pass now (painting does it too).
    void flushLayout();

    // Input.
    void moveLeft();
    void moveRight();
    void doubleClickOnSelection();
    // The selected item's file when its representation names one.
    std::optional<QUrl> urlFromSelection() const;
    bool isPathRepresentationAtSelection() const;
    // The selected item's cached image at its size on screen; null without one.
    QImage draggedImageForSelection();
    // Fills the drag data for the selection: the data source's, else the item's file URL.
    bool initiateDragFromSelection(QMimeData& data);
    // After a drag of the selection ended with the operation: a move to the trash removes.
    void draggingSessionEnded(Qt::DropAction operation);

    // Bindings. The content-array binding needs a QXArrayController (a QXInvalidParameter
    // otherwise); other bindings are ignored.
    void bind(const QString& binding, QObject* observable, const QString& keyPath);
    void unbind(const QString& binding);
    QVariantMap infoForBinding(const QString& binding) const;

    // Accessibility of the view itself, by attribute name (the layers answer for themselves).
    virtual QStringList accessibilityAttributeNames() const;
    virtual QVariant accessibilityAttributeValue(const QString& attribute) const;
    // The unignored element under a screen point: a layer, or the view.
    virtual QVariant accessibilityHitTest(QPoint screenPoint);
    // Whether assistive tools skip the view (and everything in it).
    virtual bool accessibilityIsIgnored() const { return false; }

    // QXCoverFlowLayerDataSource.
    QXLayer::Ptr contentLayerForIndex(QXCoverFlowLayer& layer, QXIndex index) override;
    void coverFlowLayerWillRelayout(QXCoverFlowLayer& layer) override;
    void coverFlowLayerDidRelayout(QXCoverFlowLayer& layer) override;
    void willShowLayer(QXCoverFlowLayer& layer, QXLayer& itemLayer, QXIndex index) override;
    // QXCoverFlowLayoutDelegate.
    double aspectRatioForItem(const QXCoverFlowLayout& layout, QXIndex index) override;
    // QXScrollBarDelegate.
    bool knobDraggedToPosition(QXScrollBarLayer& bar, double position) override;
    bool decrementClicked(QXScrollBarLayer& bar) override;
    bool incrementClicked(QXScrollBarLayer& bar) override;
    std::optional<double> contentSize(QXScrollBarLayer& bar) override;
    std::optional<double> visibleSize(QXScrollBarLayer& bar) override;
    std::optional<double> currentKnobPosition(QXScrollBarLayer& bar) override;
    // QXFlowViewContentBinderDelegate.
    void contentArrayDidChange(QXFlowViewContentBinder& binder) override;
    void contentBinderItemChanged(QXFlowViewContentBinder& binder, QXObservable* item) override;

Q_SIGNALS:
    // The control's action, sent on a double click when no delegate takes it.
    void actionTriggered();

protected:
    // Steps the selection by the event's dominant delta (see changeSelectionFromEvent).
    virtual void scrollWheel(const QXScrollEvent& event);
    // New index = trunc(delta + selected index), clamped to the items; non-finite deltas and
    // an empty selection change nothing.
    void changeSelectionFromEvent(const QXScrollEvent& event);
    // Hooks for the pointer entering or leaving the selected item while the view has focus.
    virtual void mouseEnteredSelection() {}
    virtual void mouseExitedSelection() {}

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setInitialDefaults();
    void setupLayers();
    void initImageFactory();
    void updateTitle();
    void setupTrackingAreas();
    void updateTracking(QPointF point);
    void setImageForContentLayer(const QImage& image, QXLayer& layer);
    // The item at an index below the count, or null; never throws.
    QXFlowViewItemPtr itemAt(QXIndex index) const;
    void installContentAdapter(std::unique_ptr<QXFlowViewContentAdapter> adapter);
    void setContentBinder(QXFlowViewContentBinder* binder);
    void handleMouseDown(QMouseEvent* event, int clickCount);
    void handleScrollBarClick(QPointF point);
    void handleItemClick(QPointF point, int clickCount);
    void startDragIfMoved(QMouseEvent* event);
    // Widget point -> the tree's root space (y-up) and -> a layer's own space.
    QPointF toRoot(QPointF point) const;
    QPointF rootToLayer(QPointF rootPoint, const QXLayer& layer, bool presentation) const;
    QRectF scrollBarFrame() const;
    void scheduleLayout();
    void tick();

    std::shared_ptr<QXCoverFlowLayout> layout_;
    std::shared_ptr<QXGradientLayer> backgroundLayer_;
    std::shared_ptr<QXTextLayer> titleLayer_;
    std::shared_ptr<QXLayer> containerLayer_;
    std::shared_ptr<QXCoverFlowLayer> coverFlowLayer_;
    std::shared_ptr<QXScrollBarLayer> scrollBarLayer_;
    std::weak_ptr<QXLayer> selectedLayer_;
    std::weak_ptr<QXLayer> highlightedLayer_;
    QXFlowViewImageFactory* imageFactory_ = nullptr;
    std::unique_ptr<QXFlowViewImageCache> imageCache_;
    std::unique_ptr<QXFlowViewContentAdapter> contentAdapter_;
    QPointer<QXFlowViewContentBinder> contentBinder_;
    QXFlowViewDataSource* dataSource_ = nullptr;
    QXFlowViewDelegate* delegate_ = nullptr;

    double stackedAngle_ = 70;
    double spacing_ = 50;
    bool canControlQuickLookPanel_ = false;
    double titleBottomOffset_ = defaultTitleBottomOffset;

    // What each item layer shows, so that a rebuilt layer keeps its picture until its own
    // image is decoded.
    struct Shown {
        QString title;
        QImage image;
    };
    QHash<QXIndex, Shown> shownBeforeReload;
    bool layoutPosted = false;
    bool flushing = false;
    QTimer animationTimer;
    QTimer liveResizeEnd;
    bool pointerInSelection = false;
    std::optional<QPointF> pendingDragFrom;
};
