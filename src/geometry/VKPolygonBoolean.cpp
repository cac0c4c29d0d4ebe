#include "geometry/VKPolygonBoolean.h"

#include <cmath>

namespace {

// Clipper's largest coordinate (its "hiRange"), in path units.
constexpr double kLargestClipperCoordinate = 4.6e18 / VKClipperScale;

bool scalable(VKPoint p) {
    return std::fabs(p.x) <= kLargestClipperCoordinate &&
           std::fabs(p.y) <= kLargestClipperCoordinate;
}

ClipperLib::IntPoint scaled(VKPoint p) {
    return {static_cast<ClipperLib::cInt>(std::llround(p.x * VKClipperScale)),
            static_cast<ClipperLib::cInt>(std::llround(p.y * VKClipperScale))};
}

}  // namespace

ClipperLib::PolyFillType VKClipperFillType(VKFillRule fillRule) {
    return fillRule == VKFillRuleNonZero ? ClipperLib::pftNonZero : ClipperLib::pftEvenOdd;
}

ClipperLib::Paths VKClipperPathsFromCompoundPath(const VKCompoundPath& compoundPath,
                                                 double tolerance) {
    ClipperLib::Paths result;
    std::vector<VKPoint> points;
    for (const auto& path : compoundPath.paths()) {
        if (!path || path->numberOfSegments() == 0) continue;
        points.assign(1, path->knots().front().point);
        for (size_t i = 0, count = path->numberOfSegments(); i < count; ++i)
            VKBezierFlattenAppend(path->segmentAtIndex(i), tolerance, points);
        bool usable = true;
        for (VKPoint p : points)
            usable = usable && scalable(p);
        if (!usable) continue;
        ClipperLib::Path polygon;
        polygon.reserve(points.size());
        for (VKPoint p : points) {
            ClipperLib::IntPoint q = scaled(p);
            if (polygon.empty() || !(polygon.back() == q)) polygon.push_back(q);
        }
        result.push_back(std::move(polygon));
    }
    return result;
}

std::shared_ptr<VKCompoundPath> VKCompoundPathFromClipperPaths(const ClipperLib::Paths& polygons,
                                                               VKFillRule fillRule) {
    VKCompoundPath::PathList paths;
    for (const ClipperLib::Path& polygon : polygons) {
        std::vector<VKKnot> knots;
        knots.reserve(polygon.size());
        for (const ClipperLib::IntPoint& q : polygon)
            knots.push_back(
                VKKnot::corner({double(q.X) / VKClipperScale, double(q.Y) / VKClipperScale}));
        paths.push_back(std::make_shared<VKPath>(std::move(knots), true));
    }
    return std::make_shared<VKCompoundPath>(std::move(paths), fillRule);
}

std::shared_ptr<VKCompoundPath> VKPolygonBooleanOperation(const VKCompoundPath& a,
                                                          VKBooleanOperation operation,
                                                          const VKCompoundPath& b,
                                                          double tolerance) {
    static constexpr ClipperLib::ClipType kTypes[] = {ClipperLib::ctUnion, ClipperLib::ctDifference,
                                                      ClipperLib::ctIntersection,
                                                      ClipperLib::ctXor};
    if (operation < 0 || operation > 3) return std::make_shared<VKCompoundPath>();
    ClipperLib::Clipper clipper;
    clipper.AddPaths(VKClipperPathsFromCompoundPath(a, tolerance), ClipperLib::ptSubject, true);
    clipper.AddPaths(VKClipperPathsFromCompoundPath(b, tolerance), ClipperLib::ptClip, true);
    ClipperLib::Paths solution;
    clipper.Execute(kTypes[operation], solution, VKClipperFillType(a.fillRule()),
                    VKClipperFillType(b.fillRule()));
    return VKCompoundPathFromClipperPaths(solution);
}
