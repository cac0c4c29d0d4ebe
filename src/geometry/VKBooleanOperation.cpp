#include "geometry/VKBooleanOperation.h"

#include "geometry/VKBooleanCompoundPath.h"
#include "geometry/VKBooleanDebugger.h"
#include "geometry/VKCurveIntersection.h"
#include "geometry/VKGeometryStrings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <numbers>
#include <numeric>
#include <optional>
#include <unordered_map>

namespace {

constexpr int kOperandA = 0;
constexpr int kOperandB = 1;

// Where a point came from; a vertex takes the position of its most original
// point.
enum PointKind { kKnot = 0, kExtremum = 1, kMeeting = 2 };

struct PointRecord {
    VKPoint position;
    PointKind kind;
};

// Which part of which original segment a piece or edge is. For straight
// segments the parameters run linearly along the line.
struct Source {
    int operand = 0;
    int contour = 0;
    int segment = 0;
    double t0 = 0;
    double t1 = 1;

    double at(double u) const { return u <= 0 ? t0 : u >= 1 ? t1 : t0 + u * (t1 - t0); }
};

struct Piece {
    VKCurvePiece shape;
    Source source;
    int startPoint = 0;
    int endPoint = 0;
    std::vector<std::pair<double, int>> splits;  // (parameter, point)
};

struct Edge {
    VKCurvePiece shape;
    Source source;
    int from = 0;
    int to = 0;
    int group = 0;
};

// Edges joining the same two vertices along the same curve, merged.
struct Group {
    int representative = 0;
    std::vector<int> members;
    int delta[2] = {0, 0};  // winding change, left minus right, per operand
    bool has[2] = {false, false};
    int chain = -1;
    int direction = 0;         // +1 or -1 along the representative when kept, else 0
    bool insideOther = false;  // a one-operand group lies inside the other operand
    bool verbatim = false;
};

struct Chain {
    std::vector<std::pair<int, int>> groups;  // (group, orientation)
    bool cycle = false;
};

class UnionFind {
public:
    int add() {
        parent_.push_back(static_cast<int>(parent_.size()));
        return parent_.back();
    }
    int find(int x) {
        while (parent_[x] != x)
            x = parent_[x] = parent_[parent_[x]];
        return x;
    }
    void unite(int a, int b) {
        a = find(a);
        b = find(b);
        if (a != b) parent_[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<int> parent_;
};

// Edges sorted into bands along one axis, for ray casts across that axis.
class Bands {
public:
    void build(const std::vector<Edge>& edges, bool alongY) {
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
    const std::vector<int>& at(double coordinate) const { return bands_[band(coordinate)]; }

private:
    size_t band(double coordinate) const {
        double b = (coordinate - lo_) * scale_;
        if (!(b > 0)) return 0;  // also NaN, when there are no edges
        return static_cast<size_t>(std::min(b, double(bands_.size() - 1)));
    }
    double lo_ = 0, scale_ = 0;
    std::vector<std::vector<int>> bands_;
};

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

bool insideForRule(int fillRule, int winding) {
    return fillRule == VKFillRuleNonZero ? winding != 0 : (winding % 2) != 0;
}

bool operationResult(int operation, bool inA, bool inB) {
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

VKPathSegment linearLine(VKPoint a, VKPoint b) {
    VKPoint d = b - a;
    return {a, a + d * (1.0 / 3.0), a + d * (2.0 / 3.0), b};
}

class BooleanOperation {
public:
    BooleanOperation(const VKCompoundPath& a, int operation, const VKCompoundPath& b,
                     VKBooleanDebugger* debugger)
        : operation_(operation), debugger_(debugger) {
        operands_[kOperandA] = std::make_shared<const VKBooleanCompoundPath>(a);
        operands_[kOperandB] = std::make_shared<const VKBooleanCompoundPath>(b);
    }

    std::shared_ptr<VKCompoundPath> run() {
        if (debugger_)
            debugger_->willPerformOperation(
                operation_, operands_[kOperandA], operands_[kOperandB],
                VKRectUnion(operands_[kOperandA]->bounds(), operands_[kOperandB]->bounds()));
        if (operation_ >= VKBooleanOperationAdd && operation_ <= VKBooleanOperationExclude) {
            chooseTolerances();
            buildPieces();
            findMeetings();
            buildVertices();
            buildEdges();
            groupEdges();
            buildChains();
            classifyChains();
            if (debugger_) reportIntersections();
            copyVerbatimPaths();
            traceRemainingEdges();
        }
        auto result =
            std::make_shared<const VKBooleanCompoundPath>(std::move(result_), VKFillRuleNonZero);
        if (debugger_) debugger_->didPerformOperationWithResult(result);
        return result->compoundPath();
    }

private:
    const VKPathSegment& originalSegment(const Source& s) const {
        return operands_[s.operand]->contours()[s.contour].segments[s.segment];
    }

    int addPoint(VKPoint p, PointKind kind) {
        points_.push_back({p, kind});
        return unionFind_.add();
    }

    void chooseTolerances() {
        double largest = 0;
        VKRect bounds = VKRectNull;
        for (const auto& operand : operands_) {
            bounds = VKRectUnion(bounds, operand->bounds());
            for (const auto& contour : operand->contours())
                for (const VKPathSegment& s : contour.segments)
                    for (size_t i = 0; i < 4; ++i)
                        largest = std::max({largest, std::fabs(s[i].x), std::fabs(s[i].y)});
        }
        double extent = VKRectIsNull(bounds) ? 0 : std::max(bounds.size.width, bounds.size.height);
        // Meeting points within 1e-9 of the operands' size are one vertex;
        // far from the origin the precision of the coordinates sets a floor.
        tolerance_ = std::max({1e-9 * extent, 1e-12 * largest, 1e-300});
        coincidence_ = tolerance_ * 100;
        contactReach_ = std::max(1e-6 * extent, tolerance_);
        extent_ = extent;
    }

    void buildPieces() {
        for (int o = 0; o < 2; ++o) {
            const auto& contours = operands_[o]->contours();
            for (int c = 0; c < int(contours.size()); ++c) {
                const auto& segments = contours[c].segments;
                int firstKnot = static_cast<int>(points_.size());
                for (const VKPathSegment& s : segments)
                    addPoint(s.start, kKnot);
                for (int k = 0; k < int(segments.size()); ++k) {
                    int startId = firstKnot + k;
                    int endId = firstKnot + (k + 1) % int(segments.size());
                    addSegmentPieces(segments[k], {o, c, k, 0, 1}, startId, endId);
                }
            }
        }
    }

    void addSegmentPieces(const VKPathSegment& s, Source source, int startId, int endId) {
        if (VKBezierIsLine(s)) {
            addPiece(linearLine(s.start, s.end), true, source, startId, endId);
            return;
        }
        std::vector<double> cuts = VKBezierExtrema(s);
        cuts.insert(cuts.begin(), 0.0);
        cuts.push_back(1.0);
        int from = startId;
        for (size_t i = 0; i + 1 < cuts.size(); ++i) {
            int to =
                i + 2 == cuts.size() ? endId : addPoint(VKBezierPointAt(s, cuts[i + 1]), kExtremum);
            VKPathSegment curve = VKBezierSubsegment(s, cuts[i], cuts[i + 1]);
            curve.start = points_[from].position;
            curve.end = points_[to].position;
            addPiece(curve, false,
                     {source.operand, source.contour, source.segment, cuts[i], cuts[i + 1]}, from,
                     to);
            from = to;
        }
    }

    void addPiece(const VKPathSegment& curve, bool isLine, Source source, int from, int to) {
        Piece piece;
        piece.shape.curve = curve;
        piece.shape.isLine = isLine;
        piece.shape.updateBox();
        piece.source = source;
        piece.startPoint = from;
        piece.endPoint = to;
        pieces_.push_back(std::move(piece));
    }

    void findMeetings() {
        std::vector<int> order(pieces_.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(),
                  [&](int x, int y) { return pieces_[x].shape.minX < pieces_[y].shape.minX; });
        std::vector<VKCurveHit> hits;
        for (size_t i = 0; i < order.size(); ++i) {
            const VKCurvePiece& a = pieces_[order[i]].shape;
            for (size_t j = i + 1; j < order.size(); ++j) {
                const VKCurvePiece& b = pieces_[order[j]].shape;
                if (b.minX > a.maxX + tolerance_) break;
                if (b.minY > a.maxY + tolerance_ || a.minY > b.maxY + tolerance_) continue;
                hits.clear();
                VKIntersectCurvePieces(a, b, tolerance_, hits);
                for (const VKCurveHit& h : hits)
                    recordMeeting(order[i], h.s, order[j], h.t, h.point);
            }
        }
    }

    void recordMeeting(int p, double s, int q, double t, VKPoint point) {
        auto endPoint = [&](int piece, double u) {
            return u <= 0 ? pieces_[piece].startPoint : u >= 1 ? pieces_[piece].endPoint : -1;
        };
        int onP = endPoint(p, s), onQ = endPoint(q, t);
        int meeting = onP >= 0 ? onP : onQ >= 0 ? onQ : addPoint(point, kMeeting);
        if (onP < 0) pieces_[p].splits.push_back({s, meeting});
        if (onQ < 0) pieces_[q].splits.push_back({t, meeting});
        if (onP >= 0) unionFind_.unite(onP, meeting);
        if (onQ >= 0) unionFind_.unite(onQ, meeting);
    }

    // Points closer than the tolerance become one vertex. Meeting points
    // use a wider reach: where curves touch (tangent circles, curves that
    // nearly coincide) the numerical meeting points scatter along the
    // contact by about the square root of the precision.
    void buildVertices() {
        std::vector<int> order(points_.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(),
                  [&](int x, int y) { return points_[x].position.x < points_[y].position.x; });
        for (size_t i = 0; i < order.size(); ++i) {
            VKPoint p = points_[order[i]].position;
            for (size_t j = i + 1; j < order.size(); ++j) {
                VKPoint q = points_[order[j]].position;
                if (q.x - p.x > contactReach_) break;
                bool meeting =
                    points_[order[i]].kind == kMeeting || points_[order[j]].kind == kMeeting;
                double reach = meeting ? contactReach_ : tolerance_;
                if (q.x - p.x <= reach && std::fabs(q.y - p.y) <= reach)
                    unionFind_.unite(order[i], order[j]);
            }
        }
        struct Accumulator {
            int kind = 3;
            VKPoint sum;
            int count = 0;
        };
        std::vector<Accumulator> byRoot(points_.size());
        vertexOfPoint_.assign(points_.size(), -1);
        for (size_t i = 0; i < points_.size(); ++i) {
            Accumulator& a = byRoot[unionFind_.find(int(i))];
            const PointRecord& p = points_[i];
            if (p.kind < a.kind)
                a = {p.kind, p.position, 1};
            else if (p.kind == a.kind && p.kind == kMeeting)
                a.sum = a.sum + p.position, ++a.count;
        }
        for (size_t i = 0; i < points_.size(); ++i) {
            int root = unionFind_.find(int(i));
            if (vertexOfPoint_[root] < 0) {
                vertexOfPoint_[root] = static_cast<int>(vertices_.size());
                vertices_.push_back(byRoot[root].sum * (1.0 / byRoot[root].count));
            }
            vertexOfPoint_[i] = vertexOfPoint_[root];
        }
    }

    void buildEdges() {
        for (Piece& piece : pieces_) {
            std::sort(piece.splits.begin(), piece.splits.end());
            std::vector<std::pair<double, int>> marks;
            marks.reserve(piece.splits.size() + 2);
            marks.push_back({0.0, vertexOfPoint_[piece.startPoint]});
            for (auto [u, point] : piece.splits)
                marks.push_back({u, vertexOfPoint_[point]});
            marks.push_back({1.0, vertexOfPoint_[piece.endPoint]});
            size_t current = 0;
            for (size_t next = 1; next < marks.size(); ++next) {
                if (marks[next].second == marks[current].second) continue;
                addEdge(piece, marks[current], marks[next]);
                current = next;
            }
        }
    }

    void addEdge(const Piece& piece, std::pair<double, int> from, std::pair<double, int> to) {
        Edge edge;
        VKPoint start = vertices_[from.second], end = vertices_[to.second];
        if (piece.shape.isLine) {
            edge.shape.curve = linearLine(start, end);
        } else {
            edge.shape.curve = VKBezierSubsegment(piece.shape.curve, from.first, to.first);
            edge.shape.curve.start = start;
            edge.shape.curve.end = end;
        }
        edge.shape.isLine = piece.shape.isLine;
        edge.shape.updateBox();
        edge.source = piece.source;
        edge.source.t0 = piece.source.at(from.first);
        edge.source.t1 = piece.source.at(to.first);
        edge.from = from.second;
        edge.to = to.second;
        edges_.push_back(edge);
    }

    bool sameCurve(const Edge& e, const Edge& r) const {
        if (e.shape.isLine && r.shape.isLine) return true;
        VKPoint mid = VKBezierPointAt(e.shape.curve, 0.5);
        double t;
        return VKDistance(mid, VKBezierNearestPoint(r.shape.curve, mid, &t)) <= coincidence_;
    }

    void groupEdges() {
        std::unordered_map<uint64_t, std::vector<int>> byEnds;
        for (int i = 0; i < int(edges_.size()); ++i) {
            Edge& e = edges_[i];
            uint64_t key =
                (uint64_t(std::min(e.from, e.to)) << 32) | uint64_t(std::max(e.from, e.to));
            std::vector<int>& candidates = byEnds[key];
            int group = -1;
            for (int g : candidates)
                if (sameCurve(e, edges_[groups_[g].representative])) {
                    group = g;
                    break;
                }
            if (group < 0) {
                group = static_cast<int>(groups_.size());
                groups_.push_back({});
                groups_.back().representative = i;
                candidates.push_back(group);
            }
            Group& g = groups_[group];
            g.members.push_back(i);
            g.delta[e.source.operand] += e.from == edges_[g.representative].from ? 1 : -1;
            g.has[e.source.operand] = true;
            e.group = group;
        }
        incidences_.assign(vertices_.size(), {});
        for (int g = 0; g < int(groups_.size()); ++g) {
            const Edge& r = edges_[groups_[g].representative];
            incidences_[r.from].push_back(g);
            incidences_[r.to].push_back(g);
        }
    }

    int fromVertex(int group, int direction) const {
        const Edge& r = edges_[groups_[group].representative];
        return direction > 0 ? r.from : r.to;
    }
    int toVertex(int group, int direction) const { return fromVertex(group, -direction); }
    bool isJunction(int vertex) const { return incidences_[vertex].size() != 2; }

    // Runs of groups through vertices where exactly two groups meet.
    void buildChains() {
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
    void windingsFrom(VKPoint p, bool horizontal, int group, int winding[2]) const {
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

    void classifyChains() {
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
                int fillRule = operands_[o]->fillRule();
                inside[o][0] = insideForRule(fillRule, left);
                inside[o][1] = insideForRule(fillRule, right);
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

    unsigned traceFlags(int arriving, int leaving) const {
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

    void reportIntersections() {
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
                info.emplace(key,
                             NSStringFromVKPathSegment(edges_[group.representative].shape.curve));
            }
            if (leaving >= 0) flags |= traceFlags(arriving, leaving);
            debugger_->didFindIntersectionPoint(vertices_[v], flags, info);
        }
    }

    // Kept runs that are one whole path, met by nothing else, are copied as
    // they are (turned round when needed).
    void copyVerbatimPaths() {
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
                    flags |= source.operand == kOperandA ? VKBooleanFlagReversedA
                                                         : VKBooleanFlagReversedB;
                debugger_->didAddVerbatimPath(copy.path, flags);
            }
            result_.push_back(std::move(copy));
        }
    }

    VKPathSegment directedCurve(int group) const {
        const VKPathSegment& c = edges_[groups_[group].representative].shape.curve;
        return groups_[group].direction > 0 ? c : VKBezierReversed(c);
    }

    // A stretch of one original segment, growing while the trace stays on it.
    struct Run {
        Source source;
        bool isLine = false;
        VKPoint start, end;
        int endVertex = -1;
    };

    VKPathSegment finishRun(const Run& run) const {
        if (run.isLine) return VKPathSegmentMakeLine(run.start, run.end);
        VKPathSegment s =
            VKBezierSubsegment(originalSegment(run.source), run.source.t0, run.source.t1);
        s.start = run.start;
        s.end = run.end;
        return s;
    }

    void traceRemainingEdges() {
        std::vector<std::vector<int>> outgoing(vertices_.size());
        std::vector<int> starts;
        for (int g = 0; g < int(groups_.size()); ++g) {
            if (groups_[g].direction == 0 || groups_[g].verbatim) continue;
            int from = fromVertex(g, groups_[g].direction);
            outgoing[from].push_back(g);
            starts.push_back(g);
        }
        // Start at junctions, so that every traced path begins at a meeting point.
        std::stable_partition(starts.begin(), starts.end(), [&](int g) {
            return isJunction(fromVertex(g, groups_[g].direction));
        });
        std::vector<bool> used(groups_.size(), false);
        for (int start : starts)
            if (!used[start]) traceFrom(start, outgoing, used);
    }

    int nextGroup(int arriving, int vertex, const std::vector<std::vector<int>>& outgoing,
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

    void traceFrom(int start, const std::vector<std::vector<int>>& outgoing,
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

    int operation_;
    VKBooleanDebugger* debugger_;
    std::shared_ptr<const VKBooleanCompoundPath> operands_[2];
    double tolerance_ = 0;
    double coincidence_ = 0;
    double contactReach_ = 0;
    double extent_ = 0;
    std::vector<PointRecord> points_;
    UnionFind unionFind_;
    std::vector<int> vertexOfPoint_;
    std::vector<VKPoint> vertices_;
    std::vector<Piece> pieces_;
    std::vector<Edge> edges_;
    std::vector<Group> groups_;
    std::vector<std::vector<int>> incidences_;
    std::vector<Chain> chains_;
    Bands rowBands_, columnBands_;
    std::vector<VKBooleanCompoundPath::Contour> result_;
};

}  // namespace

std::shared_ptr<VKCompoundPath> VKPerformBooleanOperation(const VKCompoundPath& a, int operation,
                                                          const VKCompoundPath& b,
                                                          VKBooleanDebugger* debugger) {
    return BooleanOperation(a, operation, b, debugger).run();
}
