#pragma once

// The polished steel back of an iPod classic: rim, bottom band, engraving, logo, wordmark,
// capacity badge, legal lines and regulatory marks.

#include "appmodel/StartupModel.h"

#include <QPainter>
#include <QRectF>
#include <QString>

#include <optional>

namespace IPodClassicRearArtwork {

// Generation index 0 to 5; any other index draws nothing.
void draw(int generation, StartupModel::Finish finish, QPainter& painter,
          const std::optional<QString>& capacity, const std::optional<QString>& engraving,
          const QRectF& rect);

// The capacity as printed in the badge: every whitespace character dropped ("30 GB" → "30GB").
QString badgeText(const QString& capacity);

} // namespace IPodClassicRearArtwork
