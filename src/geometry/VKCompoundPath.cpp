#include "geometry/VKCompoundPath.h"

#include "geometry/VKBooleanOperation.h"

namespace {

using Polygon = std::vector<VKPoint>;

// The winding number of the closed polygon around `p`: +1 inside a
// polygon that runs clockwise on a y-down screen (positive chord area).
int windingNumber(const Polygon& polygon, VKPoint p) {
    int winding = 0;
    for (size_t i = 0, n = polygon.size(); i < n; ++i) {
        VKPoint a = polygon[i], b = polygon[(i + 1) % n];
        double side = (b.x - a.x) * (p.y - a.y) - (p.x - a.x) * (b.y - a.y);
        if (a.y <= p.y) {
            if (b.y > p.y && side > 0) ++winding;
        } else if (b.y <= p.y && side < 0) {
            --winding;
        }
    }
    return winding;
}

}  // namespace

bool VKFillRuleFills(VKFillRule fillRule, int winding) {
    return fillRule == VKFillRuleNonZero ? winding != 0 : (winding % 2) != 0;
}

VKRect VKCompoundPath::bounds() const {
    VKRect result = VKRectNull;
    for (const auto& path : paths_)
        if (path) result = VKRectUnion(result, path->bounds());
    return result;
}

std::shared_ptr<VKCompoundPath> VKCompoundPath::compoundPathByPerformingOperation(
    VKBooleanOperation operation, const VKCompoundPath& other, VKBooleanDebugger* debugger) const {
    return VKPerformBooleanOperation(*this, operation, other, debugger);
}

std::shared_ptr<VKCompoundPath> VKCompoundPath::compoundPathByPerformingOperation(
    VKBooleanOperation operation, const VKCompoundPath& other,
    std::shared_ptr<VKBooleanDebugger> debugger) const {
    return VKPerformBooleanOperation(*this, operation, other, debugger.get());
}

void VKCompoundPath::applyToPathConsumer(VKPathConsumer& consumer) const {
    for (const auto& path : paths_)
        if (path) path->applyToPathConsumer(consumer);
}

std::vector<bool> VKCompoundPath::holes() const {
    constexpr double kTolerance = 0.01;
    std::vector<Polygon> polygons(paths_.size());
    for (size_t i = 0; i < paths_.size(); ++i)
        if (paths_[i])
            paths_[i]->flattenWithCallback([&](VKPoint p) { polygons[i].push_back(p); },
                                           kTolerance);

    std::vector<bool> holes(paths_.size(), false);
    for (size_t i = 0; i < paths_.size(); ++i) {
        const auto& path = paths_[i];
        if (!path || !path->isClosed()) continue;
        int own = path->isClockwise() ? 1 : -1;
        for (size_t j = 0, count = path->numberOfSegments(); j < count; ++j) {
            VKPathSegment segment = path->segmentAtIndex(j);
            if (VKBezierIsPoint(segment)) continue;
            VKPoint p = VKBezierPointAt(segment, 0.5);
            int others = 0;
            for (size_t k = 0; k < polygons.size(); ++k)
                if (k != i) others += windingNumber(polygons[k], p);
            bool enclosedSide = VKFillRuleFills(fillRule_, others + own);
            bool otherSide = VKFillRuleFills(fillRule_, others);
            if (enclosedSide == otherSide) continue;
            holes[i] = otherSide;
            break;
        }
    }
    return holes;
}
