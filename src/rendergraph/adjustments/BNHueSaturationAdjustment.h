#pragma once
// BNHueSaturationAdjustment: one set of hue, saturation and lightness
// changes of a hue/saturation adjustment, for the master or for one colour
// range. The range rises from range0 to range1, is full from range1 to
// range2 and falls to range3 (degrees on the hue circle); the master ignores
// it. A plain value: BNHueSaturationAdjustmentNode keeps its own copies.

class BNHueSaturationAdjustment {
public:
    // Hue in degrees, saturation and lightness from -1 to 1.
    double hue() const { return hue_; }
    void setHue(double hue) { hue_ = hue; }
    double saturation() const { return saturation_; }
    void setSaturation(double saturation) { saturation_ = saturation; }
    double lightness() const { return lightness_; }
    void setLightness(double lightness) { lightness_ = lightness; }

    double range0() const { return range0_; }
    void setRange0(double range) { range0_ = range; }
    double range1() const { return range1_; }
    void setRange1(double range) { range1_ = range; }
    double range2() const { return range2_; }
    void setRange2(double range) { range2_ = range; }
    double range3() const { return range3_; }
    void setRange3(double range) { range3_ = range; }

private:
    double hue_ = 0.0;
    double saturation_ = 0.0;
    double lightness_ = 0.0;
    double range0_ = 0.0;
    double range1_ = 0.0;
    double range2_ = 360.0;
    double range3_ = 360.0;
};
