#include "compositing/content/QFPSDStrokePathFixer.h"

#include "geometry/VKBezier.h"

#include <limits>

namespace {

// The lowest point of the path (greatest y), found on the flattened
// segments that can reach it.
VKPoint lowestPoint(const VKPath& path) {
    VKPoint lowest = path.knotAtIndex(0).point;
    for (size_t i = 0; i < path.numberOfSegments(); ++i) {
        VKPathSegment segment = path.segmentAtIndex(i);
        if (segment.start.y < lowest.y && segment.controlPoint1.y < lowest.y &&
            segment.controlPoint2.y < lowest.y && segment.end.y < lowest.y)
            continue;
        // A straight segment is its own flattening: evaluating it as a
        // curve gives points a rounding error below its ends, which would
        // start the dashes beside a rectangle's corner.
        if (VKBezierIsLine(segment)) {
            if (segment.start.y > lowest.y) lowest = segment.start;
            if (segment.end.y > lowest.y) lowest = segment.end;
            continue;
        }
        VKBezierFlatten(segment, 0.001, [&](double x0, double y0, double x1, double y1) {
            if (y0 > lowest.y) lowest = VKPointMake(x0, y0);
            if (y1 > lowest.y) lowest = VKPointMake(x1, y1);
        });
    }
    return lowest;
}

// The closed path's knots from `first` on, wrapping round.
std::shared_ptr<VKPath> rotated(const std::vector<VKKnot>& knots, size_t first) {
    std::vector<VKKnot> reordered(knots.begin() + first, knots.end());
    reordered.insert(reordered.end(), knots.begin(), knots.begin() + first);
    return std::make_shared<VKMutablePath>(std::move(reordered), true);
}

}  // namespace

std::shared_ptr<VKPath> QFPathStartingAtLowestPoint(std::shared_ptr<VKPath> path) {
    if (path->numberOfKnots() == 0) return path;
    VKPoint lowest = lowestPoint(*path);
    const std::vector<VKKnot>& knots = path->knots();
    for (size_t i = 0; i < knots.size(); ++i)
        if (knots[i].point == lowest) return i == 0 ? path : rotated(knots, i);

    // The lowest point lies inside a segment: split the nearest segment
    // there and start at the new knot.
    size_t segments = path->numberOfSegments();
    if (segments == 0) return path;
    size_t nearest = 0;
    double nearestT = 0, nearestDistance = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < segments; ++i) {
        double t = 0;
        VKPoint p = VKBezierNearestPoint(path->segmentAtIndex(i), lowest, &t);
        double dx = p.x - lowest.x, dy = p.y - lowest.y, distance = dx * dx + dy * dy;
        if (distance < nearestDistance) {
            nearestDistance = distance;
            nearest = i;
            nearestT = t;
        }
    }
    VKPathSegment left, right;
    VKBezierSplit(path->segmentAtIndex(nearest), nearestT, &left, &right);
    std::vector<VKKnot> split = knots;
    size_t following = nearest + 1 < split.size() ? nearest + 1 : 0;
    split[nearest].outgoing = left.controlPoint1;
    split[following].incoming = right.controlPoint2;
    VKKnot inserted{left.controlPoint2, left.end, right.controlPoint1, 1};
    // Inserted before the following knot (after the last one when that is
    // knot 0), then made the first knot.
    size_t insertAt = nearest + 1;
    split.insert(split.begin() + static_cast<std::ptrdiff_t>(insertAt), inserted);
    return rotated(split, insertAt);
}

QFPSDStrokePathFixer::QFPSDStrokePathFixer(std::shared_ptr<VKPathConsumer> consumer,
                                           const VKStrokeStyle& style)
    : consumer_(std::move(consumer)),
      isCenteredStroke_(style.position() == VKStrokePositionCentered),
      hasDash_(!style.dashPattern().empty()) {}

void QFPSDStrokePathFixer::moveToPoint(VKPoint point) {
    if (currentPath_) processPath(std::move(currentPath_));
    currentPath_ = std::make_shared<VKMutablePath>(10);
    currentPath_->addKnot(VKKnot::corner(point));
}

void QFPSDStrokePathFixer::lineToPoint(VKPoint point) {
    if (currentPath_) currentPath_->addKnot(VKKnot::corner(point));
}

void QFPSDStrokePathFixer::curveToPoint(VKPoint point, VKPoint controlPoint1,
                                        VKPoint controlPoint2) {
    if (!currentPath_ || currentPath_->numberOfKnots() == 0) return;
    size_t last = currentPath_->numberOfKnots() - 1;
    VKKnot knot = currentPath_->knotAtIndex(last);
    knot.outgoing = controlPoint1;
    currentPath_->replaceKnotAtIndex(last, knot);
    currentPath_->addKnot({controlPoint2, point, point, 0});
}

void QFPSDStrokePathFixer::quadCurveToPoint(VKPoint point, VKPoint controlPoint) {
    if (!currentPath_ || currentPath_->numberOfKnots() == 0) return;
    VKPoint from = currentPath_->knotAtIndex(currentPath_->numberOfKnots() - 1).point;
    VKPoint controlPoint1, controlPoint2;
    VKQuadraticToCubic(from, controlPoint, point, &controlPoint1, &controlPoint2);
    curveToPoint(point, controlPoint1, controlPoint2);
}

void QFPSDStrokePathFixer::closeSubpath() {
    if (currentPath_ && currentPath_->numberOfKnots() > 0) {
        // Producers send the segment back to the start before closing; its
        // end knot repeats the first one and would leave a segment of no
        // length in the closed path.
        size_t count = currentPath_->numberOfKnots();
        VKKnot first = currentPath_->knotAtIndex(0), last = currentPath_->knotAtIndex(count - 1);
        if (count > 1 && last.point == first.point && last.outgoing == last.point) {
            first.incoming = last.incoming;
            currentPath_ = std::make_shared<VKMutablePath>(
                std::vector<VKKnot>(currentPath_->knots().begin(), currentPath_->knots().end() - 1),
                true);
            currentPath_->replaceKnotAtIndex(0, first);
        }
        currentPath_->setIsClosed(true);
        processPath(std::move(currentPath_));
    }
    currentPath_.reset();
}

void QFPSDStrokePathFixer::endSubpath() {
    if (currentPath_ && currentPath_->numberOfKnots() > 0) processPath(std::move(currentPath_));
    currentPath_.reset();
}

void QFPSDStrokePathFixer::processPath(std::shared_ptr<VKPath> path) {
    // The stroker keeps a one-sided stroke on the same side of a closed
    // outline whichever way it runs, and the dashes run the outline's own
    // way, as Photoshop's follow the stored knots. Where they start is
    // found on the outline read clockwise.
    if (path->isClosed() && !isCenteredStroke_ && hasDash_) {
        if (path->isClockwise()) {
            path = QFPathStartingAtLowestPoint(std::move(path));
        } else {
            auto started = QFPathStartingAtLowestPoint(path->pathByReversingPath());
            // Back the stored way round, from the same start (now last).
            auto back = started->pathByReversingPath();
            path = rotated(back->knots(), back->numberOfKnots() - 1);
        }
    }
    path->applyToPathConsumer(*consumer_);
}
