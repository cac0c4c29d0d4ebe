#pragma once
// Photoshop's angle correction for gradient fills: the angle is brought
// into 0..360 and then pulled, within each quadrant, towards the quadrant's
// diagonal by 0.0444444 sin(2 pi f) of a quadrant (f the fraction of the
// quadrant). Multiples of 45 degrees stay as they are; 30 becomes 33.46...,
// 60 becomes 56.54.... The lights of the effects take their angle as it is
// stored.

// Degrees in, degrees out; a non-finite angle comes back as it is.
double QFCorrectedLightAngle(double degrees);
