#include "device/IPodBattery.h"

std::optional<IPodBattery> IPodBattery::decode(quint16 word) {
    const int high = word >> 8;
    const int low2 = word & 3;
    if ((word & 0x80) != 0 && high <= 100)
        return IPodBattery{high, low2 == 3, low2 == 2};
    if (low2 == 2)
        return IPodBattery{std::nullopt, false, true};
    if (low2 == 3)
        return IPodBattery{std::nullopt, true, false};
    return std::nullopt;
}
