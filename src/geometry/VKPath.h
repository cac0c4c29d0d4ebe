#pragma once
// Knot paths: a subpath as a list of knots, each an anchor point with an
// incoming and an outgoing control point, open or closed. Segment i runs
// from knot i's anchor through knot i's outgoing and knot i+1's incoming
// control points to knot i+1's anchor; a closed path has a last segment back
// to knot 0.
//
// VKPath is immutable once shared and then safe to read from any thread;
// VKMutablePath is its builder, used by one thread at a time. Paths are
// shared as std::shared_ptr<const VKPath>.

#include "geometry/VKBezier.h"
#include "geometry/VKGeometry.h"
#include "geometry/VKPathConsumer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct VKKnot {
    VKPoint incoming;    // control point of the segment that ends here
    VKPoint point;       // the anchor
    VKPoint outgoing;    // control point of the segment that starts here
    uint8_t linked = 0;  // whether the two control points move together

    // A corner knot: both control points on the anchor.
    static VKKnot corner(VKPoint p) { return {p, p, p, 0}; }

    friend bool operator==(const VKKnot& a, const VKKnot& b) {
        return a.incoming == b.incoming && a.point == b.point && a.outgoing == b.outgoing &&
               a.linked == b.linked;
    }
};

class VKMutablePath;

class VKPath {
public:
    VKPath() = default;
    VKPath(std::vector<VKKnot> knots, bool closed) : knots_(std::move(knots)), closed_(closed) {}
    virtual ~VKPath() = default;

    size_t numberOfKnots() const { return knots_.size(); }
    // The knot at `index`; a default knot when the index is out of range.
    VKKnot knotAtIndex(size_t index) const;
    const std::vector<VKKnot>& knots() const { return knots_; }
    bool isClosed() const { return closed_; }

    // 0 without knots, else the knot count, less one when open.
    size_t numberOfSegments() const;
    // Segment i (see above); a default segment when out of range.
    VKPathSegment segmentAtIndex(size_t index) const;

    // Nothing for a path without segments; else a move to the first start,
    // per segment a line when both control points sit on their end points,
    // else a curve; then close or end.
    void applyToPathConsumer(VKPathConsumer& consumer) const;

    // Whether the sum over segments of (start.x end.y - end.x start.y) is
    // positive: clockwise on a y-down screen. NO without segments.
    bool isClockwise() const;
    // The same path run backwards: knots reversed, each knot's control
    // points swapped, closedness kept.
    std::shared_ptr<VKPath> pathByReversingPath() const;
    // Calls `callback` with the points of the path as line pieces: the first
    // point, then the end of every piece (within `tolerance` of the curves).
    void flattenWithCallback(const std::function<void(VKPoint)>& callback,
                             double tolerance = 0.05) const;
    std::shared_ptr<VKMutablePath> mutableCopy() const;

    // The tight bounds of the curves; the anchor for a one-knot path; null
    // without knots.
    VKRect bounds() const;

protected:
    std::vector<VKKnot> knots_;
    bool closed_ = false;
};

class VKMutablePath : public VKPath {
public:
    VKMutablePath() = default;
    explicit VKMutablePath(size_t capacity) { knots_.reserve(capacity); }
    VKMutablePath(std::vector<VKKnot> knots, bool closed) : VKPath(std::move(knots), closed) {}

    void addKnot(const VKKnot& knot) { knots_.push_back(knot); }
    // Inserts before `index`; an index past the end appends.
    void insertKnot(const VKKnot& knot, size_t index);
    // An index out of range changes nothing.
    void replaceKnotAtIndex(size_t index, const VKKnot& knot);
    void setIsClosed(bool closed) { closed_ = closed; }
};
