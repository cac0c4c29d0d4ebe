#pragma once
// Colours of the window chrome, derived from one base colour by moving its
// hue and scaling its saturation and brightness (device HSB).
//
// The recipes multiply saturation and brightness freely (5.5 x s), and add
// to the hue: a hue is taken modulo 1, saturation and brightness are
// clamped to 0...1, so every recipe yields a valid colour from any base.
//
// Threads: plain functions.

#include <QColor>

struct QFHSB {
    double hue = 0, saturation = 0, brightness = 0;
};

// The hue, saturation and brightness of `color` in 0...1; an achromatic
// colour has hue 0.
QFHSB QFHSBOfColor(const QColor& color);

// The device colour of hue `hue` (taken modulo 1), `saturation` and
// `brightness` (each clamped to 0...1) and `alpha`.
QColor QFColorWithHSB(double hue, double saturation, double brightness, double alpha = 1.0);

// `base` with its hue moved by `hueShift`, its saturation and brightness
// multiplied by `saturationFactor` and `brightnessFactor`.
QColor QFDerivedColor(const QColor& base, double hueShift, double saturationFactor,
                      double brightnessFactor, double alpha = 1.0);
