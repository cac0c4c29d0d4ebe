#pragma once
// A tone curve, for the contour-mapping node (see BNGradientProvider.h for
// what every provider promises).

#include <cstdint>

class BNRenderingContext;

class BNContourProvider {
public:
    virtual ~BNContourProvider() = default;

    // Writes `count` floats, value i being the curve's output for the input
    // level i / (count - 1). Outputs are normally in [0, 1] but may reach
    // beyond; the node uses them unclamped. The context gives the output
    // colour profile.
    virtual void generateContourValues(float* values, uint64_t count,
                                       BNRenderingContext& context) const = 0;
};
