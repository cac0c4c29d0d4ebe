// Shape and mask bounds, vector-mask paths, stroke styles and the stroke
// path fixer.
#include "LayerFixtures.h"
#include "PSDTestSupport.h"
#include "compositing/QFLayerContent.h"
#include "compositing/content/QFLayerShapeBounds.h"
#include "compositing/content/QFPSDStrokePathFixer.h"
#include "compositing/content/QFVectorMaskPaths.h"
#include "compositing/content/QFVectorStroke.h"
#include "compositing/fills/QFFillRendering.h"
#include "geometry/VKGeometryStrings.h"
#include "geometry/VKPathAccumulator.h"
#include "rendergraph/gradients/BNLinearGradientNode.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace compositing_test;

namespace {

void expectRect(VKRect actual, VKRect expected) {
    auto near = [](double a, double b) { return std::fabs(a - b) < 1e-9; };
    EXPECT_TRUE(near(actual.origin.x, expected.origin.x) &&
                near(actual.origin.y, expected.origin.y) &&
                near(actual.size.width, expected.size.width) &&
                near(actual.size.height, expected.size.height))
        << "(" << actual.origin.x << ", " << actual.origin.y << ", " << actual.size.width << ", "
        << actual.size.height << ")";
}

OMPSDPath polygon(uint16_t operation, std::vector<OMPSDPoint> points, bool closed = true) {
    OMPSDPath path;
    path.setOperation(operation);
    path.setIsClosed(closed);
    std::vector<OMPSDPathKnot> knots;
    for (OMPSDPoint p : points)
        knots.emplace_back(p, p, p, false);
    path.setSegments(std::move(knots));
    return path;
}

OMPSDCompoundPath mask(std::vector<OMPSDPath> subpaths) {
    OMPSDCompoundPath compound;
    compound.setSubpaths(std::move(subpaths));
    return compound;
}

// The knots of every path the fixer sends on.
std::vector<std::shared_ptr<const VKPath>> fixed(const VKPath& path, const VKStrokeStyle& style) {
    auto accumulator = std::make_shared<VKPathAccumulator>();
    QFPSDStrokePathFixer fixer(accumulator, style);
    path.applyToPathConsumer(fixer);
    return accumulator->paths();
}

// A 40 by 40 document of one black shape: its vector mask block, and
// other blocks (a stroke, alignment).
std::shared_ptr<OMPSDDocument> blackShape(
    std::vector<uint8_t> vectorMask,
    std::vector<std::pair<std::string, std::vector<uint8_t>>> blocks = {}) {
    return makeShapeDocument(40, std::move(vectorMask), std::move(blocks));
}

VKStrokeStyle dashedStyle(VKStrokePosition position) {
    VKStrokeStyle style;
    style.setPosition(position);
    double dash[] = {2, 1};
    style.setLineDash(dash, 2, 0);
    return style;
}

// A closed curve of two linked knots, right and left at mid height; the
// segment from the right knot bulges down, so its lowest point lies inside
// that segment.
VKMutablePath lens() {
    VKMutablePath path;
    path.addKnot({{20, 0}, {20, 10}, {20, 20}, 1});
    path.addKnot({{0, 20}, {0, 10}, {0, 0}, 1});
    path.setIsClosed(true);
    return path;
}

}  // namespace

TEST(QFPixelAlignedRect, SnapsNearEdgesAndGrowsTheOthers) {
    expectRect(QFPixelAlignedRect(VKRectMake(0.02, 9.5, 10.0, 0.5)), VKRectMake(0, 9, 10, 1));
    expectRect(QFPixelAlignedRect(VKRectMake(-1.5, 2.97, 3.0, 1.0)), VKRectMake(-2, 3, 4, 1));
    EXPECT_TRUE(VKRectIsNull(QFPixelAlignedRect(VKRectNull)));
}

TEST(QFVectorMaskPathBounds, AddsIntersectsAndPassesOverSubtractions) {
    // Only a subtraction: the document rectangle.
    expectRect(
        QFVectorMaskPathBounds(mask({polygon(2, {{0.1, 0.1}, {0.2, 0.1}, {0.2, 0.2}})}), 100, 50),
        VKRectMake(0, 0, 100, 50));
    // A first intersection: the box clipped to the document.
    expectRect(
        QFVectorMaskPathBounds(mask({polygon(3, {{0.5, 0.5}, {1.5, 0.5}, {1.5, 1.5}})}), 100, 50),
        VKRectMake(50, 25, 50, 25));
    // Adds unite; a continuing subpath keeps the operation; a single open
    // knot is ignored.
    auto bounds = QFVectorMaskPathBounds(
        mask({polygon(1, {{0.1, 0.1}, {0.2, 0.2}}), polygon(0xffff, {{0.5, 0.5}, {0.6, 0.6}}),
              polygon(1, {{0.9, 0.9}}, false)}),
        100, 100);
    expectRect(bounds, VKRectMake(10, 10, 50, 50));
    EXPECT_TRUE(VKRectIsNull(QFVectorMaskPathBounds(mask({}), 10, 10)));
}

TEST(QFVectorMaskPathBounds, HoldTheCurvesNotTheHandlesThatStickOut) {
    // In a 100 pixel document, a lens between (20, 50) and (60, 50) whose
    // handles lie 40 above and below its ends: its curves reach 30 up and
    // down, its handles 40.
    OMPSDPath lens;
    lens.setOperation(1);
    lens.setIsClosed(true);
    lens.setSegments(
        {{{0.2, 0.9}, {0.2, 0.5}, {0.2, 0.1}, false}, {{0.6, 0.1}, {0.6, 0.5}, {0.6, 0.9}, false}});
    expectRect(QFVectorMaskPathBounds(mask({lens}), 100, 100), VKRectMake(20, 20, 40, 60));
}

TEST(QFGradientFillLayerBounds, AShapesGradientSpansItsCurvesBox) {
    // A rotated rounded square whose handles stick out past its curves, as
    // (in, anchor, out) knots in pixels. A linear gradient at 60 degrees
    // over the box of its curves runs from (6, 122) to (20, 99); over the
    // box of its anchors and handles, (0.614, 97.614) to (26.387, 123.386),
    // it would run from (5, 124) to (21, 97).
    const double side = 128;
    auto knot = [&](VKPoint in, VKPoint anchor, VKPoint out) {
        auto fraction = [&](VKPoint p) { return OMPSDPoint{p.x / side, p.y / side}; };
        return VectorMaskKnot{fraction(in), fraction(anchor), fraction(out)};
    };
    auto document = makeShapeDocument(
        int(side),
        curvedVectorMaskBlock({{1,
                                {knot({10.946, 97.614}, {6.09, 101.706}, {1.233, 105.799}),
                                 knot({0.614, 113.054}, {4.706, 117.911}, {8.799, 122.767}),
                                 knot({16.054, 123.386}, {20.911, 119.294}, {25.767, 115.201}),
                                 knot({26.387, 107.946}, {22.294, 103.09}, {18.201, 98.233})}}}));
    ASSERT_TRUE(document);
    const OMPSDLayer& shape = *document->layers().front();
    for (VKRect box : {QFGradientFillLayerBounds(shape), QFLayerGradientBounds(shape)}) {
        QFGradientEndpoints axis = QFFillGradientEndpoints(box, 60, 1, 0, 0);
        EXPECT_TRUE(axis.start == VKPointMake(6, 122) && axis.end == VKPointMake(20, 99))
            << NSStringFromVKPoint(axis.start) << " to " << NSStringFromVKPoint(axis.end);
    }
}

TEST(QFLayerShapeBounds, PixelLayersFillLayersAndMasks) {
    LayerBlueprint pixel;
    pixel.rect = {2, 3, 12, 8};  // top, left, bottom, right
    expectRect(QFLayerShapeBounds(*pixel.make()), VKRectMake(3, 2, 5, 10));

    // A fill layer with an enabled user mask reports the mask's rectangle,
    // grown by the feather, even with a smaller vector mask.
    LayerBlueprint fill;
    fill.rect = {0, 0, 0, 0};
    fill.blocks.push_back({"SoCo", solidColorBlock(0, 0, 0)});
    fill.hasMask = true;
    fill.maskRect = {10, 20, 30, 60};
    fill.maskValue = 255;
    auto layer = fill.make();
    expectRect(QFLayerShapeBounds(*layer), VKRectMake(20, 10, 40, 20));
    expectRect(QFLayerMaskBounds(*layer), VKRectMake(20, 10, 40, 20));
    fill.maskFeather = 2;
    VKRect feathered = QFLayerShapeBounds(*fill.make());
    EXPECT_LT(feathered.origin.x, 20);
    EXPECT_GT(feathered.size.width, 40);
    EXPECT_TRUE(
        VKRectEqualToRect(QFLayerShapeBoundsUnfeathered(*fill.make()), VKRectMake(20, 10, 40, 20)));
    fill.maskDisabled = true;
    EXPECT_TRUE(VKRectIsNull(QFLayerMaskBounds(*fill.make())));
}

TEST(QFLayerGradientBounds, APixelLayerCountsItsPixelsAtLeastHalfCovered) {
    // A 6 by 4 layer at (10, 20) whose border pixels are covered 127 of
    // 255, its inner ones 128: the box of the inner ones. The layer is
    // still sized by all its pixels.
    LayerBlueprint fringed = fringedLayer({20, 10, 24, 16}, {21, 11, 23, 15}, 128, 127);
    auto layer = fringed.make();
    expectRect(QFLayerGradientBounds(*layer), VKRectMake(11, 21, 4, 2));
    expectRect(QFLayerGradientBoundsUnfeathered(*layer), VKRectMake(11, 21, 4, 2));
    expectRect(QFLayerShapeBounds(*layer), VKRectMake(10, 20, 6, 4));
    // A faint layer with no pixel half covered keeps its whole rectangle.
    LayerBlueprint faint;
    faint.rect = fringed.rect;
    faint.colour = {0, 0, 0, 127};
    expectRect(QFLayerGradientBounds(*faint.make()), VKRectMake(10, 20, 6, 4));
    // The same layer in 16 bits, its border at 32767 of 65535 and its inner
    // pixels at 32768: the same box. The high byte of each sample decides
    // (the low bytes, 255 and 0, would pick the border).
    for (const RGBA8& pixel : fringed.pixels)
        fringed.transparency16.push_back(pixel[3] == 128 ? 32768 : 32767);
    layer = fringed.make();
    expectRect(QFLayerGradientBounds(*layer), VKRectMake(11, 21, 4, 2));
    expectRect(QFLayerShapeBounds(*layer), VKRectMake(10, 20, 6, 4));
}

TEST(QFVectorMaskPaths, GroupsSubpathsByOperation) {
    // A first subpath without an operation joins an adding, even-odd group;
    // the next one with an operation starts a group of its own.
    OMPSDPath first = polygon(0xffff, {{0, 0}, {0.5, 0}, {0.5, 0.5}});
    OMPSDPath second = polygon(2, {{0, 0}, {0.1, 0}, {0.1, 0.1}});
    second.setFillRule(2);
    OMPSDPath third = polygon(0xffff, {{0.2, 0.2}, {0.3, 0.2}, {0.3, 0.3}});
    auto grouped = QFGroupVectorMaskSubpaths(mask({first, second, third}), 10, 10);
    ASSERT_EQ(grouped.paths.size(), 2u);
    EXPECT_EQ(grouped.operations, (std::vector<int>{1, 2}));
    EXPECT_EQ(grouped.paths[0]->fillRule(), VKFillRuleEvenOdd);
    EXPECT_EQ(grouped.paths[1]->fillRule(), VKFillRuleNonZero);
    EXPECT_EQ(grouped.paths[1]->paths().size(), 2u);
    EXPECT_EQ(grouped.paths[0]->paths()[0]->knotAtIndex(1).point, VKPointMake(5, 0));
    // In the render numbering: add 0, subtract 1.
    auto mapped = QFVectorMaskCompoundPaths(mask({first, second, third}), 10, 10, false);
    EXPECT_EQ(mapped.operations, (std::vector<int>{0, 1}));
    // The same, handed back only when there is a path.
    QFVectorMaskPaths handed;
    ASSERT_TRUE(QFVectorMaskPathsAndOperations(mask({first, second, third}), 10, 10, &handed));
    EXPECT_EQ(handed.operations, mapped.operations);
    EXPECT_EQ(handed.paths.size(), 2u);
    EXPECT_FALSE(QFVectorMaskPathsAndOperations(mask({}), 10, 10, &handed));
    EXPECT_EQ(handed.paths.size(), 2u);
}

TEST(QFVectorMaskPaths, AlignmentMapsTheBoundsOntoWholePixels) {
    // Union bounds (10.4, 20.6, 99.2, 50.5) land on (10, 21, 99, 51).
    auto aligned = QFVectorMaskCompoundPaths(
        mask({polygon(1, {{0.104, 0.206}, {1.096, 0.206}, {1.096, 0.711}})}), 100, 100, true);
    VKRect bounds = aligned.paths[0]->bounds();
    EXPECT_NEAR(bounds.origin.x, 10, 1e-9);
    EXPECT_NEAR(bounds.origin.y, 21, 1e-9);
    EXPECT_NEAR(bounds.size.width, 99, 1e-9);
    EXPECT_NEAR(bounds.size.height, 51, 1e-9);
}

TEST(QFFoldVectorMaskPaths, EverySubpathsOperationCountsTheFirstIncluded) {
    // Two overlapping squares, A from 0 to 10 and B from 5 to 15, folded
    // from an empty outline in the render numbering.
    OMPSDPath a = polygon(1, {{0, 0}, {0.1, 0}, {0.1, 0.1}, {0, 0.1}});
    OMPSDPath b = polygon(1, {{0.05, 0.05}, {0.15, 0.05}, {0.15, 0.15}, {0.05, 0.15}});
    const VKRect none = VKRectNull, onlyA = VKRectMake(0, 0, 10, 10),
                 onlyB = VKRectMake(5, 5, 10, 10), both = VKRectMake(0, 0, 15, 15);
    struct Case {
        std::vector<uint16_t> operations;  // the document's numbering, per square
        VKRect bounds;
    } cases[] = {
        {{OMPSDPathOperationAdd}, onlyA},
        {{OMPSDPathOperationExclude}, onlyA},  // a leading exclusion adds
        {{OMPSDPathOperationSubtract}, none},
        {{OMPSDPathOperationIntersect}, none},
        {{OMPSDPathOperationIntersect, OMPSDPathOperationIntersect}, none},
        {{OMPSDPathOperationSubtract, OMPSDPathOperationSubtract}, none},
        {{OMPSDPathOperationSubtract, OMPSDPathOperationAdd}, onlyB},
        {{OMPSDPathOperationAdd, OMPSDPathOperationAdd}, both},
        {{OMPSDPathOperationAdd, OMPSDPathOperationIntersect}, VKRectMake(5, 5, 5, 5)},
    };
    for (const Case& c : cases) {
        std::vector<OMPSDPath> subpaths{a, b};
        subpaths.resize(c.operations.size());
        for (size_t i = 0; i < subpaths.size(); ++i)
            subpaths[i].setOperation(c.operations[i]);
        auto folded = QFFoldVectorMaskPaths(
            QFVectorMaskCompoundPaths(mask(std::move(subpaths)), 100, 100, false));
        ASSERT_TRUE(folded);
        SCOPED_TRACE(testing::Message()
                     << "first operation " << c.operations[0] << " of " << c.operations.size());
        if (VKRectIsNull(c.bounds))
            EXPECT_TRUE(folded->paths().empty());
        else
            expectRect(folded->bounds(), c.bounds);
    }
    // A path that is added onto nothing keeps its knots as stored.
    auto single = QFFoldVectorMaskPaths(QFVectorMaskCompoundPaths(mask({a}), 100, 100, false));
    EXPECT_EQ(single->paths()[0]->knotAtIndex(1).point, VKPointMake(10, 0));
}

TEST(QFStrokeStyleForVectorStroke, DashesAreMultiplesOfTheWidth) {
    OMPSDVectorStroke stroke;
    stroke.setLineWidth(4);
    stroke.setDashSet({2, 1});
    stroke.setDashOffset(3);
    stroke.setCap(7);  // out of range: the style's default stays
    stroke.setPosition(2);
    VKStrokeStyle style = QFStrokeStyleForVectorStroke(stroke);
    EXPECT_EQ(style.dashPattern(), (std::vector<double>{8, 4}));
    EXPECT_EQ(style.dashPhase(), 3);
    EXPECT_EQ(style.cap(), VKLineCapButt);
    EXPECT_EQ(style.position(), VKStrokePositionOutside);
}

TEST(QFPSDStrokePathFixer, DashedOneSidedStrokesStartAtTheLowestPointAndKeepTheirWay) {
    // A counter-clockwise rectangle (on a y-down screen) starting top left.
    VKMutablePath rectangle;
    for (VKPoint p :
         {VKPointMake(0, 0), VKPointMake(0, 10), VKPointMake(20, 10), VKPointMake(20, 0)})
        rectangle.addKnot(VKKnot::corner(p));
    rectangle.setIsClosed(true);
    ASSERT_FALSE(rectangle.isClockwise());

    // The start is the lowest corner of the outline read clockwise, (20,
    // 10); from there the knots follow their stored order.
    auto inside = fixed(rectangle, dashedStyle(VKStrokePositionInside));
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_FALSE(inside[0]->isClockwise());
    EXPECT_EQ(inside[0]->knotAtIndex(0).point, VKPointMake(20, 10));
    EXPECT_EQ(inside[0]->knotAtIndex(1).point, VKPointMake(20, 0));

    // Centred strokes pass unchanged.
    auto centred = fixed(rectangle, dashedStyle(VKStrokePositionCentered));
    EXPECT_EQ(centred[0]->knots(), rectangle.knots());

    // A closed curve whose lowest point lies inside a segment gets a
    // linked knot there, first.
    VKMutablePath round = lens();
    auto started = QFPathStartingAtLowestPoint(std::make_shared<VKMutablePath>(round));
    ASSERT_EQ(started->numberOfKnots(), 3u);
    VKKnot first = started->knotAtIndex(0);
    EXPECT_EQ(first.linked, 1);
    EXPECT_EQ(first.point, VKPointMake(10, 17.5));
    EXPECT_EQ(started->knotAtIndex(1).point, VKPointMake(0, 10));
    EXPECT_TRUE(started->isClosed());
    // Through the fixer: the same start, and the curve keeps its shape.
    auto outside = fixed(round, dashedStyle(VKStrokePositionOutside));
    ASSERT_EQ(outside.size(), 1u);
    EXPECT_EQ(outside[0]->knotAtIndex(0).point, VKPointMake(10, 17.5));
    VKRect before = round.bounds(), after = outside[0]->bounds();
    EXPECT_NEAR(before.size.height, after.size.height, 1e-9);
}

TEST(QFVectorMaskNode, DashesRunTheStoredWayFromTheLowestCorner) {
    // A dashed inside stroke (width 2, dashes and gaps of 4) along the
    // square from 4 to 36 in a 40 by 40 document. Its perimeter holds 16
    // whole periods, so the pattern starts and ends at the bottom right
    // corner, and the first dash lies along the side the stored knots go
    // to from there: the bottom side when they run clockwise, the right
    // side when they run counter-clockwise.
    const OMPSDPoint tl{0.1, 0.1}, tr{0.9, 0.1}, br{0.9, 0.9}, bl{0.1, 0.9};
    struct Case {
        const char* what;
        std::vector<OMPSDPoint> knots;
        bool bottomFirst;
    } cases[] = {{"clockwise", {tl, tr, br, bl}, true},
                 {"counter-clockwise", {tl, bl, br, tr}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto document = blackShape(
            vectorMaskBlock({{1, c.knots}}),
            {{"vstk", vectorStrokeBlock(
                          {.fillEnabled = false, .width = 2, .position = 1, .dashes = {2, 2}})}});
        ASSERT_TRUE(document);
        BNRenderNodePtr mask = QFVectorMaskNode(*document->layers()[0]);
        // 1 to 3 along the bottom from the corner, and up the right side.
        float bottom = renderMaskValue(mask, 33, 34), right = renderMaskValue(mask, 34, 32);
        EXPECT_NEAR(bottom, c.bottomFirst ? 1 : 0, 0.02);
        EXPECT_NEAR(right, c.bottomFirst ? 0 : 1, 0.02);
    }
}

TEST(QFVectorStrokeFillNode, AGradientSpansTheStrokedOutlineItself) {
    // The square from 10.5 to 30.5 stroked 2 wide on its outline: the
    // stroke reaches from 9.5 to 31.5, and a linear paint at 90 degrees
    // runs from its bottom, row 31, to its top, row 9. The shape's own
    // bounds, on whole pixels, would start it at row 32.
    const double a = 10.5 / 40, b = 30.5 / 40;
    auto document = blackShape(vectorMaskBlock({{1, {{a, a}, {b, a}, {b, b}, {a, b}}}}),
                               {{"vstk", vectorStrokeBlock({.width = 2, .gradientAngle = 90})}});
    ASSERT_TRUE(document);
    auto paint = std::dynamic_pointer_cast<const BNLinearGradientNode>(
        QFVectorStrokeFillNode(*document->layers()[0]));
    ASSERT_TRUE(paint);
    EXPECT_TRUE(paint->startPoint() == VKPointMake(20, 31) &&
                paint->endPoint() == VKPointMake(20, 9))
        << NSStringFromVKPoint(paint->startPoint()) << " to "
        << NSStringFromVKPoint(paint->endPoint());
}

TEST(QFVectorMaskNode, AlignedShapesKeepTheEdgesOfTheirStrokesOnWholePixels) {
    // The stroke alone (fill off) of a square in a 40 by 40 document. A
    // shape aligned to pixels snaps its outline so that the stroke's outer
    // edges land on whole pixels: a centred stroke of odd width lies half a
    // pixel to the right of and below the outline's own snapped place.
    struct Case {
        const char* what;
        bool aligned;
        double outline;  // the square's left and top edge; 40 minus it the others
        double width;
        int position;
        // The coverage of columns 2 to 6 and 34 to 38 on row 20 (and of
        // those rows on column 20).
        std::array<float, 5> nearEdge, farEdge;
    } cases[] = {
        {"centred, 1", true, 4, 1, 0, {0, 0, 1, 0, 0}, {0, 0, 1, 0, 0}},
        {"centred, 1, unaligned", false, 4, 1, 0, {0, .5, .5, 0, 0}, {0, .5, .5, 0, 0}},
        {"centred, 2", true, 4, 2, 0, {0, 1, 1, 0, 0}, {0, 1, 1, 0, 0}},
        {"centred, 3", true, 4, 3, 0, {0, 1, 1, 1, 0}, {0, 1, 1, 1, 0}},
        {"outside, 1", true, 4, 1, 2, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}},
        {"inside, 1", true, 4, 1, 1, {0, 0, 1, 0, 0}, {0, 1, 0, 0, 0}},
        {"centred, 1, from 4.3 to 35.7", true, 4.3, 1, 0, {0, 0, 1, 0, 0}, {0, 1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        double a = c.outline / 40, b = 1 - a;
        std::vector<std::pair<std::string, std::vector<uint8_t>>> blocks = {
            {"vstk",
             vectorStrokeBlock({.fillEnabled = false, .width = c.width, .position = c.position})}};
        if (c.aligned) blocks.push_back({"sn2P", {0, 0, 0, 1}});
        auto document =
            blackShape(vectorMaskBlock({{1, {{a, a}, {b, a}, {b, b}, {a, b}}}}), blocks);
        ASSERT_TRUE(document);
        BNRenderNodePtr mask = QFVectorMaskNode(*document->layers()[0]);
        for (int i = 0; i < 5; ++i) {
            EXPECT_NEAR(renderMaskValue(mask, 2 + i, 20), c.nearEdge[i], 0.02)
                << "column " << 2 + i;
            EXPECT_NEAR(renderMaskValue(mask, 20, 2 + i), c.nearEdge[i], 0.02) << "row " << 2 + i;
            EXPECT_NEAR(renderMaskValue(mask, 34 + i, 20), c.farEdge[i], 0.02)
                << "column " << 34 + i;
            EXPECT_NEAR(renderMaskValue(mask, 20, 34 + i), c.farEdge[i], 0.02) << "row " << 34 + i;
        }
    }
}

TEST(QFVectorMaskNode, OneSidedStrokesKeepToTheirSideOfAHole) {
    // A ring: the square from 4 to 36 with the square from 14 to 26 cut out
    // of it by a subpath that continues its operation (even-odd), running
    // either way round. The stroke alone, 2 wide: inside, it lies in the
    // ring along both edges and leaves the hole empty; outside, it lies
    // beyond the outer edge and within the hole along its edge.
    const OMPSDPoint a{0.1, 0.1}, b{0.9, 0.1}, c{0.9, 0.9}, d{0.1, 0.9};
    const OMPSDPoint p{0.35, 0.35}, q{0.65, 0.35}, r{0.65, 0.65}, s{0.35, 0.65};
    for (bool sameWay : {true, false}) {
        std::vector<OMPSDPoint> hole =
            sameWay ? std::vector<OMPSDPoint>{p, q, r, s} : std::vector<OMPSDPoint>{p, s, r, q};
        for (int position : {1, 2}) {
            SCOPED_TRACE(std::string(sameWay ? "hole the same way round" : "hole reversed") +
                         (position == 1 ? ", inside" : ", outside"));
            auto document = blackShape(
                vectorMaskBlock({{1, {a, b, c, d}}, {0xFFFF, hole}}, false, 1),
                {{"vstk",
                  vectorStrokeBlock({.fillEnabled = false, .width = 2, .position = position})}});
            ASSERT_TRUE(document);
            BNRenderNodePtr mask = QFVectorMaskNode(*document->layers()[0]);
            bool inside = position == 1;
            // Along the outer edge, on row 20: columns 2 and 5.
            EXPECT_NEAR(renderMaskValue(mask, 2, 20), inside ? 0 : 1, 0.02);
            EXPECT_NEAR(renderMaskValue(mask, 5, 20), inside ? 1 : 0, 0.02);
            // Along the hole's edge: column 12 in the ring, 14 in the hole;
            // the hole's middle stays empty.
            EXPECT_NEAR(renderMaskValue(mask, 12, 20), inside ? 1 : 0, 0.02);
            EXPECT_NEAR(renderMaskValue(mask, 14, 20), inside ? 0 : 1, 0.02);
            EXPECT_NEAR(renderMaskValue(mask, 20, 20), 0, 0.02);
        }
    }
}

TEST(QFVectorMaskNode, SubpathsFillByTheRuleTheirRecordsName) {
    // A closed five-pointed star drawn in one stroke crosses itself around
    // its centre pentagon: even-odd (1, and a record that leaves the field
    // out) leaves the pentagon empty, non-zero (2) fills it. The tips are
    // filled either way.
    std::vector<OMPSDPoint> star;
    for (int k = 0; k < 5; ++k) {
        double angle = (-90 + 144 * k) * M_PI / 180;
        star.push_back({0.5 + 0.45 * std::cos(angle), 0.5 + 0.45 * std::sin(angle)});
    }
    for (uint16_t rule : {0, 1, 2}) {
        SCOPED_TRACE(rule);
        auto document = blackShape(vectorMaskBlock({{1, star}}, false, rule));
        ASSERT_TRUE(document);
        BNRenderNodePtr mask = QFVectorMaskNode(*document->layers()[0]);
        EXPECT_NEAR(renderMaskValue(mask, 20, 20), rule == 2 ? 1 : 0, 0.02);
        EXPECT_NEAR(renderMaskValue(mask, 20, 8), 1, 0.02);
    }
}

TEST(QFPSDStrokePathFixer, QuadraticCurvesBecomeCubics) {
    auto accumulator = std::make_shared<VKPathAccumulator>();
    QFPSDStrokePathFixer fixer(accumulator, VKStrokeStyle());
    fixer.quadCurveToPoint({6, 0}, {3, 3});  // before any point: ignored
    fixer.moveToPoint({0, 0});
    fixer.quadCurveToPoint({6, 0}, {3, 3});
    fixer.endSubpath();
    auto paths = accumulator->paths();
    ASSERT_EQ(paths.size(), 1u);
    VKPathSegment segment = paths[0]->segmentAtIndex(0);
    EXPECT_EQ(segment.controlPoint1, VKPointMake(2, 2));
    EXPECT_EQ(segment.controlPoint2, VKPointMake(4, 2));
}
