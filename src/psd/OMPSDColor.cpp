#include "psd/OMPSDColor.h"

#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDDescriptorDecoder.h"

#include <algorithm>
#include <cmath>

namespace {

double clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

}  // namespace

double OMPSDEncodeSRGB(double linear) {
    linear = clamp01(linear);
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

double OMPSDDecodeSRGB(double encoded) {
    encoded = clamp01(encoded);
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

OMPSDColor OMPSDColor::fromHSB(double hue, double saturation, double brightness) {
    hue = std::fmod(hue, 360.0);
    if (hue < 0) hue += 360.0;
    double s = clamp01(saturation), v = clamp01(brightness);
    double sector = hue / 60.0;
    int i = int(std::floor(sector)) % 6;
    double f = sector - std::floor(sector);
    double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i) {
        case 0:
            return {v, t, p};
        case 1:
            return {q, v, p};
        case 2:
            return {p, v, t};
        case 3:
            return {p, q, v};
        case 4:
            return {t, p, v};
        default:
            return {v, p, q};
    }
}

OMPSDColor OMPSDColor::fromLab(double lightness, double a, double b) {
    // CIE L*a*b* relative to D50 (Photoshop's Lab), to XYZ, Bradford-adapted
    // to D65, to linear sRGB.
    double fy = (lightness + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
    auto inverse = [](double t) {
        return t > 6.0 / 29 ? t * t * t : 3 * (6.0 / 29) * (6.0 / 29) * (t - 4.0 / 29);
    };
    double x = 0.9642 * inverse(fx), y = inverse(fy), z = 0.8249 * inverse(fz);
    double r = 3.1338561 * x - 1.6168667 * y - 0.4906146 * z;
    double g = -0.9787684 * x + 1.9161415 * y + 0.0334540 * z;
    double bl = 0.0719453 * x - 0.2289914 * y + 1.4052427 * z;
    return {OMPSDEncodeSRGB(r), OMPSDEncodeSRGB(g), OMPSDEncodeSRGB(bl)};
}

OMPSDColor OMPSDColor::fromCMYK(double c, double m, double y, double k) {
    return {clamp01((1 - c) * (1 - k)), clamp01((1 - m) * (1 - k)), clamp01((1 - y) * (1 - k))};
}

bool OMPSDColor::fromDescriptor(const OMPSDDescriptorDecoder& d, OMPSDColor* out) {
    double r, g, b;
    if (d.decodeDouble(&r, "Rd  ") && d.decodeDouble(&g, "Grn ") && d.decodeDouble(&b, "Bl  ")) {
        *out = {r / 255.0, g / 255.0, b / 255.0};
        return true;
    }
    if (d.decodeDouble(&r, "redFloat") && d.decodeDouble(&g, "greenFloat") &&
        d.decodeDouble(&b, "blueFloat")) {
        *out = {r, g, b};
        return true;
    }
    double h, s, v;
    if (d.decodeDouble(&h, "H   ") && d.decodeDouble(&s, "Strt") && d.decodeDouble(&v, "Brgh")) {
        *out = fromHSB(h, s / 100.0, v / 100.0);
        return true;
    }
    double l, a, bb;
    if (d.decodeDouble(&l, "Lmnc") && d.decodeDouble(&a, "A   ") && d.decodeDouble(&bb, "B   ")) {
        *out = fromLab(l, a, bb);
        return true;
    }
    double c, m, y, k;
    if (d.decodeDouble(&c, "Cyn ") && d.decodeDouble(&m, "Mgnt") && d.decodeDouble(&y, "Ylw ") &&
        d.decodeDouble(&k, "Blck")) {
        *out = fromCMYK(c / 100.0, m / 100.0, y / 100.0, k / 100.0);
        return true;
    }
    double gray;
    if (d.decodeDouble(&gray, "Gry ")) {
        double v = clamp01(1.0 - gray / 100.0);
        *out = {v, v, v};
        return true;
    }
    // A book colour may carry its stored colour as a nested descriptor.
    for (const auto& [key, value] : d.items())
        if (value.object && fromDescriptor(*value.object, out)) return true;
    return false;
}

OMPSDColor OMPSDColor::forKey(const OMPSDDescriptorDecoder& descriptor, const char* key,
                              OMPSDColor fallback) {
    auto colorDescriptor = descriptor.descriptorForKey(key);
    if (colorDescriptor) fromDescriptor(*colorDescriptor, &fallback);
    return fallback;
}

OMPSDColor OMPSDColor::read(OMPSDBinaryReader& reader) {
    uint16_t space = reader.u16();
    uint16_t v[4];
    for (auto& component : v)
        component = reader.u16();
    switch (space) {
        case 0:  // RGB, 0..65535
            return {v[0] / 65535.0, v[1] / 65535.0, v[2] / 65535.0};
        case 1:  // HSB, each 0..65535 of its full range
            return fromHSB(v[0] / 65535.0 * 360.0, v[1] / 65535.0, v[2] / 65535.0);
        case 2:  // CMYK, 0 is full ink
            return fromCMYK(1 - v[0] / 65535.0, 1 - v[1] / 65535.0, 1 - v[2] / 65535.0,
                            1 - v[3] / 65535.0);
        case 7:  // Lab: lightness 0..10000, a and b signed hundredths
            return fromLab(v[0] / 100.0, int16_t(v[1]) / 100.0, int16_t(v[2]) / 100.0);
        case 8: {  // grayscale, 0..10000 ink
            double g = std::clamp(1.0 - v[0] / 10000.0, 0.0, 1.0);
            return {g, g, g};
        }
        default:
            return {};
    }
}
