#include "ui/window/QFColorDerivation.h"

#include <algorithm>
#include <cmath>

QFHSB QFHSBOfColor(const QColor& color) {
    const QColor hsv = color.toHsv();
    const double hue = hsv.hsvHueF();
    return {hue < 0 ? 0.0 : hue, hsv.hsvSaturationF(), hsv.valueF()};
}

QColor QFColorWithHSB(double hue, double saturation, double brightness, double alpha) {
    double wrapped = std::fmod(hue, 1.0);
    if (wrapped < 0) wrapped += 1.0;
    if (!std::isfinite(wrapped)) wrapped = 0;
    // QColor takes hues below 1 only; 1 is red again.
    wrapped = std::min(wrapped, 1.0 - 1e-9);
    auto unit = [](double value) {
        return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
    };
    return QColor::fromHsvF(static_cast<float>(wrapped), static_cast<float>(unit(saturation)),
                            static_cast<float>(unit(brightness)), static_cast<float>(unit(alpha)));
}

QColor QFDerivedColor(const QColor& base, double hueShift, double saturationFactor,
                      double brightnessFactor, double alpha) {
    const QFHSB hsb = QFHSBOfColor(base);
    return QFColorWithHSB(hsb.hue + hueShift, hsb.saturation * saturationFactor,
                          hsb.brightness * brightnessFactor, alpha);
}
