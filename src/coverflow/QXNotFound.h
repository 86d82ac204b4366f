#pragma once

#include <cstdint>

// Indexes of the cover-flow control are unsigned; "no item" is the largest signed value, so
// QXNotFound + 1 does not wrap to 0.
using QXIndex = std::uint64_t;
inline constexpr QXIndex QXNotFound = INT64_MAX;
