#pragma once

// Turns horizontal scroll deltas into whole item steps over a row. Plain value type with no
// widget dependency, so the showcase's carousel can step with it too.
struct CoverFlowScroll {
    // Precise (trackpad) distance per item step, in logical pixels.
    static constexpr double pointsPerItem = 36;

    // Precise distance carried between events; its magnitude stays below pointsPerItem.
    double remainder = 0;

    void reset() { remainder = 0; }

    // Returns the new index for a delta (positive moves towards higher indexes). The result lies
    // in 0 ... count - 1 for an index in that range, and the remainder is cleared at either end.
    int step(bool precise, int index, int count, double delta);
};
