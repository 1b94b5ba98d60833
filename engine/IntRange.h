#pragma once

// A double brought into int range; NaN gives the low end.
inline int clampToInt(double v) {
    if (!(v > -1e9))
        return -1000000000;
    if (v > 1e9)
        return 1000000000;
    return static_cast<int>(v);
}
