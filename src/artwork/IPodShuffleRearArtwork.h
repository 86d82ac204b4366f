#pragma once

// The back of an iPod shuffle: the first generation's white stick with its switch and cap, the
// clip backs of the later generations in their aluminium colour, logo, control marks, legal
// lines and the engraving. The shuffle back shows no capacity.

#include "appmodel/StartupModel.h"

#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <optional>

namespace IPodShuffleRearArtwork {

// Index 0, 1 and 2 draw those generations; every other index (3, larger or negative) the fourth.
void draw(int generation, StartupModel::Finish finish, QPainter& painter,
          const std::optional<QString>& engraving, const QRectF& rect);

// The aluminium colour of a clip generation (1, 2 or 3).
QColor clipColor(StartupModel::Finish finish, int generation);

} // namespace IPodShuffleRearArtwork
