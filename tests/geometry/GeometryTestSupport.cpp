#include "GeometryTestSupport.h"

#include "geometry/VKGeometryStrings.h"
#include "geometry/VKPolygonBoolean.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace geometry_test {

namespace {

constexpr double kFineTolerance = 1e-4;

std::vector<std::vector<VKPoint>> outlines(const VKCompoundPath& path,
                                           double tolerance = kFineTolerance) {
    std::vector<std::vector<VKPoint>> result;
    for (const auto& p : path.paths()) {
        if (p->numberOfKnots() == 0) continue;
        std::vector<VKPoint> points{p->knots().front().point};
        for (size_t i = 0; i < p->numberOfSegments(); ++i)
            VKBezierFlattenAppend(p->segmentAtIndex(i), tolerance, points);
        result.push_back(std::move(points));
    }
    return result;
}

}  // namespace

double distanceToSegment(VKPoint p, VKPoint a, VKPoint b) {
    VKPoint d = b - a;
    double l = VKDot(d, d);
    double t = l > 0 ? std::clamp(VKDot(p - a, d) / l, 0.0, 1.0) : 0.0;
    return VKDistance(p, a + d * t);
}

std::shared_ptr<const VKPath> polygon(const std::vector<VKPoint>& points) {
    std::vector<VKKnot> knots;
    for (VKPoint p : points)
        knots.push_back(VKKnot::corner(p));
    return std::make_shared<VKPath>(std::move(knots), true);
}

std::shared_ptr<const VKPath> rectangle(double x, double y, double width, double height) {
    return polygon({{x, y}, {x + width, y}, {x + width, y + height}, {x, y + height}});
}

std::shared_ptr<const VKPath> circle(VKPoint c, double r, bool reversed, int arcs) {
    double step = 2 * M_PI / arcs;
    double k = 4.0 / 3.0 * std::tan(step / 4) * r;
    std::vector<VKKnot> knots;
    for (int i = 0; i < arcs; ++i) {
        double a = i * step;
        VKPoint p{c.x + r * std::cos(a), c.y + r * std::sin(a)};
        VKPoint tangent{-std::sin(a), std::cos(a)};
        knots.push_back({p - tangent * k, p, p + tangent * k, 1});
    }
    auto path = std::make_shared<VKPath>(std::move(knots), true);
    return reversed ? std::shared_ptr<const VKPath>(path->pathByReversingPath()) : path;
}

std::shared_ptr<const VKCompoundPath> compound(std::vector<std::shared_ptr<const VKPath>> paths,
                                               int fillRule) {
    return std::make_shared<VKCompoundPath>(std::move(paths), VKFillRule(fillRule));
}

std::shared_ptr<const VKBooleanCompoundPath> booleanPath(std::shared_ptr<const VKPath> path) {
    return std::make_shared<VKBooleanCompoundPath>(*compound({std::move(path)}));
}

int windingAt(const VKCompoundPath& path, VKPoint p) {
    int winding = 0;
    for (const auto& points : outlines(path)) {
        for (size_t i = 0; i < points.size(); ++i) {
            VKPoint a = points[i], b = points[(i + 1) % points.size()];
            if ((a.y <= p.y) != (b.y <= p.y)) {
                double x = a.x + (p.y - a.y) / (b.y - a.y) * (b.x - a.x);
                if (x > p.x) winding += b.y > a.y ? 1 : -1;
            }
        }
    }
    return winding;
}

bool insideAt(const VKCompoundPath& path, VKPoint p) {
    return insideForRule(path.fillRule(), windingAt(path, p));
}

double signedArea(const VKCompoundPath& path) {
    double area = 0;
    for (const auto& p : path.paths()) {
        if (p->numberOfKnots() == 0) continue;
        for (size_t i = 0; i < p->numberOfSegments(); ++i)
            area += VKBezierSignedArea(p->segmentAtIndex(i));
        if (!p->isClosed())
            area += VKBezierSignedArea(
                VKPathSegmentMakeLine(p->knots().back().point, p->knots().front().point));
    }
    return area;
}

double filledArea(const VKCompoundPath& path) {
    ClipperLib::Paths solution;
    ClipperLib::SimplifyPolygons(VKClipperPathsFromCompoundPath(path, kFineTolerance), solution,
                                 VKClipperFillType(path.fillRule()));
    double area = 0;
    for (const auto& polygon : solution)
        area += ClipperLib::Area(polygon);
    return area / (VKClipperScale * VKClipperScale);
}

double polygonOperationArea(const VKCompoundPath& a, VKBooleanOperation operation,
                            const VKCompoundPath& b, double tolerance) {
    return signedArea(*VKPolygonBooleanOperation(a, operation, b, tolerance));
}

Sampler::Sampler(const VKCompoundPath& path, double tolerance)
    : outlines_(outlines(path, tolerance)), fillRule_(path.fillRule()) {}

std::vector<std::pair<double, int>> Sampler::crossings(double y) const {
    std::vector<std::pair<double, int>> result;
    for (const auto& points : outlines_) {
        for (size_t i = 0; i < points.size(); ++i) {
            VKPoint a = points[i], b = points[(i + 1) % points.size()];
            if ((a.y <= y) != (b.y <= y))
                result.push_back({a.x + (y - a.y) / (b.y - a.y) * (b.x - a.x), b.y > a.y ? 1 : -1});
        }
    }
    std::sort(result.begin(), result.end());
    return result;
}

double Sampler::perimeter() const {
    double length = 0;
    for (const auto& points : outlines_)
        for (size_t i = 0; i < points.size(); ++i)
            length += VKDistance(points[i], points[(i + 1) % points.size()]);
    return length;
}

int windingFromCrossings(const std::vector<std::pair<double, int>>& crossings, double x) {
    int winding = 0;
    for (auto it = crossings.rbegin(); it != crossings.rend() && it->first > x; ++it)
        winding += it->second;
    return winding;
}

bool insideForRule(int fillRule, int winding) {
    return fillRule == VKFillRuleNonZero ? winding != 0 : (winding % 2) != 0;
}

bool expectedInside(int operation, bool inA, bool inB) {
    switch (operation) {
        case 0:
            return inA || inB;
        case 1:
            return inA && !inB;
        case 2:
            return inA && inB;
        case 3:
            return inA != inB;
    }
    return false;
}

std::shared_ptr<const VKPath> randomPath(std::mt19937_64& random, VKPoint center, double size,
                                         int segments) {
    std::uniform_real_distribution<double> unit(-1, 1);
    std::bernoulli_distribution straight(0.3);
    std::vector<VKKnot> knots;
    for (int i = 0; i < segments; ++i) {
        VKPoint p{center.x + unit(random) * size, center.y + unit(random) * size};
        knots.push_back(VKKnot::corner(p));
    }
    for (int i = 0; i < segments; ++i) {
        if (straight(random)) continue;
        knots[i].outgoing = knots[i].point + VKPoint{unit(random), unit(random)} * (size * 0.6);
        VKKnot& next = knots[(i + 1) % segments];
        next.incoming = next.point + VKPoint{unit(random), unit(random)} * (size * 0.6);
    }
    return std::make_shared<VKPath>(std::move(knots), true);
}

std::shared_ptr<const VKCompoundPath> randomCompoundPath(std::mt19937_64& random, int fillRule) {
    std::uniform_int_distribution<int> pathCount(1, 3), segmentCount(2, 6);
    std::uniform_real_distribution<double> place(20, 80), size(10, 40);
    std::vector<std::shared_ptr<const VKPath>> paths;
    for (int i = pathCount(random); i > 0; --i)
        paths.push_back(
            randomPath(random, {place(random), place(random)}, size(random), segmentCount(random)));
    return compound(std::move(paths), fillRule);
}

std::string describe(const VKCompoundPath& path) {
    std::string text = "fill rule " + std::to_string(path.fillRule()) + ":";
    for (const auto& p : path.paths()) {
        text += " [";
        for (size_t i = 0; i < p->numberOfSegments(); ++i)
            text += NSStringFromVKPathSegment(p->segmentAtIndex(i));
        text += p->isClosed() ? "] closed" : "] open";
    }
    return text;
}

int randomCaseCount(int ciCount) {
    const char* value = std::getenv("LF_GEOMETRY_RANDOM_CASES");
    int count = value ? std::atoi(value) : 0;
    return count > 0 ? count : ciCount;
}

}  // namespace geometry_test
