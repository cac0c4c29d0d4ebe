#pragma once
// Tone curves of the adjustments that work channel by channel, for the
// contour-mapping node: levels, exposure, one channel of a colour balance,
// and curves written by a function (invert, posterize). The brightness and
// contrast curves and those of Photoshop contours have files of their own.
//
// Every provider is immutable and asked from several tile threads at once.
// None writes a not-a-number: settings a curve cannot be evaluated with
// give the identity curve.

#include "psd/OMPSDAdjustments.h"
#include "rendergraph/adjustments/BNContourProvider.h"

#include <functional>
#include <memory>

// Levels of one channel: the input range [floor, ceiling] stretched over
// the output range through the gamma, clamped to the output range. With
// the output floor above the output ceiling every value is the ceiling.
// Equal input floor and ceiling, a gamma that is not a positive number, or
// a value that is not finite give the identity.
class QFLevelsContourProvider final : public BNContourProvider {
public:
    QFLevelsContourProvider(double inputFloor, double inputCeiling, double outputFloor,
                            double outputCeiling, double gamma)
        : inputFloor_(inputFloor),
          inputCeiling_(inputCeiling),
          outputFloor_(outputFloor),
          outputCeiling_(outputCeiling),
          gamma_(gamma) {}

    void generateContourValues(float* values, uint64_t count,
                               BNRenderingContext& context) const override;

private:
    double inputFloor_, inputCeiling_, outputFloor_, outputCeiling_, gamma_;
};

// Exposure in linear light: the level decoded with the rendering's gamma
// (its colour profile's estimated gamma, 2.2 without one), times 2^exposure
// plus the offset, through the exposure's own gamma (1 / gamma as an
// exponent, odd for negative values), encoded again and clamped to 0..1.
class QFExposureProvider final : public BNContourProvider {
public:
    QFExposureProvider(double exposure, double offset, double gamma)
        : exposure_(exposure), offset_(offset), gamma_(gamma) {}

    void generateContourValues(float* values, uint64_t count,
                               BNRenderingContext& context) const override;

private:
    double exposure_, offset_, gamma_;
};

// One channel (0 red, 1 green, 2 blue) of a colour balance: 0 up to a
// lower bound, 1 from an upper bound, a gamma curve between them. The
// bounds come from the shadow and highlight sliders, the gamma from the
// midtones; preserving luminosity offsets them by the other channels'
// sliders. Bounds are taken in table entries and clamped to the table.
class QFColorBalanceContourProvider final : public BNContourProvider {
public:
    QFColorBalanceContourProvider(const OMPSDColorBalance* balance, int channel);

    float minRange() const { return minRange_; }
    float maxRange() const { return maxRange_; }
    float gamma() const { return gamma_; }

    void generateContourValues(float* values, uint64_t count,
                               BNRenderingContext& context) const override;

private:
    float minRange_ = 0, maxRange_ = 255, gamma_ = 1;
};

// A curve written by a function; without one, the identity.
class QFBlockContourProvider final : public BNContourProvider {
public:
    using Callback = std::function<void(float* values, uint64_t count, BNRenderingContext&)>;
    explicit QFBlockContourProvider(Callback callback) : callback_(std::move(callback)) {}

    void generateContourValues(float* values, uint64_t count,
                               BNRenderingContext& context) const override;

private:
    Callback callback_;
};
