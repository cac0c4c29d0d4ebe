#include "BruteForceCoverage.h"
#include "TestPaths.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNPathRasterizer.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace rendergraph_test;

namespace {

// A float plane with a known value in every sample and padding at the end
// of every row, so that writes outside the pixels show.
struct Plane {
    uint64_t width, height, stride;
    std::vector<float> data;

    Plane(uint64_t w, uint64_t h, float fill = -1.0f)
        : width(w), height(h), stride(w + 3), data(stride * h, fill) {}
    BNCoverageBitmap bitmap() { return {width, height, stride, data.data()}; }
    float at(uint64_t x, uint64_t y) const { return data[y * stride + x]; }
    std::vector<float> pixels() const {
        std::vector<float> out;
        for (uint64_t y = 0; y < height; ++y)
            out.insert(out.end(), data.begin() + y * stride, data.begin() + y * stride + width);
        return out;
    }
    bool paddingUntouched(float fill = -1.0f) const {
        for (uint64_t y = 0; y < height; ++y)
            for (uint64_t x = width; x < stride; ++x)
                if (data[y * stride + x] != fill) return false;
        return true;
    }
};

struct Case {
    BNCompoundPathList paths;
    std::vector<VKBooleanOperation> operations;
    bool initiallyFilled = false;
    BruteForceRaster raster;
};

std::vector<float> rasterize(const Case& c, Plane& plane) {
    bool drew = BNRasterizeCompoundPaths(c.paths, c.operations, c.initiallyFilled, plane.bitmap(),
                                         c.raster.originX, c.raster.originY, c.raster.scaleFactor,
                                         c.raster.samples, c.raster.samples);
    EXPECT_TRUE(drew);
    return plane.pixels();
}

// The case as source to paste into a regression test.
std::string caseCode(const Case& c) {
    std::string paths, operations;
    for (size_t i = 0; i < c.paths.size(); ++i) {
        paths += fmt::format("{}{}", i ? ",\n     " : "", compoundPathCode(*c.paths[i]));
        operations += fmt::format("{}VKBooleanOperation({})", i ? ", " : "", c.operations[i]);
    }
    return fmt::format("Case c{{{{{}}}, {{{}}}, {}, {{{}, {}, {}, {}, {}, {}}}}};", paths,
                       operations, c.initiallyFilled ? "true" : "false", c.raster.width,
                       c.raster.height, c.raster.originX, c.raster.originY, c.raster.scaleFactor,
                       c.raster.samples);
}

// Largest difference and the mean absolute difference per pixel.
struct Difference {
    float largest = 0;
    double mean = 0;
};

Difference compare(const std::vector<float>& a, const std::vector<float>& b) {
    Difference d;
    for (size_t i = 0; i < a.size(); ++i) {
        float diff = std::fabs(a[i] - b[i]);
        d.largest = std::max(d.largest, diff);
        d.mean += diff;
    }
    d.mean /= static_cast<double>(a.size());
    return d;
}

// A random polygon with corners on the 1/32-point grid within `area`.
std::vector<VKPoint> randomPolygon(std::mt19937& random, VKRect area, int corners) {
    std::uniform_int_distribution<int> x(0, static_cast<int>(area.size.width * 32));
    std::uniform_int_distribution<int> y(0, static_cast<int>(area.size.height * 32));
    std::vector<VKPoint> points;
    for (int i = 0; i < corners; ++i)
        points.push_back({area.origin.x + x(random) / 32.0, area.origin.y + y(random) / 32.0});
    return points;
}

}  // namespace

TEST(BNPathRasterizer, PolygonsEqualBruteForcePointSampling) {
    std::mt19937 random(20240611);
    const VKRect area = VKRectMake(-6, -5, 30, 26);
    for (int fillRule : {VKFillRuleNonZero, VKFillRuleEvenOdd})
        for (VKBooleanOperation operation :
             {VKBooleanOperationAdd, VKBooleanOperationSubtract, VKBooleanOperationIntersect,
              VKBooleanOperationExclude})
            for (int trial = 0; trial < 6; ++trial) {
                Case c;
                int count = 1 + trial % 3;
                for (int i = 0; i < count; ++i) {
                    std::vector<PathPtr> contours;
                    contours.reserve(2);
                    contours.push_back(polygonPath(randomPolygon(random, area, 3 + i * 2)));
                    if (trial % 2) contours.push_back(polygonPath(randomPolygon(random, area, 4)));
                    c.paths.push_back(compoundPathOf(contours, fillRule));
                    c.operations.push_back(i == 0 ? (trial % 4 == 3 ? VKBooleanOperationExclude
                                                                    : VKBooleanOperationAdd)
                                                  : operation);
                }
                if (count == 1) c.operations[0] = operation;
                c.initiallyFilled = trial % 3 == 1;
                c.raster.scaleFactor = trial % 2 ? 2.0 : 1.0;
                c.raster.width = static_cast<uint64_t>(18 * c.raster.scaleFactor);
                c.raster.height = static_cast<uint64_t>(14 * c.raster.scaleFactor);
                c.raster.originX = trial % 3 - 1;
                c.raster.originY = trial % 4 - 2;

                Plane plane(c.raster.width, c.raster.height);
                std::vector<float> actual = rasterize(c, plane);
                std::vector<float> expected =
                    bruteForceCoverage(c.paths, c.operations, c.initiallyFilled, c.raster);
                ASSERT_EQ(actual, expected) << "Failing case:\n" << caseCode(c);
                ASSERT_TRUE(plane.paddingUntouched());
            }
}

TEST(BNPathRasterizer, CurvesStayCloseToBruteForcePointSampling) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(0, 20);
    int64_t covered = 0;
    for (int trial = 0; trial < 12; ++trial) {
        Case c;
        c.raster = {24, 20, -2.0, -1.0, trial % 2 ? 2.0 : 1.0, 16};
        c.raster.width = static_cast<uint64_t>(24 * c.raster.scaleFactor);
        c.raster.height = static_cast<uint64_t>(20 * c.raster.scaleFactor);
        // An ellipse and a closed path of random cubics, combined.
        double x = coordinate(random), y = coordinate(random);
        PathPtr ellipse = ellipsePath(VKRectMake(x - 6, y - 5, 12 + trial, 10 + trial / 2.0));
        std::vector<VKKnot> knots;
        for (int i = 0; i < 4; ++i)
            knots.push_back({{coordinate(random), coordinate(random)},
                             {coordinate(random), coordinate(random)},
                             {coordinate(random), coordinate(random)},
                             0});
        PathPtr wild = std::make_shared<VKPath>(std::move(knots), true);
        c.paths = {compoundPathOf({ellipse}), compoundPathOf({wild}, trial % 3 == 0 ? 1 : 0)};
        c.operations = {VKBooleanOperationAdd, VKBooleanOperation(trial % 4)};

        Plane plane(c.raster.width, c.raster.height);
        std::vector<float> actual = rasterize(c, plane);
        std::vector<float> expected =
            bruteForceCoverage(c.paths, c.operations, c.initiallyFilled, c.raster);
        // Flattening keeps every line within about one sub-sample of its
        // curve: a pixel may differ by up to two sub-sample columns, the
        // image by less than one sample in 256 per pixel on average.
        Difference d = compare(actual, expected);
        EXPECT_LE(d.largest, 32.0f / 256) << caseCode(c);
        EXPECT_LE(d.mean, 1.0 / 256) << caseCode(c);
        covered += std::count_if(expected.begin(), expected.end(), [](float v) { return v > 0; });
    }
    EXPECT_GT(covered, 2000);
}

namespace {

// The coverage of one compound path added to an empty plane.
Plane coverageOf(const CompoundPathPtr& path, uint64_t width, uint64_t height,
                 double samples = 16) {
    Plane plane(width, height);
    EXPECT_TRUE(BNRasterizeCompoundPaths({path}, {VKBooleanOperationAdd}, false, plane.bitmap(), 0,
                                         0, 1.0, samples, samples));
    return plane;
}

std::vector<float> row(const Plane& plane, uint64_t y) {
    return {plane.data.begin() + y * plane.stride,
            plane.data.begin() + y * plane.stride + plane.width};
}

}  // namespace

TEST(BNPathRasterizer, PixelAlignedAndHalfPixelSquares) {
    Plane aligned = coverageOf(polygon({{2, 1}, {6, 1}, {6, 4}, {2, 4}}), 8, 6);
    for (uint64_t y = 0; y < 6; ++y)
        for (uint64_t x = 0; x < 8; ++x)
            EXPECT_EQ(aligned.at(x, y), x >= 2 && x < 6 && y >= 1 && y < 4 ? 1.0f : 0.0f);

    Plane shifted = coverageOf(polygon({{1.5, 1.5}, {3.5, 1.5}, {3.5, 3.5}, {1.5, 3.5}}), 5, 5);
    EXPECT_EQ(row(shifted, 0), (std::vector<float>{0, 0, 0, 0, 0}));
    EXPECT_EQ(row(shifted, 1), (std::vector<float>{0, 0.25f, 0.5f, 0.25f, 0}));
    EXPECT_EQ(row(shifted, 2), (std::vector<float>{0, 0.5f, 1, 0.5f, 0}));
    EXPECT_EQ(row(shifted, 3), (std::vector<float>{0, 0.25f, 0.5f, 0.25f, 0}));
    EXPECT_EQ(row(shifted, 4), (std::vector<float>{0, 0, 0, 0, 0}));
}

TEST(BNPathRasterizer, OperationsAndTheStartingPlane) {
    auto square = polygon({{1, 1}, {3, 1}, {3, 3}, {1, 3}});
    auto render = [&](std::vector<VKBooleanOperation> operations, bool initiallyFilled) {
        BNCompoundPathList paths(operations.size(), square);
        Plane plane(4, 4);
        EXPECT_TRUE(BNRasterizeCompoundPaths(paths, operations, initiallyFilled, plane.bitmap(), 0,
                                             0, 1, 16, 16));
        return std::make_pair(plane.at(0, 0), plane.at(1, 1));  // outside, inside
    };
    using P = std::pair<float, float>;
    // Subtract or intersect first starts from a full plane.
    EXPECT_EQ(render({VKBooleanOperationSubtract}, false), (P{1, 0}));
    EXPECT_EQ(render({VKBooleanOperationIntersect}, false), (P{0, 1}));
    // Add first starts empty whatever the flag says.
    EXPECT_EQ(render({VKBooleanOperationAdd}, true), (P{0, 1}));
    // Exclude follows the flag.
    EXPECT_EQ(render({VKBooleanOperationExclude}, true), (P{1, 0}));
    EXPECT_EQ(render({VKBooleanOperationExclude}, false), (P{0, 1}));
    // Adding twice, then excluding, then an unknown operation.
    EXPECT_EQ(render({VKBooleanOperationAdd, VKBooleanOperationAdd}, false), (P{0, 1}));
    EXPECT_EQ(render({VKBooleanOperationAdd, VKBooleanOperationExclude}, false), (P{0, 0}));
    EXPECT_EQ(render({VKBooleanOperationSubtract, VKBooleanOperation(9)}, false), (P{0, 0}));
}

TEST(BNPathRasterizer, AbuttingOpenAndSelfOverlappingShapes) {
    // Two rectangles added one after the other cover their common edge.
    auto left = polygon({{0.5, 0}, {2.25, 0}, {2.25, 2}, {0.5, 2}});
    auto right = polygon({{2.25, 0}, {4, 0}, {4, 2}, {2.25, 2}});
    Plane joined(4, 2);
    ASSERT_TRUE(BNRasterizeCompoundPaths({left, right},
                                         {VKBooleanOperationAdd, VKBooleanOperationAdd}, false,
                                         joined.bitmap(), 0, 0, 1, 16, 16));
    EXPECT_EQ(row(joined, 0), (std::vector<float>{0.5f, 1, 1, 1}));

    // An open path is filled as if closed by a line.
    std::vector<VKPoint> triangle{{0, 0}, {6, 1}, {2, 5}};
    Plane open = coverageOf(compoundPathOf({polygonPath(triangle, false)}), 6, 6);
    EXPECT_EQ(open.pixels(), coverageOf(polygon(triangle), 6, 6).pixels());

    // A figure eight fills both loops under either rule; two overlapping
    // squares of one direction fill their overlap only under non-zero.
    std::vector<VKPoint> eight{{0, 0}, {4, 4}, {4, 0}, {0, 4}};
    for (int rule : {0, 1}) {
        Plane figure = coverageOf(polygon(eight, rule), 4, 4);
        EXPECT_EQ(figure.at(0, 2), 1.0f);
        EXPECT_EQ(figure.at(3, 2), 1.0f);
        EXPECT_EQ(figure.at(2, 0), 0.0f);
    }
    auto squares = [](int rule) {
        return compoundPathOf({polygonPath({{0, 0}, {3, 0}, {3, 3}, {0, 3}}),
                               polygonPath({{1, 1}, {4, 1}, {4, 4}, {1, 4}})},
                              rule);
    };
    EXPECT_EQ(coverageOf(squares(0), 4, 4).at(2, 2), 1.0f);
    EXPECT_EQ(coverageOf(squares(1), 4, 4).at(2, 2), 0.0f);
    EXPECT_EQ(coverageOf(squares(1), 4, 4).at(0, 0), 1.0f);
}

TEST(BNPathRasterizer, SubSampleCountsAndBitmapSizes) {
    // Counts below 1 become 17 columns by 5 rows: the left 0.45 of a pixel
    // holds 7 of 17 column centres, the top 0.45 2 of 5 row centres.
    Plane left = coverageOf(polygon({{0, 0}, {0.45, 0}, {0.45, 1}, {0, 1}}), 1, 1, 0);
    EXPECT_FLOAT_EQ(left.at(0, 0), 7.0f / 17);
    Plane top = coverageOf(polygon({{0, 0}, {1, 0}, {1, 0.45}, {0, 0.45}}), 1, 1, 0);
    EXPECT_FLOAT_EQ(top.at(0, 0), 2.0f / 5);

    // 2.5 sub-samples across 3 pixels is no whole grid: nothing is written.
    lf::LogCapture capture;
    Plane untouched(3, 2);
    EXPECT_FALSE(BNRasterizeCompoundPaths({polygon({{0, 0}, {3, 0}, {3, 2}})},
                                          {VKBooleanOperationAdd}, false, untouched.bitmap(), 0, 0,
                                          1, 2.5, 2.5));
    EXPECT_TRUE(capture.contains("Buffer size mismatch"));
    EXPECT_EQ(untouched.pixels(), std::vector<float>(6, -1.0f));
    // Across 4 pixels it is whole; the partial last columns stay inside.
    Plane four(4, 2);
    EXPECT_TRUE(BNRasterizeCompoundPaths({polygon({{0, 0}, {4, 0}, {4, 2}, {0, 2}})},
                                         {VKBooleanOperationAdd}, false, four.bitmap(), 0, 0, 1,
                                         2.5, 2.5));
    EXPECT_TRUE(four.paddingUntouched());

    // No paths, or counts that differ: nothing happens.
    EXPECT_FALSE(BNRasterizeCompoundPaths({}, {}, false, four.bitmap(), 0, 0, 1, 16, 16));
    EXPECT_FALSE(BNRasterizeCompoundPaths({polygon({{0, 0}, {1, 1}, {0, 1}})},
                                          {VKBooleanOperationAdd, VKBooleanOperationAdd}, false,
                                          four.bitmap(), 0, 0, 1, 16, 16));
}

TEST(BNPathRasterizer, LongEdgesAreExact) {
    // Edges millions of points long through a small bitmap: at scale 2 they
    // span more than 2^31 fixed-point units.
    Case c;
    c.paths = {polygon({{-2400000, -800000.5}, {2400000.25, 800007.75}, {-2000000, 2000000}})};
    c.operations = {VKBooleanOperationAdd};
    c.raster = {20, 16, -3, 2, 2.0, 16};
    Plane plane(20, 16);
    std::vector<float> actual = rasterize(c, plane);
    EXPECT_EQ(actual, bruteForceCoverage(c.paths, c.operations, false, c.raster));
    EXPECT_GT(std::count(actual.begin(), actual.end(), 1.0f), 0);
    EXPECT_GT(std::count(actual.begin(), actual.end(), 0.0f), 0);

    // Coordinates far beyond any document finish at once and stay defined.
    Plane far(8, 8);
    ASSERT_TRUE(
        BNRasterizeCompoundPaths({polygon({{-1e15, -1e15}, {1e300, 2}, {4, 1e18}, {NAN, 3}})},
                                 {VKBooleanOperationAdd}, false, far.bitmap(), 0, 0, 2, 16, 16));
    for (float v : far.pixels())
        EXPECT_TRUE(v >= 0 && v <= 1);
}

namespace {

Plane strokeCoverage(const CompoundPathPtr& path, const VKStrokeStyle& style, bool shouldFill,
                     bool shouldOverprint) {
    Plane plane(12, 12);
    EXPECT_TRUE(BNRasterizeStrokedCompoundPath(*path, style, shouldFill, shouldOverprint,
                                               plane.bitmap(), 0, 0, 1, 16, 16));
    return plane;
}

VKStrokeStyle strokeStyle(double width, VKStrokePosition position) {
    VKStrokeStyle style;
    style.setWidth(width);
    style.setPosition(position);
    return style;
}

}  // namespace

TEST(BNPathRasterizer, StrokesKeepToTheirSideOfClosedPaths) {
    auto shape = compoundPathOf({polygonPath({{3, 2.5}, {9.5, 3}, {8, 9}, {2.5, 8}}),
                                 ellipsePath(VKRectMake(4.5, 4.5, 2.5, 2.5))},
                                VKFillRuleEvenOdd);
    Plane fill = coverageOf(shape, 12, 12);
    Plane inside = strokeCoverage(shape, strokeStyle(1.5, VKStrokePositionInside), false, false);
    Plane outside = strokeCoverage(shape, strokeStyle(1.5, VKStrokePositionOutside), false, false);
    float insideTotal = 0, outsideTotal = 0;
    for (uint64_t y = 0; y < 12; ++y)
        for (uint64_t x = 0; x < 12; ++x) {
            if (fill.at(x, y) == 0) {
                EXPECT_EQ(inside.at(x, y), 0) << x << "," << y;
            }
            if (fill.at(x, y) == 1) {
                EXPECT_EQ(outside.at(x, y), 0) << x << "," << y;
            }
            insideTotal += inside.at(x, y);
            outsideTotal += outside.at(x, y);
        }
    EXPECT_GT(insideTotal, 10);
    EXPECT_GT(outsideTotal, 10);

    // With the fill, the stroke joins it: everything inside is covered.
    Plane filled = strokeCoverage(shape, strokeStyle(1.5, VKStrokePositionOutside), true, false);
    for (uint64_t y = 0; y < 12; ++y)
        for (uint64_t x = 0; x < 12; ++x)
            EXPECT_GE(filled.at(x, y), std::max(fill.at(x, y), outside.at(x, y)));

    // Overprinting an undashed inside stroke draws a centred one of twice
    // the width, uncut.
    EXPECT_EQ(
        strokeCoverage(shape, strokeStyle(1.5, VKStrokePositionInside), false, true).pixels(),
        strokeCoverage(shape, strokeStyle(3, VKStrokePositionCentered), false, false).pixels());
}

TEST(BNPathRasterizer, StrokesOfOpenPathsAreNotCut) {
    auto open = compoundPathOf({polygonPath({{2, 2}, {10, 3}, {6, 10}}, false)});
    VKStrokeStyle style = strokeStyle(2, VKStrokePositionInside);
    Plane stroked = strokeCoverage(open, style, false, false);

    Plane outline(12, 12);
    BNPathRasterizer rasterizer(12, 12, false, 0, 0, 1, 16, 16);
    rasterizer.addStrokedPath(*open->paths()[0], style);
    ASSERT_TRUE(rasterizer.writeCoverage(outline.bitmap()));
    EXPECT_EQ(stroked.pixels(), outline.pixels());
    // The inside stroke of the open path reaches past the closed shape.
    Plane closedFill = coverageOf(open, 12, 12);
    bool beyond = false;
    for (uint64_t y = 0; y < 12; ++y)
        for (uint64_t x = 0; x < 12; ++x)
            beyond = beyond || (closedFill.at(x, y) == 0 && stroked.at(x, y) > 0);
    EXPECT_TRUE(beyond);
}
