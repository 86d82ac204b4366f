#pragma once

#include <QtGlobal>

#include <optional>

struct IPodBattery {
    std::optional<int> percent; // 0-100
    bool isCharging = false;
    bool isFullyCharged = false;

    bool operator==(const IPodBattery&) const = default;

    // The 16-bit status word of the vendor request: charge in the high byte when bit 7 is set,
    // charging state in the two lowest bits.
    static std::optional<IPodBattery> decode(quint16 word);
};
