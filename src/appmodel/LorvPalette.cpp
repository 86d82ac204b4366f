#include "appmodel/LorvPalette.h"

namespace LorvPalette {

// Each colour is made once, on first use (thread-safe static initialisation), then shared.
#define LORV_COLOUR(name, r, g, b)                                                                 \
    const QColor& name() {                                                                         \
        static const QColor colour = QColor::fromRgb(r, g, b);                                     \
        return colour;                                                                             \
    }

LORV_COLOUR(periwinkle, 129, 140, 248)
LORV_COLOUR(ink, 16, 19, 29)
LORV_COLOUR(sky, 85, 184, 248)
LORV_COLOUR(lilac, 197, 151, 244)
LORV_COLOUR(inkAlt, 16, 19, 29)
LORV_COLOUR(night900, 18, 22, 34)
LORV_COLOUR(night800, 25, 30, 43)
LORV_COLOUR(night700, 34, 41, 59)
LORV_COLOUR(slate600, 48, 59, 80)
LORV_COLOUR(slate500, 52, 62, 84)
LORV_COLOUR(steel400, 103, 125, 164)
LORV_COLOUR(indigoDeep, 48, 58, 101)
LORV_COLOUR(indigoNight, 38, 39, 67)
LORV_COLOUR(plumDeep, 59, 48, 84)
LORV_COLOUR(mist, 241, 244, 251)
LORV_COLOUR(fog, 170, 180, 202)

#undef LORV_COLOUR

} // namespace LorvPalette
