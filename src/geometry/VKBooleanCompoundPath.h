#pragma once
// VKBooleanCompoundPath: a compound path as the exact boolean operation
// works on it: every path closed (an open path gains a line back to its
// start), segments whose four points coincide dropped, and paths with a
// non-finite coordinate (or one beyond +-1e100) left out. The operands and
// the result of an operation reach a VKBooleanDebugger in this form.
//
// Immutable; safe to read from any thread.

#include "geometry/VKBezier.h"
#include "geometry/VKCompoundPath.h"
#include "geometry/VKPath.h"

#include <memory>
#include <vector>

class VKBooleanCompoundPath {
public:
    // One closed path with its segments; `path` holds the same curves as knots.
    struct Contour {
        std::vector<VKPathSegment> segments;
        std::shared_ptr<const VKPath> path;
    };

    explicit VKBooleanCompoundPath(const VKCompoundPath& compoundPath);
    VKBooleanCompoundPath(std::vector<Contour> contours, VKFillRule fillRule);

    const std::vector<Contour>& contours() const { return contours_; }
    VKFillRule fillRule() const { return fillRule_; }
    VKRect bounds() const;
    // The paths as a compound path with the same fill rule.
    std::shared_ptr<VKCompoundPath> compoundPath() const;

    // A closed path with the given segments (each starting where the
    // previous ends); a knot is linked where its control points line up
    // through it.
    static std::shared_ptr<const VKPath> pathWithSegments(
        const std::vector<VKPathSegment>& segments);

private:
    std::vector<Contour> contours_;
    VKFillRule fillRule_;
};
