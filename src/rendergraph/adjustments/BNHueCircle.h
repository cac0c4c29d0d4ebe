#pragma once
// Hues in degrees brought onto the circle the colour adjustments use.

#include <cmath>

// Adds 360 while the hue is below 0 and subtracts 360 while it is above 360
// (so 720 becomes 360 and -360 becomes 0); done with one exact remainder,
// which gives the same result as the repeated steps without looping on huge
// values. A hue that is not finite counts as 0.
template <typename Real>
Real BNHueInCircle(Real hue) {
    if (!std::isfinite(hue)) return 0;
    if (hue < 0) {
        hue = std::fmod(hue, Real(360));
        if (hue < 0) hue += 360;
    } else if (hue > 360) {
        hue = std::fmod(hue, Real(360));
        if (hue == 0) hue = 360;
    }
    return hue;
}
