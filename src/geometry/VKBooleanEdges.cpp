// Stage 3 of the exact boolean operation (VKExactBooleanOperation.h): the
// pieces split at the vertices into edges, and edges that join the same two
// vertices along the same curve merged into groups.

#include "geometry/VKExactBooleanOperation.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

void VKExactBooleanOperation::buildEdges() {
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

void VKExactBooleanOperation::addEdge(const Piece& piece, std::pair<double, int> from,
                                      std::pair<double, int> to) {
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

bool VKExactBooleanOperation::sameCurve(const Edge& e, const Edge& r) const {
    if (e.shape.isLine && r.shape.isLine) return true;
    VKPoint mid = VKBezierPointAt(e.shape.curve, 0.5);
    double t;
    return VKDistance(mid, VKBezierNearestPoint(r.shape.curve, mid, &t)) <= coincidence_;
}

void VKExactBooleanOperation::groupEdges() {
    std::unordered_map<uint64_t, std::vector<int>> byEnds;
    for (int i = 0; i < int(edges_.size()); ++i) {
        Edge& e = edges_[i];
        uint64_t key = (uint64_t(std::min(e.from, e.to)) << 32) | uint64_t(std::max(e.from, e.to));
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
