#pragma once
// Coverage by brute-force point sampling, the yardstick of the scanline
// rasteriser: every sub-sample centre of every pixel is tested against every
// edge on its own, and the compound paths' boolean operations are applied
// per sample.
//
// The edges are those the rasteriser sees: lines as they are, curves
// flattened finely (within 1/4096 of a point) in double precision, then
// converted to the rasteriser's fixed point and nudged as it nudges them
// (BNSpanAccumulator.h). Crossings are exact rational comparisons. So for
// polygons the result must equal the rasteriser's exactly, and for curves
// it differs only by the rasteriser's flattening.

#include "rendergraph/core/BNPathRasterizer.h"

#include <vector>

namespace rendergraph_test {

struct BruteForceRaster {
    uint64_t width = 0;
    uint64_t height = 0;
    double originX = 0;
    double originY = 0;
    double scaleFactor = 1;
    int samples = 16;  // per pixel, in x and in y
};

// Coverage of each pixel, row by row, of the compound paths combined as
// BNRasterizeCompoundPaths combines them.
std::vector<float> bruteForceCoverage(const BNCompoundPathList& compoundPaths,
                                      const std::vector<VKBooleanOperation>& operations,
                                      bool initiallyFilled, const BruteForceRaster& raster);

}  // namespace rendergraph_test
