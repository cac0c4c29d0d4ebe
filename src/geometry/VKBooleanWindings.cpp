// Stage 4 of the exact boolean operation (VKExactBooleanOperation.h): runs of
// groups between junctions, one ray cast per run for both operands' winding
// numbers on either side, and which way each kept run is turned.

#include "geometry/VKExactBooleanOperation.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace {

// The other coordinate where a monotone piece passes `value` on one axis
// (x at a given y when `atY`).
double crossingOf(const VKCurvePiece& piece, double value, bool atY) {
    const VKPathSegment& c = piece.curve;
    double v0 = atY ? c.start.y : c.start.x, v1 = atY ? c.end.y : c.end.x;
    if (piece.isLine) {
        double u = (value - v0) / (v1 - v0);
        VKPoint p = c.start + (c.end - c.start) * u;
        return atY ? p.x : p.y;
    }
    double lo = 0, hi = 1;
    bool rising = v1 > v0;
    for (int i = 0; i < 60 && hi - lo > 1e-16; ++i) {
        double mid = (lo + hi) / 2;
        VKPoint p = VKBezierPointAt(c, mid);
        ((atY ? p.y : p.x) > value) == rising ? hi = mid : lo = mid;
    }
    VKPoint p = VKBezierPointAt(c, (lo + hi) / 2);
    return atY ? p.x : p.y;
}

bool operationResult(VKBooleanOperation operation, bool inA, bool inB) {
    switch (operation) {
        case VKBooleanOperationAdd:
            return inA || inB;
        case VKBooleanOperationSubtract:
            return inA && !inB;
        case VKBooleanOperationIntersect:
            return inA && inB;
        case VKBooleanOperationExclude:
            return inA != inB;
        default:
            return false;
    }
}

}  // namespace

void VKExactBooleanOperation::Bands::build(const std::vector<Edge>& edges, bool alongY) {
    lo_ = INFINITY;
    double hi = -INFINITY;
    for (const Edge& e : edges) {
        lo_ = std::min(lo_, alongY ? e.shape.minY : e.shape.minX);
        hi = std::max(hi, alongY ? e.shape.maxY : e.shape.maxX);
    }
    size_t count =
        std::clamp<size_t>(static_cast<size_t>(std::sqrt(double(edges.size()))), 1, 1024);
    bands_.assign(count, {});
    scale_ = hi > lo_ ? double(count) / (hi - lo_) : 0;
    for (size_t i = 0; i < edges.size(); ++i) {
        const VKCurvePiece& s = edges[i].shape;
        size_t first = band(alongY ? s.minY : s.minX), last = band(alongY ? s.maxY : s.maxX);
        for (size_t b = first; b <= last; ++b)
            bands_[b].push_back(static_cast<int>(i));
    }
}

size_t VKExactBooleanOperation::Bands::band(double coordinate) const {
    double b = (coordinate - lo_) * scale_;
    if (!(b > 0)) return 0;  // also NaN, when there are no edges
    return static_cast<size_t>(std::min(b, double(bands_.size() - 1)));
}

// Runs of groups through vertices where exactly two groups meet.
void VKExactBooleanOperation::buildChains() {
    for (int g = 0; g < int(groups_.size()); ++g) {
        if (groups_[g].chain >= 0) continue;
        int id = static_cast<int>(chains_.size());
        std::deque<std::pair<int, int>> run{{g, 1}};
        groups_[g].chain = id;
        bool cycle = false;
        for (int way : {1, -1}) {
            int previous = g;
            int vertex = way > 0 ? toVertex(g, 1) : fromVertex(g, 1);
            while (!cycle && !isJunction(vertex)) {
                const auto& at = incidences_[vertex];
                int next = at[0] == previous ? at[1] : at[0];
                if (next == g) {
                    cycle = true;
                    break;
                }
                if (groups_[next].chain >= 0) break;
                groups_[next].chain = id;
                const Edge& r = edges_[groups_[next].representative];
                // Forwards the chain leaves `vertex` along `next`; backwards it arrives there.
                int orientation = (r.from == vertex) == (way > 0) ? 1 : -1;
                if (way > 0)
                    run.push_back({next, orientation});
                else
                    run.push_front({next, orientation});
                vertex = (way > 0) == (orientation > 0) ? r.to : r.from;
                previous = next;
            }
            if (cycle) break;
        }
        chains_.push_back({{run.begin(), run.end()}, cycle});
    }
}

// Winding numbers of both operands at `p` from a ray to +x (or +y), not
// counting the edges of `group`.
void VKExactBooleanOperation::windingsFrom(VKPoint p, bool horizontal, int group,
                                           int winding[2]) const {
    winding[0] = winding[1] = 0;
    const Bands& bands = horizontal ? rowBands_ : columnBands_;
    for (int i : bands.at(horizontal ? p.y : p.x)) {
        const Edge& e = edges_[i];
        if (e.group == group) continue;
        const VKPathSegment& c = e.shape.curve;
        double a0 = horizontal ? c.start.y : c.start.x, a1 = horizontal ? c.end.y : c.end.x;
        double along = horizontal ? p.y : p.x, across = horizontal ? p.x : p.y;
        if (!(std::min(a0, a1) <= along && along < std::max(a0, a1))) continue;
        double lo = horizontal ? e.shape.minX : e.shape.minY;
        double hi = horizontal ? e.shape.maxX : e.shape.maxY;
        bool beyond =
            lo > across || (hi > across && crossingOf(e.shape, along, horizontal) > across);
        if (!beyond) continue;
        // A ray to +x counts edges going up; a ray to +y counts edges going left.
        int sign = horizontal ? (a1 > a0 ? 1 : -1) : (a1 > a0 ? -1 : 1);
        winding[e.source.operand] += sign;
    }
}

void VKExactBooleanOperation::classifyChains() {
    rowBands_.build(edges_, true);
    columnBands_.build(edges_, false);
    for (Chain& chain : chains_) {
        // Cast from the middle of the longest representative in the run.
        size_t best = 0;
        double longest = -1;
        for (size_t i = 0; i < chain.groups.size(); ++i) {
            const VKPathSegment& c =
                edges_[groups_[chain.groups[i].first].representative].shape.curve;
            double length = VKDistance(c.start, c.end) + VKDistance(c.start, c.controlPoint1) +
                            VKDistance(c.end, c.controlPoint2);
            if (length > longest) longest = length, best = i;
        }
        auto [g, orientation] = chain.groups[best];
        const Group& group = groups_[g];
        const VKPathSegment& curve = edges_[group.representative].shape.curve;
        VKPoint p = VKBezierPointAt(curve, 0.5);
        VKPoint tangent = VKBezierTangentAt(curve, 0.5);
        bool horizontal = std::fabs(tangent.y) >= std::fabs(tangent.x);
        int plus[2];
        windingsFrom(p, horizontal, g, plus);
        // The ray starts on the representative; the side it leaves from
        // (+x or +y) is its left when the tangent runs down or right.
        bool plusIsLeft = horizontal ? tangent.y < 0 : tangent.x > 0;
        bool inside[2][2];  // [operand][0 left, 1 right] along the representative
        for (int o = 0; o < 2; ++o) {
            int left = plusIsLeft ? plus[o] : plus[o] + group.delta[o];
            int right = left - group.delta[o];
            VKFillRule fillRule = operands_[o]->fillRule();
            inside[o][0] = VKFillRuleFills(fillRule, left);
            inside[o][1] = VKFillRuleFills(fillRule, right);
        }
        bool resultLeft = operationResult(operation_, inside[0][0], inside[1][0]);
        bool resultRight = operationResult(operation_, inside[0][1], inside[1][1]);
        int keep = resultLeft == resultRight ? 0 : (resultLeft ? 1 : -1) * orientation;
        for (auto [h, hOrientation] : chain.groups) {
            Group& member = groups_[h];
            member.direction = keep * hOrientation;
            member.insideOther =
                member.has[kOperandA] ? inside[kOperandB][0] : inside[kOperandA][0];
        }
    }
}
