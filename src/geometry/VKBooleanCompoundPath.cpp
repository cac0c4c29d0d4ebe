#include "geometry/VKBooleanCompoundPath.h"

#include <cmath>

namespace {

// Coordinates beyond this are treated like infinite ones: squared distances
// of them would overflow.
constexpr double kLargestCoordinate = 1e100;

bool usablePoint(VKPoint p) {
    return std::fabs(p.x) <= kLargestCoordinate && std::fabs(p.y) <= kLargestCoordinate;
}

bool usablePath(const VKPath& path) {
    for (const VKKnot& k : path.knots())
        if (!usablePoint(k.incoming) || !usablePoint(k.point) || !usablePoint(k.outgoing))
            return false;
    return true;
}

}  // namespace

VKBooleanCompoundPath::VKBooleanCompoundPath(const VKCompoundPath& compoundPath)
    : fillRule_(compoundPath.fillRule()) {
    for (const auto& path : compoundPath.paths()) {
        if (!path || path->numberOfKnots() == 0 || !usablePath(*path)) continue;
        Contour contour;
        size_t count = path->numberOfSegments();
        bool unchanged = path->isClosed();
        for (size_t i = 0; i < count; ++i) {
            VKPathSegment s = path->segmentAtIndex(i);
            if (VKBezierIsPoint(s))
                unchanged = false;
            else
                contour.segments.push_back(s);
        }
        if (!path->isClosed()) {
            VKPoint last = path->knots().back().point, first = path->knots().front().point;
            if (!(last == first)) contour.segments.push_back(VKPathSegmentMakeLine(last, first));
        }
        if (contour.segments.empty()) continue;
        contour.path = unchanged ? path : pathWithSegments(contour.segments);
        contours_.push_back(std::move(contour));
    }
}

VKBooleanCompoundPath::VKBooleanCompoundPath(std::vector<Contour> contours, VKFillRule fillRule)
    : contours_(std::move(contours)), fillRule_(fillRule) {}

VKRect VKBooleanCompoundPath::bounds() const {
    VKRect result = VKRectNull;
    for (const Contour& c : contours_)
        result = VKRectUnion(result, c.path->bounds());
    return result;
}

std::shared_ptr<VKCompoundPath> VKBooleanCompoundPath::compoundPath() const {
    VKCompoundPath::PathList paths;
    paths.reserve(contours_.size());
    for (const Contour& c : contours_)
        paths.push_back(c.path);
    return std::make_shared<VKCompoundPath>(std::move(paths), fillRule_);
}

std::shared_ptr<const VKPath> VKBooleanCompoundPath::pathWithSegments(
    const std::vector<VKPathSegment>& segments) {
    std::vector<VKKnot> knots;
    knots.reserve(segments.size());
    for (size_t i = 0; i < segments.size(); ++i) {
        const VKPathSegment& previous = segments[(i + segments.size() - 1) % segments.size()];
        VKKnot knot{previous.controlPoint2, segments[i].start, segments[i].controlPoint1, 0};
        VKPoint in = knot.point - knot.incoming, out = knot.outgoing - knot.point;
        double lengths = VKLength(in) * VKLength(out);
        knot.linked =
            lengths > 0 && VKDot(in, out) > 0 && std::fabs(VKCross(in, out)) <= 1e-9 * lengths;
        knots.push_back(knot);
    }
    return std::make_shared<VKPath>(std::move(knots), true);
}
