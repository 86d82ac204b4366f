#pragma once

// One iPod model in one finish as the showcase, its carousel and the share card show it: the
// device picture when one was found for the model, else the vector drawing of its front.

#include "appmodel/StartupModel.h"
#include "appmodel/StartupSeries.h"

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSizeF>

#include <optional>

struct StartupDeviceArtwork {
    std::optional<QImage> image;
    StartupSeries series;
    int generation;
    StartupModel::Finish finish;
    // A picture that keeps this size rather than growing to fill the space offered (a symbol
    // standing in for a device); it still shrinks into a smaller space.
    std::optional<QSizeF> frame = std::nullopt;

    // Width ÷ height: the picture's own proportions, else the drawing's.
    double aspectRatio() const;
    // The largest rectangle of that ratio centred in the box (within the frame, if any).
    QRectF fittedRect(const QRectF& box) const;
    // Paints the artwork aspect-fitted into the box; the painter is left as it was.
    void render(QPainter& painter, const QRectF& box) const;
    // A transparent image of the artwork at a logical height.
    QImage rendered(double height, double devicePixelRatio) const;
};
