#pragma once

#include <cstdint>
#include <optional>

// The saved play order of a second-generation shuffle, as stored in its iTunesPState.
enum class Shuffle2PlaybackMode : std::uint32_t {
    sequential = 1,
    shuffle = 2,
};

namespace Shuffle2PlaybackModes {

inline std::optional<Shuffle2PlaybackMode> fromRawValue(std::uint32_t raw) {
    if (raw == 1)
        return Shuffle2PlaybackMode::sequential;
    if (raw == 2)
        return Shuffle2PlaybackMode::shuffle;
    return std::nullopt;
}

} // namespace Shuffle2PlaybackModes
