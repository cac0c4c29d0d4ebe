// The Tarrow* entry points: each calls its kernel in the active set.
#include "kernels/TarrowKernelSet.h"

void TarrowFillPlanar(float* data, uint32_t width, int32_t height, uint32_t stride, float value) {
    TarrowKernels().fillPlanar(data, width, height, stride, value);
}

void TarrowFillRGBA(float* data, uint32_t width, int32_t height, uint32_t stride, float r, float g,
                    float b, float a) {
    TarrowKernels().fillRGBA(data, width, height, stride, r, g, b, a);
}

void TarrowCopyPlanar(const float* source, float* destination, uint32_t width, int32_t height,
                      uint32_t sourceStride, uint32_t destinationStride) {
    TarrowKernels().copyPlanar(source, destination, width, height, sourceStride, destinationStride);
}

void TarrowCopyRGBA(const float* source, float* destination, uint32_t width, int32_t height,
                    uint32_t sourceStride, uint32_t destinationStride) {
    TarrowKernels().copyRGBA(source, destination, width, height, sourceStride, destinationStride);
}

void TarrowScaleUp2x4(const float* source, float* destination, uint32_t srcWidth, int32_t srcHeight,
                      uint32_t srcStride, uint32_t dstStride) {
    TarrowKernels().scaleUp2x4(source, destination, srcWidth, srcHeight, srcStride, dstStride);
}

void TarrowScaleUp2x1(const float* source, float* destination, uint32_t srcWidth, int32_t srcHeight,
                      uint32_t srcStride, uint32_t dstStride) {
    TarrowKernels().scaleUp2x1(source, destination, srcWidth, srcHeight, srcStride, dstStride);
}

void TarrowScaleDown2x4(const float* source, float* destination, uint32_t srcWidth,
                        uint32_t srcHeight, uint32_t dstWidth, uint32_t dstHeight,
                        uint32_t srcStride, uint32_t dstStride) {
    TarrowKernels().scaleDown2x4(source, destination, srcWidth, srcHeight, dstWidth, dstHeight,
                                 srcStride, dstStride);
}

void TarrowScaleDown2x1(const float* source, float* destination, uint32_t srcWidth,
                        uint32_t srcHeight, uint32_t dstWidth, uint32_t dstHeight,
                        uint32_t srcStride, uint32_t dstStride) {
    TarrowKernels().scaleDown2x1(source, destination, srcWidth, srcHeight, dstWidth, dstHeight,
                                 srcStride, dstStride);
}

void TarrowCrossfadePlanar(const float* background, const float* foreground, float* output,
                           uint32_t width, int32_t height, uint32_t backgroundStride,
                           uint32_t foregroundStride, uint32_t outputStride, float t) {
    TarrowKernels().crossfadePlanar(background, foreground, output, width, height, backgroundStride,
                                    foregroundStride, outputStride, t);
}

void TarrowCrossfadeRGBA(const float* background, const float* foreground, float* output,
                         uint32_t width, int32_t height, uint32_t backgroundStride,
                         uint32_t foregroundStride, uint32_t outputStride, float t) {
    TarrowKernels().crossfadeRGBA(background, foreground, output, width, height, backgroundStride,
                                  foregroundStride, outputStride, t);
}

void TarrowCrossfadeWithMaskPlanar(const float* background, const float* foreground,
                                   const float* mask, float* output, uint32_t width, int32_t height,
                                   uint32_t backgroundStride, uint32_t foregroundStride,
                                   uint32_t maskStride, uint32_t outputStride) {
    TarrowKernels().crossfadeWithMaskPlanar(background, foreground, mask, output, width, height,
                                            backgroundStride, foregroundStride, maskStride,
                                            outputStride);
}

void TarrowCrossfadeWithMaskRGBA(const float* background, const float* foreground,
                                 const float* mask, float* output, uint32_t width, int32_t height,
                                 uint32_t backgroundStride, uint32_t foregroundStride,
                                 uint32_t maskStride, uint32_t outputStride) {
    TarrowKernels().crossfadeWithMaskRGBA(background, foreground, mask, output, width, height,
                                          backgroundStride, foregroundStride, maskStride,
                                          outputStride);
}

void TarrowInvertPlanar(const float* input, float* output, uint32_t width, int32_t height,
                        uint32_t inputStride, uint32_t outputStride) {
    TarrowKernels().invertPlanar(input, output, width, height, inputStride, outputStride);
}

void TarrowDifferencePlanar(const float* a, const float* b, float* output, uint32_t width,
                            int32_t height, uint32_t aStride, uint32_t bStride,
                            uint32_t outputStride) {
    TarrowKernels().differencePlanar(a, b, output, width, height, aStride, bStride, outputStride);
}

void TarrowApplyMaskPlanar(const float* input, const float* mask, float* output, uint32_t width,
                           int32_t height, uint32_t inputStride, uint32_t maskStride,
                           uint32_t outputStride) {
    TarrowKernels().applyMaskPlanar(input, mask, output, width, height, inputStride, maskStride,
                                    outputStride);
}

void TarrowApplyMaskRGBA(const float* input, const float* mask, float* output, uint32_t width,
                         int32_t height, uint32_t inputStride, uint32_t maskStride,
                         uint32_t outputStride) {
    TarrowKernels().applyMaskRGBA(input, mask, output, width, height, inputStride, maskStride,
                                  outputStride);
}

void TarrowDivideMaskPlanar(const float* background, const float* foreground, float* output,
                            uint32_t width, int32_t height, uint32_t backgroundStride,
                            uint32_t foregroundStride, uint32_t outputStride, float k) {
    TarrowKernels().divideMaskPlanar(background, foreground, output, width, height,
                                     backgroundStride, foregroundStride, outputStride, k);
}

void TarrowDivideMaskRGBA(const float* background, const float* foreground, float* output,
                          uint32_t width, int32_t height, uint32_t backgroundStride,
                          uint32_t foregroundStride, uint32_t outputStride, float k) {
    TarrowKernels().divideMaskRGBA(background, foreground, output, width, height, backgroundStride,
                                   foregroundStride, outputStride, k);
}

void TarrowLimitToMaskPlanar(const float* input, const float* mask, float* output, uint32_t width,
                             int32_t height, uint32_t inputStride, uint32_t maskStride,
                             uint32_t outputStride, float threshold) {
    TarrowKernels().limitToMaskPlanar(input, mask, output, width, height, inputStride, maskStride,
                                      outputStride, threshold);
}

void TarrowMakeOpaqueRGBA(const float* input, float* output, uint32_t width, int32_t height,
                          uint32_t inputStride, uint32_t outputStride, float a) {
    TarrowKernels().makeOpaqueRGBA(input, output, width, height, inputStride, outputStride, a);
}

void TarrowColorWithMaskRGBA(const float* mask, float* output, uint32_t width, int32_t height,
                             uint32_t maskStride, uint32_t outputStride, float r, float g,
                             float b) {
    TarrowKernels().colorWithMaskRGBA(mask, output, width, height, maskStride, outputStride, r, g,
                                      b);
}

void TarrowOverrideAlphaRGBA(const float* input, const float* alpha, float* output, uint32_t width,
                             int32_t height, uint32_t inputStride, uint32_t alphaStride,
                             uint32_t outputStride) {
    TarrowKernels().overrideAlphaRGBA(input, alpha, output, width, height, inputStride, alphaStride,
                                      outputStride);
}

void TarrowScaleBiasPlanar(const float* input, float* output, uint32_t width, int32_t height,
                           uint32_t inputStride, uint32_t outputStride, float a, float b) {
    TarrowKernels().scaleBiasPlanar(input, output, width, height, inputStride, outputStride, a, b);
}

void TarrowBiasScalePlanar(const float* input, float* output, uint32_t width, int32_t height,
                           uint32_t inputStride, uint32_t outputStride, float a, float b) {
    TarrowKernels().biasScalePlanar(input, output, width, height, inputStride, outputStride, a, b);
}

void TarrowRestrictChannelsRGBA(const float* background, const float* foreground, float* output,
                                uint32_t width, int32_t height, uint32_t backgroundStride,
                                uint32_t foregroundStride, uint32_t outputStride,
                                uint32_t channels) {
    TarrowKernels().restrictChannelsRGBA(background, foreground, output, width, height,
                                         backgroundStride, foregroundStride, outputStride,
                                         channels);
}

void TarrowIsolateOpacity(const float* input, float* output, uint32_t width, int32_t height,
                          uint32_t inputStride, uint32_t outputStride) {
    TarrowKernels().isolateOpacity(input, output, width, height, inputStride, outputStride);
}

void TarrowApplyTextureRGBA(const float* texture, const float* input, float* output, uint32_t width,
                            int32_t height, uint32_t textureStride, uint32_t inputStride,
                            uint32_t outputStride, float amount) {
    TarrowKernels().applyTextureRGBA(texture, input, output, width, height, textureStride,
                                     inputStride, outputStride, amount);
}

void TarrowApplyTextureGrayAlpha(const float* texture, const float* input, float* output,
                                 uint32_t width, int32_t height, uint32_t textureStride,
                                 uint32_t inputStride, uint32_t outputStride, float amount) {
    TarrowKernels().applyTextureGrayAlpha(texture, input, output, width, height, textureStride,
                                          inputStride, outputStride, amount);
}

void TarrowEffectMaskPlanar(const float* interior, const float* exterior, const float* shape,
                            const float* factorMask, float* output, uint32_t width, int32_t height,
                            uint32_t interiorStride, uint32_t exteriorStride, uint32_t shapeStride,
                            uint32_t factorMaskStride, uint32_t outputStride) {
    TarrowKernels().effectMaskPlanar(interior, exterior, shape, factorMask, output, width, height,
                                     interiorStride, exteriorStride, shapeStride, factorMaskStride,
                                     outputStride);
}

void TarrowBlendIfGray(const float* input, float* output, const float* table, uint32_t width,
                       int32_t height, uint32_t inputStride, uint32_t outputStride,
                       uint32_t count) {
    TarrowKernels().blendIfGray(input, output, table, width, height, inputStride, outputStride,
                                count);
}

void TarrowBlendIfColor(const float* input, float* output, const float* redTable,
                        const float* greenTable, const float* blueTable, uint32_t width,
                        int32_t height, uint32_t inputStride, uint32_t outputStride,
                        uint32_t count) {
    TarrowKernels().blendIfColor(input, output, redTable, greenTable, blueTable, width, height,
                                 inputStride, outputStride, count);
}

void TarrowBlendIfColorMultiply(const float* input, float* output, const float* redTable,
                                const float* greenTable, const float* blueTable, uint32_t width,
                                int32_t height, uint32_t inputStride, uint32_t outputStride,
                                uint32_t count) {
    TarrowKernels().blendIfColorMultiply(input, output, redTable, greenTable, blueTable, width,
                                         height, inputStride, outputStride, count);
}

void TarrowLookupPlanar(const float* source, float* destination, const float* table, uint32_t width,
                        int32_t height, uint32_t sourceStride, uint32_t destinationStride,
                        uint32_t count) {
    TarrowKernels().lookupPlanar(source, destination, table, width, height, sourceStride,
                                 destinationStride, count);
}

void TarrowGradientMap(const float* source, float* destination, const float* table, uint32_t width,
                       int32_t height, uint32_t sourceStride, uint32_t destinationStride,
                       uint32_t count) {
    TarrowKernels().gradientMap(source, destination, table, width, height, sourceStride,
                                destinationStride, count);
}

void TarrowColorize(const float* source, float* destination, const float* redTable,
                    const float* greenTable, const float* blueTable, uint32_t width, int32_t height,
                    uint32_t sourceStride, uint32_t destinationStride, uint32_t count) {
    TarrowKernels().colorize(source, destination, redTable, greenTable, blueTable, width, height,
                             sourceStride, destinationStride, count);
}

void TarrowContourPlanar(const float* source, float* destination, const float* table,
                         uint32_t width, int32_t height, uint32_t sourceStride,
                         uint32_t destinationStride, uint32_t count) {
    TarrowKernels().contourPlanar(source, destination, table, width, height, sourceStride,
                                  destinationStride, count);
}

void TarrowContourRGBA(const float* source, float* destination, const float* redTable,
                       const float* greenTable, const float* blueTable, const float* alphaTable,
                       uint32_t width, int32_t height, uint32_t sourceStride,
                       uint32_t destinationStride, uint32_t count) {
    TarrowKernels().contourRGBA(source, destination, redTable, greenTable, blueTable, alphaTable,
                                width, height, sourceStride, destinationStride, count);
}

void TarrowHueSaturation(const float* source, float* destination, const float* hueTable,
                         const float* saturationTable, const float* lightnessTable,
                         const float* lightnessLookup, uint32_t width, int32_t height,
                         uint32_t sourceStride, uint32_t destinationStride, uint32_t tableCount,
                         uint32_t lookupCount) {
    TarrowKernels().hueSaturation(source, destination, hueTable, saturationTable, lightnessTable,
                                  lightnessLookup, width, height, sourceStride, destinationStride,
                                  tableCount, lookupCount);
}

void TarrowShade(const float* source, float* destination, uint32_t width, int32_t height,
                 uint32_t sourceStride, uint32_t destinationStride, float direction,
                 float elevation, float size, float depth) {
    TarrowKernels().shade(source, destination, width, height, sourceStride, destinationStride,
                          direction, elevation, size, depth);
}

void TarrowAngularGradient(float* destination, const float* table, int32_t x0, int32_t y0,
                           int32_t width, int32_t height, uint32_t destinationStride,
                           uint32_t count, bool dither, float cx, float cy, float angle) {
    TarrowKernels().angularGradient(destination, table, x0, y0, width, height, destinationStride,
                                    count, dither, cx, cy, angle);
}

void TarrowDiamondGradient(float* destination, const float* table, int32_t x0, int32_t y0,
                           int32_t width, int32_t height, uint32_t destinationStride,
                           uint32_t count, bool dither, float cx, float cy, float angle,
                           float radius) {
    TarrowKernels().diamondGradient(destination, table, x0, y0, width, height, destinationStride,
                                    count, dither, cx, cy, angle, radius);
}

void TarrowLinearGradient(float* destination, const float* table, int32_t x0, int32_t y0,
                          int32_t width, int32_t height, uint32_t destinationStride, uint32_t count,
                          bool dither, float startX, float startY, float endX, float endY) {
    TarrowKernels().linearGradient(destination, table, x0, y0, width, height, destinationStride,
                                   count, dither, startX, startY, endX, endY);
}

void TarrowRadialGradient(float* destination, const float* table, int32_t x0, int32_t y0,
                          int32_t width, int32_t height, uint32_t destinationStride, uint32_t count,
                          bool dither, float cx, float cy, float radius) {
    TarrowKernels().radialGradient(destination, table, x0, y0, width, height, destinationStride,
                                   count, dither, cx, cy, radius);
}

void TarrowReflectedGradient(float* destination, const float* table, int32_t x0, int32_t y0,
                             int32_t width, int32_t height, uint32_t destinationStride,
                             uint32_t count, bool dither, float startX, float startY, float endX,
                             float endY) {
    TarrowKernels().reflectedGradient(destination, table, x0, y0, width, height, destinationStride,
                                      count, dither, startX, startY, endX, endY);
}

void TarrowAddNoisePlanar(const float* input, float* output, int32_t x, int32_t y, uint32_t width,
                          int32_t height, float amount, uint32_t inputStride,
                          uint32_t outputStride) {
    TarrowKernels().addNoisePlanar(input, output, x, y, width, height, amount, inputStride,
                                   outputStride);
}

void TarrowAddNoiseRGBA(const float* input, float* output, int32_t x, int32_t y, uint32_t width,
                        int32_t height, float redAmount, float greenAmount, float blueAmount,
                        float opacityAmount, uint32_t inputStride, uint32_t outputStride) {
    TarrowKernels().addNoiseRGBA(input, output, x, y, width, height, redAmount, greenAmount,
                                 blueAmount, opacityAmount, inputStride, outputStride);
}

const TarrowBlendTable& TarrowPlainBlendKernels() {
    return TarrowKernels().plainBlend;
}
const TarrowBlendTable& TarrowFillAwareBlendKernels() {
    return TarrowKernels().fillAwareBlend;
}
