#pragma once

// The back of an iPod nano: a polished steel plate or an anodised aluminium back in the finish
// colour, logo, wordmark, capacity badge, legal block with regulatory marks, the per-generation
// details (bottom strip, camera, clip, side key, bottom window) and the engraving.

#include "appmodel/StartupModel.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>

namespace IPodNanoRearArtwork {

// Generation index 0 to 6; any other index draws nothing.
void draw(int generation, StartupModel::Finish finish, QPainter& painter,
          const std::optional<QString>& capacity, const std::optional<QString>& engraving,
          const QRectF& rect);

// The colour of the anodised back and of the clip.
QColor backColor(StartupModel::Finish finish);

// The regulatory marks under the legal lines of a model number ("×" stands for the crossed bin).
QStringList marks(const QString& modelNumber);

// The outline whose top and bottom edges bulge outward by t and b (fractions of the height).
QPainterPath curvedOutline(const QRectF& rect, double top, double bottom);

} // namespace IPodNanoRearArtwork
