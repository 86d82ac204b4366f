#pragma once

// Whether the desktop asks for less motion: GNOME's "enable-animations" turned off.

#include <optional>

namespace ReduceMotion {

bool isOn();
// Replaces the desktop's answer (tests); nothing goes back to it.
void setOverride(std::optional<bool> value);

} // namespace ReduceMotion
