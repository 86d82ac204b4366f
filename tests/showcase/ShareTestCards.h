#pragma once

// Cards the share tests draw and save.

#include "showcase/DeviceShareCard.h"

namespace ShareTestCards {

// A fourth-generation nano in purple, front only, with its year, capacity and finish.
inline DeviceShareCard nano() {
    DeviceShareCard card;
    card.title = QStringLiteral("iPod nano (4th generation)");
    card.details = QStringLiteral("2008 · 8 GB · Purple");
    card.artwork =
        StartupDeviceArtwork{std::nullopt, StartupSeries::nano, 3, StartupModel::Finish::purple};
    return card;
}

} // namespace ShareTestCards
