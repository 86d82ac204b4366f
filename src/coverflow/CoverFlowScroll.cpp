#include "coverflow/CoverFlowScroll.h"

#include <algorithm>
#include <cmath>

int CoverFlowScroll::step(bool precise, int index, int count, double delta) {
    if (count < 2)
        return index;
    if (delta == 0 || !std::isfinite(delta))
        return index;
    // Running into an end drops the carried rest, so the gesture leaves no debt behind.
    if ((index == 0 && delta < 0) || (index == count - 1 && delta > 0)) {
        remainder = 0;
        return index;
    }
    long long steps = 0;
    if (precise) {
        remainder += delta;
        const double whole = std::trunc(remainder / pointsPerItem);
        if (whole == 0)
            return index;
        remainder = std::fmod(remainder, pointsPerItem);
        steps = static_cast<long long>(std::clamp(whole, -double(count), double(count)));
    } else {
        remainder = 0;
        steps = delta < 0 ? -1 : 1;
    }
    const long long target = static_cast<long long>(index) + steps;
    if (target <= 0) {
        remainder = 0;
        return 0;
    }
    if (target >= count - 1) {
        remainder = 0;
        return count - 1;
    }
    return static_cast<int>(target);
}
