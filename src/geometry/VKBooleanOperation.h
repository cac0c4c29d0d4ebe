#pragma once
// The exact boolean operation on compound paths of cubic Bezier curves,
// behind VKCompoundPath::compoundPathByPerformingOperation.
//
// How it works:
// 1. Both operands are prepared (VKBooleanCompoundPath) and every segment is
//    cut at its x and y extrema into monotone pieces.
// 2. Every pair of pieces whose boxes overlap is intersected (numerically,
//    refined by Newton's method); pieces that run together are recognised
//    and only the ends of the shared stretch are kept. Points closer than
//    1e-9 of the operands' size become one vertex; meeting points, which
//    scatter where curves touch, join points within 1e-6 of that size.
// 3. The pieces are split at the vertices into edges; edges that join the
//    same two vertices along the same curve are merged into one, carrying
//    the winding changes of all of them.
// 4. Runs of edges between vertices where only two edges meet share the
//    winding numbers on either side, so one ray cast per run (against all
//    edges, in bands) gives both operands' winding numbers left and right of
//    it. An edge belongs to the result's boundary when the operation's truth
//    value differs between its two sides; it is turned so that the result
//    lies on its left.
// 5. Runs that are whole, untouched paths are copied verbatim. The other
//    kept edges are traced into closed paths, taking at each vertex the
//    first edge clockwise from the way back, and consecutive edges of one
//    original segment become one segment again.
// Work is bounded everywhere (subdivision depth and count, iteration counts),
// so no input makes it hang; a trace that ends short of its start (an
// inconsistency near a contact) is closed when the gap is below 1e-4 of the
// operands' size and dropped otherwise.
//
// Pure function of its inputs; safe to run on many threads at once.
// Each stage has a file of its own (VKExactBooleanOperation.h lists them).

#include "geometry/VKCompoundPath.h"

#include <memory>

class VKBooleanDebugger;

std::shared_ptr<VKCompoundPath> VKPerformBooleanOperation(const VKCompoundPath& a,
                                                          VKBooleanOperation operation,
                                                          const VKCompoundPath& b,
                                                          VKBooleanDebugger* debugger);
