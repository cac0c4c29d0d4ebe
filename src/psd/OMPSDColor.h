#pragma once
// OMPSDColor: a colour of the document's descriptors (fills, effects,
// strokes, gradient stops) as RGB fractions 0..1.
//
// Descriptors store colours in the model the user picked. The conversion to
// RGB fractions is exact for RGB ("RGBC": 0..255 values times 1/255, or the
// 0..1 "redFloat" form) and HSB ("HSBC"); grayscale ("Grsc", ink percent) is
// exact up to the document's grey profile. Lab ("LbCl", D50 to sRGB) and CMYK
// ("CMYC", uncalibrated ink formula) are approximations: Photoshop converts
// through the document's colour profiles, which the reader does not apply.
// Book colours ("BkCl") use the values stored with them, in whichever of
// these models they are stored. Immutable value; safe to share.
#include <memory>

class OMPSDDescriptorDecoder;

class OMPSDColor {
public:
    OMPSDColor() = default;
    OMPSDColor(double red, double green, double blue) : red_(red), green_(green), blue_(blue) {}

    double red() const { return red_; }
    double green() const { return green_; }
    double blue() const { return blue_; }

    // The colour of a colour descriptor; false (and `out` untouched) when
    // the descriptor holds no colour of a known model.
    static bool fromDescriptor(const OMPSDDescriptorDecoder& descriptor, OMPSDColor* out);
    // The colour under `key` (usually "Clr "), else `fallback`.
    static OMPSDColor forKey(const OMPSDDescriptorDecoder& descriptor, const char* key,
                             OMPSDColor fallback);
    static OMPSDColor forKey(const OMPSDDescriptorDecoder& descriptor, const char* key) {
        return forKey(descriptor, key, OMPSDColor(0, 0, 0));
    }

    // The colour structure of binary records (legacy effects, gradient
    // maps): a 16-bit colour space and four 16-bit components.
    static OMPSDColor read(class OMPSDBinaryReader& reader);

    static OMPSDColor fromHSB(double hueDegrees, double saturation, double brightness);
    static OMPSDColor fromLab(double lightness, double a, double b);
    static OMPSDColor fromCMYK(double cyan, double magenta, double yellow, double black);

    friend bool operator==(const OMPSDColor&, const OMPSDColor&) = default;

private:
    double red_ = 0, green_ = 0, blue_ = 0;
};

// The sRGB transfer function, from linear light to encoded values, and its
// inverse; both clamp to 0..1 first.
double OMPSDEncodeSRGB(double linear);
double OMPSDDecodeSRGB(double encoded);
