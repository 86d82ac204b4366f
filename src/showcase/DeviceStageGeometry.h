#pragma once

// Where the carousel of the showcase stands: the stage-wide sizes that follow from the stage's
// width and height, and each item's size, shift, tilt, opacity and stacking from its offset to
// the selected item. Pure arithmetic, shared by painting, hit testing and the tests.

#include <QRectF>
#include <QSizeF>

struct DeviceStageGeometry {
    // Every item column: the artwork, the reflection below it and the caption line.
    static constexpr double captionHeight = 24;
    static constexpr double captionSpacing = 5;
    static constexpr double reflectionGap = 3;
    static constexpr double maximumTilt = 17;

    struct Item {
        int offset = 0;
        double artworkHeight = 0;
        double shiftX = 0;
        double shiftY = 0;
        double tiltDegrees = 0;
        double opacity = 1;
        int stacking = 0;
    };

    double width = 0;
    double height = 0;
    double artworkBudget = 0;    // S
    double reflectionHeight = 0; // R
    double generationStep = 0;

    static DeviceStageGeometry forSize(QSizeF size);

    // o = p − selected; in series mode wrapped to −1, 0 or +1.
    static int offset(int position, int selected, bool generationsMode);

    double columnHeight() const { return artworkBudget + reflectionHeight + 29; }
    Item item(int offset, bool generationsMode, double scale, bool reduceMotion) const;
    // The artwork's rectangle for an item of the given height, shift and aspect ratio: its
    // column stands on the stage's bottom edge.
    QRectF artworkRect(double artworkHeight, double shiftX, double shiftY,
                       double aspectRatio) const;
    // Where an item's caption sits, and how wide it may be (negative: as wide as the stage).
    QRectF captionRect(double shiftX, double shiftY, double widthLimit) const;
    double captionWidthLimit(bool generationsMode) const;
};
