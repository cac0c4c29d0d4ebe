// A record is built from the stages of an operation as the debugger hears
// of them, without a window: what it keeps of each stage, and how it finds
// intersections again by their exact location.

#include "GeometryTestSupport.h"
#include "debugger/QFVisualBooleanPath.h"
#include "geometry/VKGeometryStrings.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace geometry_test;

namespace {

std::shared_ptr<QFVisualBooleanPath> squareAndCircleRecord() {
    return std::make_shared<QFVisualBooleanPath>(
        VKBooleanOperationSubtract, booleanPath(rectangle(0, 0, 100, 50)),
        booleanPath(circle({100, 25}, 20)), VKRectMake(0, 0, 120, 50));
}

const VKPathSegment kInnerA{{100, 5}, {100, 10}, {100, 15}, {100, 20}};
const VKPathSegment kOuterA{{100, 5}, {100, 3}, {100, 1}, {100, 0}};
const VKPathSegment kInnerB{{100, 5}, {95, 6}, {90, 8}, {85.5, 11.25}};

VKBooleanDebuggerUserInfo segmentTexts(bool withOuterB) {
    VKBooleanDebuggerUserInfo info{
        {VKBooleanDebuggerIntersectionSegmentAInsideKey, NSStringFromVKPathSegment(kInnerA)},
        {VKBooleanDebuggerIntersectionSegmentAOutsideKey, NSStringFromVKPathSegment(kOuterA)},
        {VKBooleanDebuggerIntersectionSegmentBInsideKey, NSStringFromVKPathSegment(kInnerB)}};
    if (withOuterB)
        info[VKBooleanDebuggerIntersectionSegmentBOutsideKey] =
            NSStringFromVKPathSegment({{100, 5}, {105, 4}, {110, 5}, {114, 9}});
    return info;
}

}  // namespace

TEST(QFVisualBooleanPath, KeepsEachStageOfAScriptedOperation) {
    auto record = squareAndCircleRecord();
    EXPECT_EQ(record->operation(), VKBooleanOperationSubtract);
    EXPECT_EQ(record->pathBounds(), VKRectMake(0, 0, 120, 50));

    // Intersections, with their neighbouring pieces from the segment texts.
    record->addIntersectionPoint({100, 5}, VKBooleanFlagAToB, segmentTexts(true));
    record->addIntersectionPoint({100, 45}, VKBooleanFlagCoincident, segmentTexts(false));
    auto intersections = record->intersectionPoints();
    ASSERT_EQ(intersections.size(), 2u);
    EXPECT_EQ(intersections[0].innerSegmentA, kInnerA);
    EXPECT_EQ(intersections[0].outerSegmentA, kOuterA);
    EXPECT_EQ(intersections[0].innerSegmentB, kInnerB);
    EXPECT_EQ(intersections[0].flags(), VKBooleanFlagAToB);
    EXPECT_EQ(intersections[1].outerSegmentB, VKPathSegment{}) << "a missing key stays all-zero";
    EXPECT_FALSE(intersections[0].wasTraced());
    auto annotations = record->annotations();
    ASSERT_EQ(annotations.size(), 2u);
    EXPECT_EQ(annotations[1].stringValue, "{ 100, 45 }");
    EXPECT_EQ(annotations[1].frame, record->frameForLocation({100, 45}));

    // A verbatim path, then a traced contour.
    record->addPath(rectangle(200, 0, 10, 10));
    record->beginTracing();
    record->willTraceFromIntersectionPoint({100, 5}, VKBooleanFlagFollowsB);
    record->addPathSegment(kInnerA);
    record->addPathSegment(kInnerB);
    EXPECT_EQ(record->segments().size(), 2u);
    intersections = record->intersectionPoints();
    EXPECT_TRUE(intersections[0].wasTraced());
    EXPECT_EQ(intersections[0].flags(), VKBooleanFlagFollowsB);
    EXPECT_FALSE(intersections[1].wasTraced());
    record->addPath(rectangle(0, 0, 100, 5));
    EXPECT_TRUE(record->segments().empty()) << "a traced path ends the contour being traced";
    EXPECT_EQ(record->paths().size(), 2u);

    EXPECT_FALSE(record->isFinished());
    auto result = booleanPath(rectangle(0, 0, 80, 50));
    record->setResult(result);
    EXPECT_TRUE(record->isFinished());
    EXPECT_EQ(record->result(), result);
    record->setResult(nullptr);
    EXPECT_FALSE(record->isFinished());
}

TEST(QFVisualBooleanPath, FindsIntersectionsOnlyAtTheirExactLocation) {
    auto record = squareAndCircleRecord();
    const VKPoint a{100, 5}, b{100, 45}, c{0.1, 0.3};
    for (VKPoint p : {a, b, c})
        record->addIntersectionPoint(p, 0, {});

    // One bit off in the last place is another point.
    record->willTraceFromIntersectionPoint({a.x, std::nextafter(a.y, 10.0)}, VKBooleanFlagFollowsA);
    for (const auto& intersection : record->intersectionPoints()) {
        EXPECT_FALSE(intersection.wasTraced());
        EXPECT_EQ(intersection.flags(), 0u);
    }

    // Sorting keeps the intersections of the given points in their order and
    // passes over a point without one; later intersections still join.
    record->willBeginTracingPathsWithSortedIntersectionPoints({c, {7, 7}, a});
    auto sorted = record->intersectionPoints();
    ASSERT_EQ(sorted.size(), 2u);
    EXPECT_EQ(sorted[0].location(), c);
    EXPECT_EQ(sorted[1].location(), a);
    record->addIntersectionPoint(b, 0, {});
    EXPECT_EQ(record->intersectionPoints().size(), 3u);
}

TEST(QFVisualBooleanPath, KeepsWhatTheDeveloperTypes) {
    auto record = squareAndCircleRecord();
    record->addExtraneousPoint({1, 2});
    record->addExtraneousPoint({1, 2});
    record->addExtraneousPoint({-0.0, 3});
    record->addExtraneousPoint({0.0, 3});
    EXPECT_EQ(record->extraneousPoints().size(), 2u) << "equal points are one member";
    EXPECT_EQ(QFVisualPoint({-0.0, 3}).hash(), QFVisualPoint({0.0, 3}).hash());

    record->beginAddingExtraneousPathSegments();
    record->addExtraneousPathSegment(kInnerA);
    record->addExtraneousPathSegment(kOuterA);
    EXPECT_TRUE(record->extraneousPathSegments().empty()) << "a group joins when it is complete";
    record->endAddingExtraneousPathSegments();
    record->beginAddingExtraneousPathSegments();
    record->addExtraneousPathSegment(kInnerB);
    record->endAddingExtraneousPathSegments();
    auto groups = record->extraneousPathSegments();
    ASSERT_EQ(groups.size(), 2u);
    ASSERT_EQ(groups[0].size(), 2u);
    EXPECT_EQ(groups[0][1].segment, kOuterA);
    EXPECT_EQ(groups[1][0].segment, kInnerB);
}
