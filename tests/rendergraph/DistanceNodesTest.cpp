#include "NodeTestSupport.h"
#include "TestNodes.h"
#include "TestPaths.h"
#include "platform/core/Log.h"
#include "rendergraph/geometry/BNCompoundPathNode.h"
#include "rendergraph/gradients/BNBitmapStrokeNode.h"
#include "rendergraph/gradients/BNDistance.h"
#include "rendergraph/gradients/BNDistanceTransformNode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

using namespace rendergraph_test;

namespace {

float at(const BNSurface& surface, uint64_t x, uint64_t y) {
    return surface.sample(x, y, 0);
}

// Band values come out of single-precision sums of u: within 1e-5 of the
// stated value.
void expectRow(const BNSurface& surface, uint64_t y, std::initializer_list<uint64_t> columns,
               float value) {
    for (uint64_t x : columns)
        EXPECT_NEAR(at(surface, x, y), value, 1e-5f) << "column " << x << " row " << y;
}

// A vertical edge: columns below `edge` fully covered, column `edge` at
// `coverage`, the rest empty, over a plane of width by height pixels.
std::vector<float> edgePlane(uint64_t width, uint64_t height, uint64_t edge, float coverage) {
    std::vector<float> plane(width * height);
    for (uint64_t y = 0; y < height; ++y)
        for (uint64_t x = 0; x < width; ++x)
            plane[y * width + x] = x < edge ? 1.0f : x == edge ? coverage : 0.0f;
    return plane;
}

BNDistancePlanes planesOver(std::vector<float>& input, std::vector<float>& field, uint64_t width,
                            uint64_t height) {
    BNDistancePlanes planes;
    planes.input = {width, height, width, input.data()};
    planes.field = {width, height, width, field.data()};
    return planes;
}

}  // namespace

TEST(BNBitmapStrokeNode, OutsideStrokeOfASquare) {
    auto stroke = BNBitmapStrokeNode::create(squareNode(10, 10, 10), VKStrokePositionOutside, 3.0);
    ASSERT_TRUE(stroke);
    EXPECT_EQ(stroke->bounds(), VKRectMake(5, 5, 20, 20));
    auto out = renderOnce(stroke, VKRectMake(0, 0, 30, 30), 1.0);
    ASSERT_TRUE(out);
    expectRow(*out, 15, {10, 15, 19}, 1.0f);           // the shape
    expectRow(*out, 15, {7, 8, 9, 20, 21, 22}, 1.0f);  // 3 pixels around it
    expectRow(*out, 15, {0, 5, 6, 23, 24, 29}, 0.0f);
    // Diagonally off a corner: (3, 1) pixels out is a knight's step and one
    // more, 3.236 pixels: on the ramp.
    EXPECT_NEAR(at(*out, 22, 20), 1.0f - (std::sqrt(5.0f) + 1.0f - 3.0f), 1e-5f);
}

TEST(BNBitmapStrokeNode, OutsideStrokeOfAPartlyCoveredEdge) {
    // Width 3 pixels (u = 0.25); the edge column has coverage 0.6, so its
    // field starts at 0.4 * 0.25 = 0.1 and three steps out reaches 0.85.
    const uint64_t width = 20, height = 12, edge = 6;
    std::vector<float> input = edgePlane(width, height, edge, 0.6f);
    std::vector<float> field(width * height);
    BNDistancePlanes planes = planesOver(input, field, width, height);
    BNOneSidedDistance(false, planes, 3.0);
    EXPECT_NEAR(field[6 * width + edge], 0.1f, 1e-6f);
    EXPECT_NEAR(field[6 * width + edge + 3], 0.85f, 1e-6f);

    // Through the node: the band is 1 over the shape and 3 pixels beyond
    // the full columns, 0.6 three steps out from the edge pixel, then 0.
    auto shape = FunctionNode::create(VKRectMake(0, 0, 6.6, 40), 8, [](double x, double, int) {
        return x < 6 ? 1.0f : x < 7 ? 0.6f : 0.0f;
    });
    auto out = renderOnce(BNBitmapStrokeNode::create(shape, VKStrokePositionOutside, 3.0),
                          VKRectMake(0, 0, 16, 10), 1.0);
    ASSERT_TRUE(out);
    expectRow(*out, 5, {0, 5, 6, 7, 8}, 1.0f);
    expectRow(*out, 5, {9}, 0.6f);
    expectRow(*out, 5, {10, 15}, 0.0f);
}

TEST(BNBitmapStrokeNode, StartsEdgePixelsFromTheirRasterisedCoverage) {
    // A 2 by 2 square shifted by half a pixel rasterises to 0.25 at the
    // corners, 0.5 along the sides and 1 in the middle. Outside, width 1
    // (u = 0.5): a side pixel starts at round(0.5 * 255) / 255 * u, a
    // corner at round(0.75 * 255) / 255 * u, the middle at 0.
    auto square =
        BNCompoundPathNode::create({polygon({{1.5, 1.5}, {3.5, 1.5}, {3.5, 3.5}, {1.5, 3.5}})},
                                   {VKBooleanOperationAdd}, false);
    ASSERT_TRUE(square);
    const VKRect rect = VKRectMake(-2, -2, 9, 9);  // shape pixel (x, y) at (x + 2, y + 2)
    auto field = renderOnce(BNDistanceTransformNode::create(square, VKStrokePositionOutside, 1.0,
                                                            BNDistanceTechniqueEdgeAnchored),
                            rect, 1.0);
    ASSERT_TRUE(field);
    const float side = 128 * 0.5f / 255, corner = 191 * 0.5f / 255;
    EXPECT_FLOAT_EQ(at(*field, 4, 4), 0.0f);
    EXPECT_FLOAT_EQ(at(*field, 4, 3), side);
    EXPECT_FLOAT_EQ(at(*field, 3, 3), corner);
    EXPECT_FLOAT_EQ(at(*field, 4, 2), side + 0.5f);  // one step beyond the side

    auto band =
        renderOnce(BNBitmapStrokeNode::create(square, VKStrokePositionOutside, 1.0), rect, 1.0);
    ASSERT_TRUE(band);
    expectRow(*band, 3, {3, 4, 5}, 1.0f);
    expectRow(*band, 2, {4}, 1.0f - (side + 0.5f - 0.5f) / 0.5f);
    expectRow(*band, 1, {4}, 0.0f);
}

TEST(BNBitmapStrokeNode, InsideStrokeKeepsTheInputBounds) {
    auto stroke = BNBitmapStrokeNode::create(squareNode(10, 10, 10), VKStrokePositionInside, 3.0);
    ASSERT_TRUE(stroke);
    EXPECT_EQ(stroke->bounds(), VKRectMake(10, 10, 10, 10));
    auto out = renderOnce(stroke, VKRectMake(0, 0, 30, 30), 1.0);
    ASSERT_TRUE(out);
    expectRow(*out, 15, {0, 9, 10, 12, 17, 19, 20, 29}, 1.0f);
    expectRow(*out, 15, {13, 15, 16}, 0.0f);
}

TEST(BNBitmapStrokeNode, CentredStrokeAndScaleTwo) {
    // Centred, width 2: the band covers 2 pixels on each side of the edge.
    auto centred = renderOnce(
        BNBitmapStrokeNode::create(squareNode(10, 10, 10), VKStrokePositionCentered, 2.0),
        VKRectMake(0, 0, 30, 30), 1.0);
    ASSERT_TRUE(centred);
    expectRow(*centred, 15, {8, 9, 10, 11, 18, 19, 20, 21}, 1.0f);
    expectRow(*centred, 15, {5, 6, 12, 15, 17, 23}, 0.0f);

    // Width 3 points at scale 2 is 6 pixels: 1 up to 6 pixels out, 0 at 7.
    auto stroke = BNBitmapStrokeNode::create(squareNode(10, 10, 10), VKStrokePositionOutside, 3.0);
    auto doubled = renderOnce(stroke, VKRectMake(0, 0, 30, 30), 2.0);
    ASSERT_TRUE(doubled);
    EXPECT_EQ(doubled->widthInPixels(), 60u);
    expectRow(*doubled, 30, {14, 19, 20, 39, 40, 45}, 1.0f);
    expectRow(*doubled, 30, {13, 46}, 0.0f);
}

TEST(BNCentredDistance, RunsTheBackwardSweepOnlyAboveTwoPixels) {
    // On the first swept row, outside pixels three columns left of the
    // shape hear of it only from the backward sweep (further rows also
    // hear of it through the rows above).
    const uint64_t width = 16, height = 9, edge = 8;
    std::vector<float> input(width * height);
    for (uint64_t y = 0; y < height; ++y)
        for (uint64_t x = edge; x < width; ++x)
            input[y * width + x] = 1.0f;
    std::vector<float> field(width * height);
    BNDistancePlanes planes = planesOver(input, field, width, height);
    const uint64_t row = 2;

    BNCentredDistance(BNDistanceTechniqueEdgeAnchored, planes, 2.0);
    EXPECT_EQ(field[row * width + edge - 3], 0.0f);  // still -1, remapped
    EXPECT_EQ(field[row * width + edge - 1], 0.5f);  // the edge, reached forward

    BNCentredDistance(BNDistanceTechniqueEdgeAnchored, planes, 3.0);  // u = 0.25: -2u, remapped
    EXPECT_FLOAT_EQ(field[row * width + edge - 3], 0.25f);
    EXPECT_FLOAT_EQ(field[row * width + edge - 1], 0.5f);
    EXPECT_FLOAT_EQ(field[row * width + edge], 0.625f);  // the first inside: (u + 1) / 2
    EXPECT_FLOAT_EQ(field[row * width + edge + 1], 0.75f);
}

TEST(BNDistanceTransformNode, CentredAndOneSidedFields) {
    auto shape = squareNode(10, 10, 10);
    auto centred = BNDistanceTransformNode::create(shape, VKStrokePositionCentered, 3.0,
                                                   BNDistanceTechniqueEdgeAnchored);
    ASSERT_TRUE(centred);
    EXPECT_EQ(centred->bounds(), VKRectMake(5, 5, 20, 20));
    auto field = renderOnce(centred, VKRectMake(0, 0, 30, 30), 1.0);
    ASSERT_TRUE(field);
    EXPECT_EQ(at(*field, 9, 15), 0.5f);  // the outside pixel along the edge
    EXPECT_GT(at(*field, 12, 15), at(*field, 11, 15));
    EXPECT_EQ(at(*field, 15, 15), 1.0f);
    EXPECT_LT(at(*field, 7, 15), at(*field, 8, 15));
    EXPECT_EQ(at(*field, 2, 15), 0.0f);

    auto inside = BNDistanceTransformNode::create(shape, VKStrokePositionInside, 3.0,
                                                  BNDistanceTechniqueEdgeAnchored);
    EXPECT_EQ(inside->bounds(), shape->bounds());
    auto oneSided = renderOnce(inside, VKRectMake(0, 0, 30, 30), 1.0);
    ASSERT_TRUE(oneSided);
    EXPECT_EQ(at(*oneSided, 5, 15), 0.0f);
    EXPECT_FLOAT_EQ(at(*oneSided, 10, 15), 0.25f);
    EXPECT_FLOAT_EQ(at(*oneSided, 12, 15), 0.75f);
    EXPECT_EQ(at(*oneSided, 13, 15), 1.0f);  // w + 1 pixels in

    auto outside = renderOnce(BNDistanceTransformNode::create(shape, VKStrokePositionOutside, 3.0,
                                                              BNDistanceTechniqueEdgeAnchored),
                              VKRectMake(0, 0, 30, 30), 1.0);
    ASSERT_TRUE(outside);
    EXPECT_EQ(at(*outside, 15, 15), 0.0f);
    EXPECT_FLOAT_EQ(at(*outside, 8, 15), 0.5f);
    EXPECT_EQ(at(*outside, 6, 15), 1.0f);
}

TEST(BNDistanceNodes, RefuseInputsTheyCannotMeasure) {
    lf::LogCapture capture;
    auto rgba = PatternNode::create(VKRectMake(0, 0, 4, 4), BNChannelMaskRGBA, true);
    auto fill = PatternNode::create(VKRectMake(0, 0, 4, 4), BNChannelMaskFill, true);
    auto twoChannels = PatternNode::create(VKRectMake(0, 0, 4, 4), 8 | 16, true);
    EXPECT_FALSE(BNBitmapStrokeNode::create(rgba, VKStrokePositionCentered, 1.0));
    EXPECT_FALSE(BNBitmapStrokeNode::create(fill, VKStrokePositionCentered, 1.0));
    EXPECT_FALSE(BNBitmapStrokeNode::create(nullptr, VKStrokePositionCentered, 1.0));
    EXPECT_TRUE(capture.contains("BNBitmapStrokeNode only supports planar opacity inputs"));
    EXPECT_FALSE(BNDistanceTransformNode::create(twoChannels, VKStrokePositionCentered, 1.0,
                                                 BNDistanceTechniqueEdgeAnchored));
    EXPECT_FALSE(BNDistanceTransformNode::create(nullptr, VKStrokePositionCentered, 1.0,
                                                 BNDistanceTechniqueEdgeAnchored));
    EXPECT_TRUE(capture.contains("BNDistanceTransformNode only supports inputs with 1 channel."));
    EXPECT_TRUE(BNDistanceTransformNode::create(fill, VKStrokePositionCentered, 1.0,
                                                BNDistanceTechniqueEdgeAnchored));
}

TEST(BNDistanceNodes, IdentityCoversPositionWidthAndTechnique) {
    auto shape = squareNode(0, 0, 4);
    auto id = [](const BNRenderNodePtr& node) { return node->hashIdentifier(); };
    EXPECT_EQ(id(BNBitmapStrokeNode::create(shape, VKStrokePositionCentered, 2.0)),
              id(BNBitmapStrokeNode::create(shape, VKStrokePositionCentered, 2.0)));
    EXPECT_NE(id(BNBitmapStrokeNode::create(shape, VKStrokePositionCentered, 2.0)),
              id(BNBitmapStrokeNode::create(shape, VKStrokePositionInside, 2.0)));
    EXPECT_NE(id(BNBitmapStrokeNode::create(shape, VKStrokePositionCentered, 2.0)),
              id(BNBitmapStrokeNode::create(shape, VKStrokePositionCentered, 2.5)));
    EXPECT_NE(id(BNDistanceTransformNode::create(shape, VKStrokePositionCentered, 2.0,
                                                 BNDistanceTechniqueEdgeAnchored)),
              id(BNDistanceTransformNode::create(shape, VKStrokePositionCentered, 2.0,
                                                 BNDistanceTechniqueSymmetric)));
    EXPECT_NE(id(BNDistanceTransformNode::create(shape, VKStrokePositionCentered, 2.0,
                                                 BNDistanceTechniqueEdgeAnchored)),
              id(BNBitmapStrokeNode::create(shape, VKStrokePositionCentered, 2.0)));
    // Damaged widths count as 0 and cannot reach past the field.
    EXPECT_EQ(BNBitmapStrokeNode::create(shape, VKStrokePositionOutside, -4.0)->width(), 0.0);
    EXPECT_EQ(BNBitmapStrokeNode::create(shape, VKStrokePositionOutside, std::nan(""))->width(),
              0.0);
}

TEST(BNDistanceNodes, TilesJoinWithoutSeams) {
    // An anti-aliased disc, stroked and measured whole and in tiles.
    auto disc = FunctionNode::create(VKRectMake(4, 4, 24, 24), 8, [](double x, double y, int) {
        const double d = std::hypot(x - 16.0, y - 16.0);
        return float(std::clamp(10.5 - d, 0.0, 1.0));
    });
    const VKRect rect = VKRectMake(0, 0, 32, 32);
    std::vector<BNRenderNodePtr> nodes;
    for (VKStrokePosition position :
         {VKStrokePositionCentered, VKStrokePositionInside, VKStrokePositionOutside}) {
        nodes.push_back(BNBitmapStrokeNode::create(disc, position, 2.5));
        nodes.push_back(BNDistanceTransformNode::create(disc, position, 3.0,
                                                        position == VKStrokePositionCentered
                                                            ? BNDistanceTechniqueSymmetric
                                                            : BNDistanceTechniqueEdgeAnchored));
    }
    for (const auto& node : nodes)
        for (double scale : {1.0, 2.0}) {
            auto whole = renderOnce(node, rect, scale);
            ASSERT_TRUE(whole);
            EXPECT_EQ(renderInTiles(node, rect, scale, 11), samplesOf(*whole))
                << node->className() << " at scale " << scale;
        }
}
