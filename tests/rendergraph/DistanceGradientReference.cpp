#include "DistanceGradientReference.h"

#include "ReferenceRenderer.h"
#include "kernels/LookupKernels.h"
#include "rendergraph/gradients/BNBitmapStrokeNode.h"
#include "rendergraph/gradients/BNDistance.h"
#include "rendergraph/gradients/BNDistanceTransformNode.h"
#include "rendergraph/gradients/BNShapeBurstGradientNode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace rendergraph_test {

BNSurfacePtr evaluateGradientByColumns(const BNRenderNode& node, VKRect rect, double scaleFactor,
                                       const BNSurfaceList& inputs, BNRenderingContext& context) {
    BNSurfacePtr output = zeroSurface(rect, scaleFactor, node.channels());
    const int n = output->samplesPerPixel();
    for (uint64_t x = 0; x < output->widthInPixels(); ++x) {
        VKRect column = VKRectMake(rect.origin.x + double(x) / scaleFactor, rect.origin.y,
                                   1.0 / scaleFactor, rect.size.height);
        BNSurfacePtr strip = zeroSurface(column, scaleFactor, node.channels());
        node.renderWithOutputSurface(*strip, inputs, context);
        for (uint64_t y = 0; y < output->heightInPixels(); ++y)
            std::memcpy(output->row(y) + x * n, strip->row(y), n * sizeof(float));
    }
    return output;
}

namespace {

// The stroke position, width in pixels and centred technique of a
// distance-field node.
struct DistanceSettings {
    VKStrokePosition position = VKStrokePositionCentered;
    double w = 0;
    BNDistanceTechnique technique = BNDistanceTechniqueEdgeAnchored;
};

}  // namespace

BNSurfacePtr evaluateDistanceOverWholeInput(const BNRenderNode& node, VKRect rect,
                                            double scaleFactor, const BNSurfaceList& inputs,
                                            BNRenderingContext&) {
    const auto* stroke = dynamic_cast<const BNBitmapStrokeNode*>(&node);
    const auto* transform = dynamic_cast<const BNDistanceTransformNode*>(&node);
    const auto* burst = dynamic_cast<const BNShapeBurstGradientNode*>(&node);
    DistanceSettings settings;
    if (stroke)
        settings = {stroke->position(), stroke->width() * scaleFactor,
                    BNDistanceTechniqueEdgeAnchored};
    if (transform)
        settings = {transform->position(), transform->width() * scaleFactor,
                    transform->technique()};
    if (burst) settings = {burst->position(), burst->width(), BNDistanceTechniqueEdgeAnchored};

    BNSurfacePtr output = zeroSurface(rect, scaleFactor, node.channels());
    const BNSurface& input = *inputs.at(0);
    const uint64_t width = input.widthInPixels(), height = input.heightInPixels();
    // The node's region of interest grows its rectangle alike on every side.
    const auto margin =
        static_cast<uint64_t>(std::llround((rect.origin.x - input.rect().origin.x) * scaleFactor));
    const uint64_t c = static_cast<uint64_t>(std::ceil(settings.w)) + 2;

    // The field over all of the input; the band, when wanted, over all of
    // it but the c pixels the computation reads around every band pixel.
    std::vector<float> field(width * height), band((width - 2 * c) * (height - 2 * c));
    BNDistancePlanes planes;
    planes.input = {width, height, input.bytesPerRow() / sizeof(float), input.data()};
    planes.field = {width, height, width, field.data()};
    if (stroke) planes.final = {width - 2 * c, height - 2 * c, width - 2 * c, band.data()};
    if (settings.position == VKStrokePositionCentered)
        BNCentredDistance(settings.technique, planes, settings.w);
    else
        BNOneSidedDistance(settings.position == VKStrokePositionInside, planes, settings.w);

    std::vector<float> table(4 * 4097, 0.0f);
    if (burst) {
        burst->provider()->generateRGBAGradientValues(table.data(), 4096, true);
        if (settings.position == VKStrokePositionOutside)
            for (int i = 0; i < 2048; ++i)
                std::swap_ranges(&table[4 * i], &table[4 * i + 4], &table[4 * (4095 - i)]);
    }
    const uint64_t outWidth = output->widthInPixels();
    for (uint64_t y = 0; y < output->heightInPixels(); ++y) {
        const float* source = stroke ? band.data() + (y + margin - c) * (width - 2 * c) + margin - c
                                     : field.data() + (y + margin) * width + margin;
        if (!burst) {
            std::memcpy(output->row(y), source, outWidth * sizeof(float));
            continue;
        }
        TarrowLookupPlanar(source, output->row(y), table.data(), static_cast<uint32_t>(outWidth), 1,
                           0, 0, 4096);
    }
    return output;
}

}  // namespace rendergraph_test
