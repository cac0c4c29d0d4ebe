// Stage 5 of the exact boolean operation (VKExactBooleanOperation.h): kept
// runs that are whole paths copied, the other kept edges traced into closed
// paths, and what the debugger is told about the meeting points.

#include "geometry/VKExactBooleanOperation.h"
#include "geometry/VKGeometryStrings.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

unsigned VKExactBooleanOperation::traceFlags(int arriving, int leaving) const {
    unsigned flags = 0;
    const Group& next = groups_[leaving];
    int operand = edges_[next.representative].source.operand;
    if (next.has[kOperandA] && next.has[kOperandB]) flags |= VKBooleanFlagCoincident;
    if (operand == kOperandA)
        flags |= VKBooleanFlagFollowsA | (next.direction < 0 ? VKBooleanFlagReversedA : 0u);
    else
        flags |= VKBooleanFlagFollowsB | (next.direction < 0 ? VKBooleanFlagReversedB : 0u);
    if (arriving >= 0 && edges_[groups_[arriving].representative].source.operand == kOperandA &&
        operand == kOperandB)
        flags |= VKBooleanFlagAToB;
    return flags;
}

void VKExactBooleanOperation::reportIntersections() {
    for (int v = 0; v < int(vertices_.size()); ++v) {
        if (!isJunction(v) || incidences_[v].empty()) continue;
        int arriving = -1, leaving = -1;
        unsigned flags = 0;
        VKBooleanDebuggerUserInfo info;
        for (int g : incidences_[v]) {
            const Group& group = groups_[g];
            if (group.has[kOperandA] && group.has[kOperandB]) flags |= VKBooleanFlagCoincident;
            if (group.direction != 0 && toVertex(g, group.direction) == v) arriving = g;
            if (group.direction != 0 && fromVertex(g, group.direction) == v && leaving < 0)
                leaving = g;
            if (group.has[kOperandA] == group.has[kOperandB]) continue;
            const char* key =
                group.has[kOperandA]
                    ? (group.insideOther ? VKBooleanDebuggerIntersectionSegmentAInsideKey
                                         : VKBooleanDebuggerIntersectionSegmentAOutsideKey)
                    : (group.insideOther ? VKBooleanDebuggerIntersectionSegmentBInsideKey
                                         : VKBooleanDebuggerIntersectionSegmentBOutsideKey);
            info.emplace(key, NSStringFromVKPathSegment(edges_[group.representative].shape.curve));
        }
        if (leaving >= 0) flags |= traceFlags(arriving, leaving);
        debugger_->didFindIntersectionPoint(vertices_[v], flags, info);
    }
}

// Kept runs that are one whole path, met by nothing else, are copied as
// they are (turned round when needed).
void VKExactBooleanOperation::copyVerbatimPaths() {
    for (const Chain& chain : chains_) {
        if (!chain.cycle) continue;
        const Group& first = groups_[chain.groups[0].first];
        if (first.direction == 0) continue;
        const Source& source = edges_[first.representative].source;
        bool onePath = std::all_of(chain.groups.begin(), chain.groups.end(), [&](auto entry) {
            const Source& s = edges_[groups_[entry.first].representative].source;
            return s.operand == source.operand && s.contour == source.contour;
        });
        if (!onePath) continue;
        const auto& contour = operands_[source.operand]->contours()[source.contour];
        bool reversed = first.direction < 0;
        VKBooleanCompoundPath::Contour copy = contour;
        if (reversed) {
            std::reverse(copy.segments.begin(), copy.segments.end());
            for (VKPathSegment& s : copy.segments)
                s = VKBezierReversed(s);
            copy.path = contour.path->pathByReversingPath();
        }
        for (auto entry : chain.groups)
            groups_[entry.first].verbatim = true;
        if (debugger_) {
            unsigned flags = source.operand == kOperandA ? VKBooleanFlagOperandA : 0u;
            if (reversed)
                flags |=
                    source.operand == kOperandA ? VKBooleanFlagReversedA : VKBooleanFlagReversedB;
            debugger_->didAddVerbatimPath(copy.path, flags);
        }
        result_.push_back(std::move(copy));
    }
}

VKPathSegment VKExactBooleanOperation::directedCurve(int group) const {
    const VKPathSegment& c = edges_[groups_[group].representative].shape.curve;
    return groups_[group].direction > 0 ? c : VKBezierReversed(c);
}

VKPathSegment VKExactBooleanOperation::finishRun(const Run& run) const {
    if (run.isLine) return VKPathSegmentMakeLine(run.start, run.end);
    VKPathSegment s = VKBezierSubsegment(originalSegment(run.source), run.source.t0, run.source.t1);
    s.start = run.start;
    s.end = run.end;
    return s;
}

void VKExactBooleanOperation::traceRemainingEdges() {
    std::vector<std::vector<int>> outgoing(vertices_.size());
    std::vector<int> starts;
    for (int g = 0; g < int(groups_.size()); ++g) {
        if (groups_[g].direction == 0 || groups_[g].verbatim) continue;
        int from = fromVertex(g, groups_[g].direction);
        outgoing[from].push_back(g);
        starts.push_back(g);
    }
    // Start at junctions, so that every traced path begins at a meeting point.
    std::stable_partition(starts.begin(), starts.end(),
                          [&](int g) { return isJunction(fromVertex(g, groups_[g].direction)); });
    std::vector<bool> used(groups_.size(), false);
    for (int start : starts)
        if (!used[start]) traceFrom(start, outgoing, used);
}

int VKExactBooleanOperation::nextGroup(int arriving, int vertex,
                                       const std::vector<std::vector<int>>& outgoing,
                                       const std::vector<bool>& used) const {
    VKPoint back = VKBezierTangentAt(directedCurve(arriving), 1) * -1.0;
    double backAngle = std::atan2(back.y, back.x);
    int best = -1;
    double bestTurn = INFINITY;
    for (int g : outgoing[vertex]) {
        if (used[g]) continue;
        VKPoint out = VKBezierTangentAt(directedCurve(g), 0);
        // The clockwise angle from the way back to the way out, in (0, 2 pi].
        double turn = backAngle - std::atan2(out.y, out.x);
        while (turn <= 0)
            turn += 2 * std::numbers::pi;
        while (turn > 2 * std::numbers::pi)
            turn -= 2 * std::numbers::pi;
        if (turn < bestTurn) bestTurn = turn, best = g;
    }
    return best;
}

void VKExactBooleanOperation::traceFrom(int start, const std::vector<std::vector<int>>& outgoing,
                                        std::vector<bool>& used) {
    if (debugger_) debugger_->willBeginTracingPath();
    int startVertex = fromVertex(start, groups_[start].direction);
    std::vector<VKPathSegment> segments;
    std::optional<Run> run;
    auto flush = [&] {
        if (!run) return;
        segments.push_back(finishRun(*run));
        if (debugger_) debugger_->didTracePathSegment(segments.back());
        run.reset();
    };
    int group = start, arriving = -1, vertex = startVertex;
    bool closed = false;
    while (group >= 0) {
        if (debugger_ && isJunction(vertex))
            debugger_->willTraceFromIntersectionPoint(vertices_[vertex],
                                                      traceFlags(arriving, group));
        used[group] = true;
        const Group& g = groups_[group];
        const Edge& r = edges_[g.representative];
        Source source = r.source;
        if (g.direction < 0) std::swap(source.t0, source.t1);
        int to = toVertex(group, g.direction);
        bool continues = run && !isJunction(vertex) && run->source.operand == source.operand &&
                         run->source.contour == source.contour &&
                         run->source.segment == source.segment && run->source.t1 == source.t0;
        if (continues) {
            run->source.t1 = source.t1;
        } else {
            flush();
            run = Run{source, r.shape.isLine, vertices_[vertex], {}, -1};
        }
        run->end = vertices_[to];
        run->endVertex = to;
        if (to == startVertex) {
            closed = true;
            break;
        }
        arriving = group;
        vertex = to;
        group = nextGroup(arriving, vertex, outgoing, used);
    }
    flush();
    // A trace that ends short of its start, where classification near a
    // contact was inconsistent, is closed when the gap is negligible and
    // dropped otherwise.
    if (!closed && !segments.empty() &&
        VKDistance(segments.back().end, segments.front().start) <= 1e-4 * extent_) {
        segments.push_back(VKPathSegmentMakeLine(segments.back().end, segments.front().start));
        if (debugger_) debugger_->didTracePathSegment(segments.back());
        closed = true;
    }
    if (!closed || segments.empty()) return;
    auto path = VKBooleanCompoundPath::pathWithSegments(segments);
    if (debugger_) debugger_->didAddTracedPath(path);
    result_.push_back({std::move(segments), std::move(path)});
}
