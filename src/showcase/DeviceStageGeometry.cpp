#include "showcase/DeviceStageGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

DeviceStageGeometry DeviceStageGeometry::forSize(QSizeF size) {
    DeviceStageGeometry g;
    g.width = std::max(0.0, size.width());
    g.height = std::max(0.0, size.height());
    g.artworkBudget =
        std::min({0.73 * g.height, std::max(0.0, (g.height - 35) / 1.18), 254.0, 0.38 * g.width});
    g.reflectionHeight = 0.18 * g.artworkBudget;
    g.generationStep = std::min(0.13 * g.width, 115.0);
    return g;
}

int DeviceStageGeometry::offset(int position, int selected, bool generationsMode) {
    int o = position - selected;
    if (!generationsMode) {
        o = ((o % 3) + 3) % 3;
        if (o == 2)
            o = -1;
    }
    return o;
}

DeviceStageGeometry::Item DeviceStageGeometry::item(int offset, bool generationsMode, double scale,
                                                    bool reduceMotion) const {
    Item it;
    const int distance = std::abs(offset);
    it.offset = offset;
    it.artworkHeight = std::max(1 - 0.16 * distance, 0.55) * artworkBudget * scale;
    if (generationsMode && offset != 0)
        it.shiftX = (offset > 0 ? 1 : -1) *
                    (std::min(0.22 * width, 165.0) + (distance - 1) * generationStep);
    else
        it.shiftX = width * offset * 0.3;
    it.shiftY = offset == 0 ? 0 : -0.1 * artworkBudget;
    it.tiltDegrees = reduceMotion ? 0 : -maximumTilt * std::clamp(offset, -2, 2);
    it.opacity = std::max(1 - 0.14 * distance, 0.4);
    it.stacking = -distance;
    return it;
}

QRectF DeviceStageGeometry::artworkRect(double artworkHeight, double shiftX, double shiftY,
                                        double aspectRatio) const {
    const double bottom = height + shiftY - captionHeight - captionSpacing - reflectionHeight;
    const double w = artworkHeight * aspectRatio;
    return QRectF(width / 2 + shiftX - w / 2, bottom - artworkHeight, w, artworkHeight);
}

QRectF DeviceStageGeometry::captionRect(double shiftX, double shiftY, double widthLimit) const {
    const double w = widthLimit >= 0 ? widthLimit : width;
    return QRectF(width / 2 + shiftX - w / 2, height + shiftY - captionHeight, w, captionHeight);
}

double DeviceStageGeometry::captionWidthLimit(bool generationsMode) const {
    return generationsMode ? std::max(generationStep - 4, 0.0) : -1.0;
}
