#pragma once
// Tone curves of the brightness/contrast adjustment, for the contour-mapping
// node: the current one (descriptor values "Brgh" and "Cntr", -150..150 and
// -50..100) and the legacy one (the "brit" block's signed values), for
// adjustments that carry no descriptor of the current kind.
//
// Immutable; asked from several tile threads at once.

#include "rendergraph/adjustments/BNContourProvider.h"

// One brightness stage: linear with slope k up to the knee (x0, 0.5), then
// a cubic in t = (x - x0) * s from there to (1, 1) that continues the
// slope. A stage of amount 0 is the identity.
struct QFBrightnessCurve {
    double amount = 0, k = 1, x0 = 0.5, s = 2;
    double a3 = 0, a2 = 0, a1 = 0, a0 = 0.5;
};

QFBrightnessCurve QFBrightnessCurveMake(double amount);
double QFBrightnessCurveApply(const QFBrightnessCurve& curve, double x);
// The inverse, by Newton's method on the cubic part (within 1e-6).
double QFBrightnessCurveInvert(const QFBrightnessCurve& curve, double y);

// Brightness raises (or, negative, lowers by the exact inverse) the levels
// through up to two brightness stages; contrast then pushes levels below
// and above the middle apart along two parabolas, keeping 0, 0.5 and 1.
// Values are not clamped.
class QFBrightnessContrastContourProvider final : public BNContourProvider {
public:
    QFBrightnessContrastContourProvider(double brightness, double contrast);

    // The curve at one level.
    double valueAt(double x) const;
    void generateContourValues(float* values, uint64_t count,
                               BNRenderingContext& context) const override;

private:
    double brightness_, contrast_;
    bool lowering_;
    QFBrightnessCurve stageA_, stageB_;
};

// Contrast turns the line about a pivot at 127/255 moved by the brightness
// (brightness / 255): steeper for positive contrast, flatter for negative,
// a hard step at contrast 100. Values are clamped to 0..1.
class QFLegacyBrightnessContrastContourProvider final : public BNContourProvider {
public:
    QFLegacyBrightnessContrastContourProvider(double brightness, double contrast)
        : brightness_(brightness), contrast_(contrast) {}

    void generateContourValues(float* values, uint64_t count,
                               BNRenderingContext& context) const override;

private:
    double brightness_, contrast_;
};
