#pragma once
// VKCompoundPath: knot paths filled together under one fill rule, 0
// non-zero or 1 even-odd (any other value reads as even-odd). The shape
// that the render graph rasterises and the operand of the exact boolean
// operations.
//
// Immutable; shared as std::shared_ptr<const VKCompoundPath> and safe to
// read from any thread.

#include "geometry/VKGeometry.h"
#include "geometry/VKPath.h"
#include "geometry/VKPathConsumer.h"

#include <memory>
#include <vector>

class VKBooleanDebugger;

enum VKFillRule : int { VKFillRuleNonZero = 0, VKFillRuleEvenOdd = 1 };

// Whether a point that the paths wind around `winding` times is filled.
bool VKFillRuleFills(VKFillRule fillRule, int winding);

// Operation numbers shared by the boolean operations and the rasteriser.
enum VKBooleanOperation : int {
    VKBooleanOperationAdd = 0,
    VKBooleanOperationSubtract = 1,
    VKBooleanOperationIntersect = 2,
    VKBooleanOperationExclude = 3,
};

class VKCompoundPath {
public:
    using PathList = std::vector<std::shared_ptr<const VKPath>>;

    explicit VKCompoundPath(PathList paths = {}, VKFillRule fillRule = VKFillRuleNonZero)
        : paths_(std::move(paths)), fillRule_(fillRule) {}

    const PathList& paths() const { return paths_; }
    VKFillRule fillRule() const { return fillRule_; }
    // The union of the paths' bounds; null when there is none.
    VKRect bounds() const;

    // The exact boolean result of this path (A) and `other` (B) for
    // `operation` (0 add, 1 subtract B from A, 2 intersect, 3 exclude): the
    // curves are intersected numerically, split there and the pieces on the
    // result's boundary traced into closed paths that keep their curves.
    // The result has the non-zero rule, its outer paths clockwise (on a
    // y-down screen) and its holes counter-clockwise, and covers every point
    // at most once. Open paths count as closed by a line; paths with a
    // non-finite coordinate (or one beyond +-1e100) are left out; an unknown
    // operation gives an empty result.
    //
    // With a debugger, every stage is reported to it on the calling thread
    // and each call is waited for; no lock is held meanwhile, and the result
    // is the same as without.
    std::shared_ptr<VKCompoundPath> compoundPathByPerformingOperation(
        VKBooleanOperation operation, const VKCompoundPath& other,
        VKBooleanDebugger* debugger = nullptr) const;
    // The same with a shared debugger, which the operation holds until it
    // returns: its owner (a window the developer may close) can let it go
    // while the operation still calls it.
    std::shared_ptr<VKCompoundPath> compoundPathByPerformingOperation(
        VKBooleanOperation operation, const VKCompoundPath& other,
        std::shared_ptr<VKBooleanDebugger> debugger) const;

    // Sends each path to the consumer in order.
    void applyToPathConsumer(VKPathConsumer& consumer) const;

    // For each path, whether it is a hole of the filled shape: a closed path
    // with the shape empty on the side it encloses (the side its chord
    // polygon's direction marks, as VKPath::isClockwise reads it) and
    // filled on the other. Open paths are not holes, nor are paths with the
    // shape on both sides or neither (where other paths overlap them).
    // Judged at the middle of the path's segments, against the other paths
    // flattened within 1/100 of a unit.
    std::vector<bool> holes() const;

private:
    PathList paths_;
    VKFillRule fillRule_;
};
