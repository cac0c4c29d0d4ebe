#include "geometry/VKPath.h"

#include <algorithm>

VKKnot VKPath::knotAtIndex(size_t index) const {
    return index < knots_.size() ? knots_[index] : VKKnot{};
}

size_t VKPath::numberOfSegments() const {
    if (knots_.empty()) return 0;
    return closed_ ? knots_.size() : knots_.size() - 1;
}

VKPathSegment VKPath::segmentAtIndex(size_t index) const {
    if (index >= numberOfSegments()) return {};
    const VKKnot& from = knots_[index];
    const VKKnot& to = knots_[(index + 1) % knots_.size()];
    return {from.point, from.outgoing, to.incoming, to.point};
}

void VKPath::applyToPathConsumer(VKPathConsumer& consumer) const {
    size_t count = numberOfSegments();
    if (count == 0) return;
    consumer.moveToPoint(knots_[0].point);
    for (size_t i = 0; i < count; ++i)
        VKPathConsumerAddSegment(consumer, segmentAtIndex(i));
    if (closed_)
        consumer.closeSubpath();
    else
        consumer.endSubpath();
}

bool VKPath::isClockwise() const {
    double sum = 0;
    for (size_t i = 0, count = numberOfSegments(); i < count; ++i) {
        VKPathSegment s = segmentAtIndex(i);
        sum += s.start.x * s.end.y - s.end.x * s.start.y;
    }
    return sum > 0;
}

std::shared_ptr<VKPath> VKPath::pathByReversingPath() const {
    std::vector<VKKnot> reversed(knots_.rbegin(), knots_.rend());
    for (VKKnot& knot : reversed)
        std::swap(knot.incoming, knot.outgoing);
    return std::make_shared<VKPath>(std::move(reversed), closed_);
}

void VKPath::flattenWithCallback(const std::function<void(VKPoint)>& callback,
                                 double tolerance) const {
    size_t count = numberOfSegments();
    if (count == 0) return;
    callback(knots_[0].point);
    std::vector<VKPoint> points;
    for (size_t i = 0; i < count; ++i) {
        points.clear();
        VKBezierFlattenAppend(segmentAtIndex(i), tolerance, points);
        for (VKPoint p : points)
            callback(p);
    }
}

std::shared_ptr<VKMutablePath> VKPath::mutableCopy() const {
    return std::make_shared<VKMutablePath>(knots_, closed_);
}

VKRect VKPath::bounds() const {
    if (knots_.empty()) return VKRectNull;
    VKRect result = VKRectMake(knots_[0].point.x, knots_[0].point.y, 0, 0);
    for (size_t i = 0, count = numberOfSegments(); i < count; ++i)
        result = VKRectUnion(result, VKBezierBounds(segmentAtIndex(i)));
    return result;
}

void VKMutablePath::insertKnot(const VKKnot& knot, size_t index) {
    knots_.insert(knots_.begin() + static_cast<std::ptrdiff_t>(std::min(index, knots_.size())),
                  knot);
}

void VKMutablePath::replaceKnotAtIndex(size_t index, const VKKnot& knot) {
    if (index < knots_.size()) knots_[index] = knot;
}
