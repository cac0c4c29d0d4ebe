#pragma once
// VKBooleanDebugger: an observer of the exact boolean operation, for a
// developer who watches it step by step. The operation calls the debugger
// on its own thread, stage by stage, and waits for each call to return; it
// holds no lock meanwhile, so a debugger may block the calling thread for as
// long as it likes (until the developer asks for the next step). The result
// does not depend on whether a debugger watches.
//
// Stages, in order:
//   willPerformOperation                      once
//   didFindIntersectionPoint                  once per point where curves meet
//   didAddVerbatimPath                        once per path copied unchanged
//   for every traced path:
//     willBeginTracingPath
//     willTraceFromIntersectionPoint / didTracePathSegment, as the trace
//       leaves meeting points and walks segments
//     didAddTracedPath
//   didPerformOperationWithResult             once

#include "geometry/VKBezier.h"
#include "geometry/VKCompoundPath.h"
#include "geometry/VKGeometry.h"
#include "geometry/VKPath.h"

#include <map>
#include <memory>
#include <string>

class VKBooleanCompoundPath;

// Flags passed with paths and points. A point's flags describe how the
// result's outline passes through it, a verbatim path's flags where it came
// from.
enum : unsigned {
    // The verbatim path is a path of operand A (else of operand B).
    VKBooleanFlagOperandA = 1,
    // The trace leaves the point along a curve of operand A ...
    VKBooleanFlagFollowsA = 2,
    // ... against that curve's own direction (the verbatim path is reversed).
    VKBooleanFlagReversedA = 4,
    // The trace leaves the point along a curve of operand B ...
    VKBooleanFlagFollowsB = 8,
    // ... against that curve's own direction (the verbatim path is reversed).
    VKBooleanFlagReversedB = 16,
    // The outline arrives along operand A and leaves along operand B; without
    // this flag it switches from B to A, or stays on one operand.
    VKBooleanFlagAToB = 32,
    // The two operands run together along a shared curve at this point.
    VKBooleanFlagCoincident = 64,
};

// Keys of the dictionary given with an intersection point: the text
// (NSStringFromVKPathSegment) of a piece of operand A or B that meets the
// point and lies inside, or outside, the other operand. A key is missing
// when no such piece meets the point.
inline constexpr const char* VKBooleanDebuggerIntersectionSegmentAInsideKey =
    "VKBooleanDebuggerIntersectionSegmentAInside";
inline constexpr const char* VKBooleanDebuggerIntersectionSegmentAOutsideKey =
    "VKBooleanDebuggerIntersectionSegmentAOutside";
inline constexpr const char* VKBooleanDebuggerIntersectionSegmentBInsideKey =
    "VKBooleanDebuggerIntersectionSegmentBInside";
inline constexpr const char* VKBooleanDebuggerIntersectionSegmentBOutsideKey =
    "VKBooleanDebuggerIntersectionSegmentBOutside";

using VKBooleanDebuggerUserInfo = std::map<std::string, std::string>;

class VKBooleanDebugger {
public:
    virtual ~VKBooleanDebugger() = default;

    // `operation` as given to the operation (0 add, 1 subtract, 2 intersect,
    // 3 exclude, or any other value it was called with); the operands as
    // prepared for it; `bounds` the union of their bounds.
    virtual void willPerformOperation(VKBooleanOperation operation,
                                      std::shared_ptr<const VKBooleanCompoundPath> booleanPathA,
                                      std::shared_ptr<const VKBooleanCompoundPath> booleanPathB,
                                      VKRect bounds) = 0;
    virtual void didPerformOperationWithResult(
        std::shared_ptr<const VKBooleanCompoundPath> result) = 0;
    virtual void didAddVerbatimPath(std::shared_ptr<const VKPath> path, unsigned flags) = 0;
    virtual void didFindIntersectionPoint(VKPoint point, unsigned flags,
                                          const VKBooleanDebuggerUserInfo& userInfo) = 0;
    virtual void willBeginTracingPath() = 0;
    virtual void willTraceFromIntersectionPoint(VKPoint point, unsigned flags) = 0;
    virtual void didTracePathSegment(const VKPathSegment& segment) = 0;
    virtual void didAddTracedPath(std::shared_ptr<const VKPath> path) = 0;
};
