#pragma once
// Fill paints of the document: solid colours, gradients and patterns, as
// fill layers ("SoCo", "GdFl", "PtFl"), shape fills ("vscg"), vector-stroke
// paints, gradient maps and the overlay and stroke effects use them.
//
// Units: fractions are 0..1 (100 % is 1.0), angles degrees counter-clockwise,
// phases and offsets as noted per property. Defaults are those of the
// descriptor keys in the comments and apply when a key is absent. Values are
// immutable once decoded and safe to share between threads.
#include "psd/OMPSDColor.h"
#include "psd/OMPSDProperty.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class OMPSDDescriptorDecoder;

class OMPSDGradientColorStop {
public:
    OMPSDGradientColorStop() = default;
    OMPSDGradientColorStop(double location, double midpoint, OMPSDColor color)
        : location_(location), midpoint_(midpoint), color_(color) {}
    double location() const { return location_; }  // "Lctn" / 4096
    double midpoint() const { return midpoint_; }  // "Mdpn" * 0.01
    const OMPSDColor& color() const { return color_; }

private:
    double location_ = 0, midpoint_ = 0.5;
    OMPSDColor color_;
};

class OMPSDGradientOpacityStop {
public:
    OMPSDGradientOpacityStop() = default;
    OMPSDGradientOpacityStop(double location, double midpoint, double opacity)
        : location_(location), midpoint_(midpoint), opacity_(opacity) {}
    double location() const { return location_; }  // "Lctn" / 4096
    double midpoint() const { return midpoint_; }  // "Mdpn" * 0.01
    double opacity() const { return opacity_; }    // "Opct" percent * 0.01, 1.0 when absent

private:
    double location_ = 0, midpoint_ = 0.5, opacity_ = 1;
};

// A gradient ("Grdn" descriptor). Noise gradients ("GrdF" "ClNs") have no
// stops: both lists are empty.
class OMPSDGradient {
public:
    // Stops are sorted by increasing location (stable for equal ones). The
    // interpolation method is stored beside the gradient, by the paint that
    // holds it.
    static std::shared_ptr<const OMPSDGradient> fromDescriptor(
        const OMPSDDescriptorDecoder& d, std::string interpolationMethod = {});

    OMPSD_PROPERTY(std::string, name, setName);
    // "Intr" (or "Smth") / 4096; 1.0 when absent.
    OMPSD_PROPERTY(double, smoothness, setSmoothness, 1.0);
    OMPSD_PROPERTY(bool, isNoise, setIsNoise, false);
    // As stored beside the gradient ("Gcls" classic, "Lnr " linear, "Perc"
    // perceptual...); empty when absent.
    OMPSD_PROPERTY(std::string, interpolationMethod, setInterpolationMethod);
    OMPSD_PROPERTY(std::vector<OMPSDGradientColorStop>, colorStops, setColorStops);
    OMPSD_PROPERTY(std::vector<OMPSDGradientOpacityStop>, opacityStops, setOpacityStops);
};

// The interpolation method that a paint's descriptor stores beside its
// gradient: "gradientsInterpolationMethod" of fill layers, or "gs99" of the
// gradient overlays, strokes and glows; empty when it stores neither.
std::string OMPSDGradientInterpolationMethod(const OMPSDDescriptorDecoder& paint);

// Base of the three paints. `kind()` tells them apart without casts.
class OMPSDFill {
public:
    enum class Kind { color, gradient, pattern };
    virtual ~OMPSDFill() = default;
    virtual Kind kind() const = 0;

    // The paint of a fill descriptor: a gradient when it has "Grad", a
    // pattern when it has "Ptrn", else a colour ("Clr ", black when absent).
    static std::shared_ptr<const OMPSDFill> fromDescriptor(const OMPSDDescriptorDecoder& d);
};

class OMPSDColorFill final : public OMPSDFill {
public:
    explicit OMPSDColorFill(OMPSDColor color) : color_(color) {}
    Kind kind() const override { return Kind::color; }
    const OMPSDColor& color() const { return color_; }

private:
    OMPSDColor color_;
};

// Gradient style of "Type": 0 "Angl", 1 "Dmnd", 2 "Lnr " (the default, and
// the value for any unknown type), 3 "Rdl ", 4 "Rflc", 5 "shapeburst".
enum OMPSDGradientStyle : int {
    OMPSDGradientStyleAngle = 0,
    OMPSDGradientStyleDiamond = 1,
    OMPSDGradientStyleLinear = 2,
    OMPSDGradientStyleRadial = 3,
    OMPSDGradientStyleReflected = 4,
    OMPSDGradientStyleShapeBurst = 5,
};

class OMPSDGradientFill final : public OMPSDFill {
public:
    Kind kind() const override { return Kind::gradient; }

    // From a gradient fill descriptor ("GdFl", gradient overlay and stroke
    // effects, "vscg"); null when it has no gradient.
    static std::shared_ptr<const OMPSDGradientFill> fromDescriptor(const OMPSDDescriptorDecoder& d);
    // From a gradient map block ("grdm", binary, versions 1 and 3).
    static std::shared_ptr<const OMPSDGradientFill> fromGradientMap(std::span<const uint8_t> data);

    OMPSD_PROPERTY(std::shared_ptr<const OMPSDGradient>, gradient, setGradient);    // "Grad"
    OMPSD_PROPERTY(bool, isReversed, setIsReversed, false);                         // "Rvrs"
    OMPSD_PROPERTY(OMPSDGradientStyle, style, setStyle, OMPSDGradientStyleLinear);  // "Type"
    OMPSD_PROPERTY(bool, isAlignedWithLayer, setIsAlignedWithLayer, true);          // "Algn"
    // "Ofst" "Hrzn" / "Vrtc" percent * 0.01; 0 when absent.
    OMPSD_PROPERTY(double, horizontalOffset, setHorizontalOffset, 0.0);
    OMPSD_PROPERTY(double, verticalOffset, setVerticalOffset, 0.0);
    OMPSD_PROPERTY(double, angle, setAngle, 0.0);            // "Angl", degrees
    OMPSD_PROPERTY(double, scale, setScale, 1.0);            // "Scl " percent * 0.01
    OMPSD_PROPERTY(bool, isDithered, setIsDithered, false);  // "Dthr"
};

// A pattern named by its identifier ("Ptrn" descriptor: "Idnt", "Nm  ").
class OMPSDPatternReference {
public:
    OMPSDPatternReference(std::string identifier, std::string name)
        : identifier_(std::move(identifier)), name_(std::move(name)) {}
    static std::shared_ptr<const OMPSDPatternReference> fromDescriptor(
        const OMPSDDescriptorDecoder& d);
    const std::string& identifier() const { return identifier_; }
    const std::string& name() const { return name_; }

private:
    std::string identifier_, name_;
};

class OMPSDPatternFill final : public OMPSDFill {
public:
    Kind kind() const override { return Kind::pattern; }

    // From a pattern fill descriptor ("PtFl", pattern overlay and stroke
    // effects, "vscg"); null when it names no pattern.
    static std::shared_ptr<const OMPSDPatternFill> fromDescriptor(const OMPSDDescriptorDecoder& d);

    OMPSD_PROPERTY(std::shared_ptr<const OMPSDPatternReference>, patternReference,
                   setPatternReference);  // "Ptrn"
    // "phsP" or "phase" "Hrzn" / "Vrtc", pixels; 0 when absent.
    OMPSD_PROPERTY(double, horizontalPhase, setHorizontalPhase, 0.0);
    OMPSD_PROPERTY(double, verticalPhase, setVerticalPhase, 0.0);
    OMPSD_PROPERTY(bool, isLinkedWithLayer, setIsLinkedWithLayer, true);  // "Algn"
    OMPSD_PROPERTY(double, scale, setScale, 1.0);                         // "Scl " percent * 0.01
};
