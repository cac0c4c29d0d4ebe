#include "NodeTestSupport.h"
#include "TestNodes.h"
#include "TestPaths.h"
#include "platform/core/Log.h"
#include "rendergraph/adjustments/BNColorizeNode.h"
#include "rendergraph/adjustments/BNContourMappingNode.h"
#include "rendergraph/adjustments/BNHueSaturationAdjustmentNode.h"
#include "rendergraph/adjustments/BNShadeNode.h"
#include "rendergraph/adjustments/BNVibranceAdjustmentNode.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/geometry/BNCompoundPathNode.h"
#include "rendergraph/gradients/BNAngularGradientNode.h"
#include "rendergraph/gradients/BNBitmapStrokeNode.h"
#include "rendergraph/gradients/BNDiamondGradientNode.h"
#include "rendergraph/gradients/BNDistanceTransformNode.h"
#include "rendergraph/gradients/BNGradientMappingNode.h"
#include "rendergraph/gradients/BNLinearGradientNode.h"
#include "rendergraph/gradients/BNShapeBurstGradientNode.h"
#include "rendergraph/images/BNApplyNoiseNode.h"
#include "rendergraph/masks/BNColorWithMaskNode.h"

#include <gtest/gtest.h>

using namespace rendergraph_test;

namespace {

// A picture of the kind layer effects make: dithered gradients, a stroke, a
// noisy shape-burst glow and a bevel of an anti-aliased ellipse, blended,
// then colour-adjusted.
BNRenderNodePtr effectsPicture() {
    auto ellipse =
        BNCompoundPathNode::create({compoundPathOf({ellipsePath(VKRectMake(8.25, 6.5, 41.5, 27))})},
                                   {VKBooleanOperationAdd}, false);
    auto paint = [](BNRenderNodePtr mask, double r, double g, double b) {
        return BNColorWithMaskNode::create(std::move(mask), {r, g, b, 0, 0}, BNChannelMaskRGB);
    };
    BNRenderNodePtr picture =
        BNLinearGradientNode::create({-3, 2}, {57, 41}, testGradient(0), true);
    auto over = [&](BNRenderNodePtr top, int mode) {
        picture = BNBlendNode::create(picture, std::move(top), BNBlendMode(mode), 1.0, 0.8);
    };
    over(BNDiamondGradientNode::create({30, 20}, 15, 25, testGradient(1), true), 8);
    over(BNAngularGradientNode::create({12, 30}, 40, testGradient(1), true), 0);
    over(paint(BNBitmapStrokeNode::create(ellipse, VKStrokePositionCentered, 2.5), 0.9, 0.2, 0.1),
         0);
    over(BNApplyNoiseNode::create(
             BNShapeBurstGradientNode::create(ellipse, VKStrokePositionOutside, 4, testGradient(1)),
             0.2),
         10);
    auto bevel =
        BNShadeNode::create(BNDistanceTransformNode::create(ellipse, VKStrokePositionCentered, 3,
                                                            BNDistanceTechniqueSymmetric),
                            120, 30, 5, 1);
    over(paint(bevel, 1, 1, 1), 3);
    BNHueSaturationAdjustment reds = hueSaturationAdjustment(25, 0.3, -0.1, 330, 350, 20, 40);
    picture = BNHueSaturationAdjustmentNode::create(
        picture, hueSaturationAdjustment(10, 0.1, 0.05, 0, 0, 360, 360), {reds});
    picture = BNVibranceAdjustmentNode::create(picture, 0.5, 0.2);
    picture = BNContourMappingNode::create(picture, testContour(1), 0.1, 0.9);
    over(BNGradientMappingNode::create(BNColorizeNode::create(picture, 200, 0.6, 0.1),
                                       testGradient(0), false),
         13);
    return picture;
}

}  // namespace

TEST(TiledFilters, EffectsPictureJoinsAcrossTiles) {
    lf::LogCapture quiet;
    BNRenderNodePtr picture = effectsPicture();
    ASSERT_TRUE(picture);
    const VKRect rect = VKRectMake(-5, -4, 68, 48);
    for (double scale : {1.0, 2.0}) {
        BNSurfacePtr whole = renderOnce(picture, rect, scale);
        ASSERT_TRUE(whole);
        for (double tile : {13.0, 32.0})
            EXPECT_EQ(renderInTiles(picture, rect, scale, tile), samplesOf(*whole))
                << "tiles of " << tile << " at scale " << scale;
    }
}
