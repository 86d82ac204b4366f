#pragma once

// The showcase's two motions as Qt easing curves: a spring (response 0.42 s, damping 0.84) for
// series and generation changes, and a 0.2 s ease-in-out for the generation strip.

#include "showcase/StartupDeviceFlowState.h"

class QVariantAnimation;

namespace ShowcaseMotion {

// Sets up the one animation object of a view for the next change (replacing a running one).
void prepare(QVariantAnimation& animation, StartupDeviceFlowState::Animation kind);

} // namespace ShowcaseMotion
