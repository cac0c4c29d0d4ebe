// Stage 2 of the exact boolean operation (VKExactBooleanOperation.h): every
// pair of overlapping pieces intersected, and the points that lie together
// gathered into vertices.

#include "geometry/VKExactBooleanOperation.h"

#include <algorithm>
#include <cmath>
#include <numeric>

void VKExactBooleanOperation::findMeetings() {
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

void VKExactBooleanOperation::recordMeeting(int p, double s, int q, double t, VKPoint point) {
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
void VKExactBooleanOperation::buildVertices() {
    std::vector<int> order(points_.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](int x, int y) { return points_[x].position.x < points_[y].position.x; });
    for (size_t i = 0; i < order.size(); ++i) {
        VKPoint p = points_[order[i]].position;
        for (size_t j = i + 1; j < order.size(); ++j) {
            VKPoint q = points_[order[j]].position;
            if (q.x - p.x > contactReach_) break;
            bool meeting = points_[order[i]].kind == kMeeting || points_[order[j]].kind == kMeeting;
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
