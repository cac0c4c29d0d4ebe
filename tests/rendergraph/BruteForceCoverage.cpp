#include "BruteForceCoverage.h"

#include "geometry/VKBezier.h"

#include <algorithm>

namespace rendergraph_test {

namespace {

using int128 = __int128;

struct Edge {
    int64_t x0, y0, x1, y1;  // nudged
};

std::vector<Edge> edgesOf(const VKCompoundPath& compoundPath, const BNPathRasterizer& grid) {
    std::vector<Edge> edges;
    auto addLine = [&](VKPoint from, VKPoint to) {
        BNFixedPoint a = grid.fixedPoint(from), b = grid.fixedPoint(to);
        int64_t x0 = a.x + 16, y0 = (a.y + 16) | 1, x1 = b.x + 16, y1 = (b.y + 16) | 1;
        if ((x1 | 1) >= (x0 | 1)) {
            x0 &= ~int64_t{1};
            x1 |= 1;
        } else {
            x0 |= 1;
            x1 &= ~int64_t{1};
        }
        edges.push_back({x0, y0, x1, y1});
    };
    for (const auto& path : compoundPath.paths()) {
        size_t count = path->numberOfSegments();
        for (size_t i = 0; i < count; ++i) {
            VKPathSegment segment = path->segmentAtIndex(i);
            bool line =
                segment.controlPoint1 == segment.start && segment.controlPoint2 == segment.end;
            if (line) {
                addLine(segment.start, segment.end);
                continue;
            }
            VKPoint previous = segment.start;
            std::vector<VKPoint> points;
            VKBezierFlattenAppend(segment, 1.0 / 4096, points);
            for (VKPoint p : points) {
                addLine(previous, p);
                previous = p;
            }
        }
        if (!path->isClosed() && count > 0)
            addLine(path->segmentAtIndex(count - 1).end, path->segmentAtIndex(0).start);
    }
    return edges;
}

// The edges that cross the sample line at y (fixed point, nudged frame: the
// line of sample row r is y = 32 (r + 1)).
std::vector<Edge> edgesCrossing(const std::vector<Edge>& edges, int64_t y) {
    std::vector<Edge> crossing;
    for (const Edge& e : edges)
        if ((e.y0 < y && y < e.y1) || (e.y1 < y && y < e.y0)) crossing.push_back(e);
    return crossing;
}

// Whether the sample centre at (x, y) lies inside the edges that cross its
// sample line (a centre is at x = 32 (c + 1) in the nudged frame).
bool inside(const std::vector<Edge>& crossing, int fillRule, int64_t x, int64_t y) {
    int winding = 0, count = 0;
    for (const Edge& e : crossing) {
        // The edge's x at the line, minus x, times (y1 - y0): its sign says
        // on which side the edge passes. Never 0: the nudge keeps edges off
        // the sample centres.
        int128 h = e.y1 - e.y0;
        int128 difference =
            static_cast<int128>(e.x0 - x) * h + static_cast<int128>(y - e.y0) * (e.x1 - e.x0);
        if (h < 0) difference = -difference;
        if (difference > 0) continue;
        ++count;
        winding += e.y1 > e.y0 ? 1 : -1;
    }
    return fillRule == 0 ? winding != 0 : (count % 2) != 0;
}

bool combine(VKBooleanOperation operation, bool soFar, bool shape) {
    switch (operation) {
        case VKBooleanOperationAdd:
            return soFar || shape;
        case VKBooleanOperationSubtract:
            return soFar && !shape;
        case VKBooleanOperationIntersect:
            return soFar && shape;
        case VKBooleanOperationExclude:
            return soFar != shape;
        default:
            return false;
    }
}

}  // namespace

std::vector<float> bruteForceCoverage(const BNCompoundPathList& compoundPaths,
                                      const std::vector<VKBooleanOperation>& operations,
                                      bool initiallyFilled, const BruteForceRaster& raster) {
    const int n = raster.samples;
    BNPathRasterizer grid(raster.width, raster.height, false, raster.originX, raster.originY,
                          raster.scaleFactor, n, n);
    std::vector<std::vector<Edge>> shapes;
    for (const auto& compoundPath : compoundPaths)
        shapes.push_back(edgesOf(*compoundPath, grid));
    bool filled = operations[0] == VKBooleanOperationSubtract ||
                  operations[0] == VKBooleanOperationIntersect ||
                  (operations[0] != VKBooleanOperationAdd && initiallyFilled);
    auto originColumn = static_cast<int64_t>(raster.originX * n * raster.scaleFactor);
    auto originRow = static_cast<int64_t>(raster.originY * n * raster.scaleFactor);

    std::vector<int> covered(raster.width * raster.height, 0);
    std::vector<std::vector<Edge>> crossing(shapes.size());
    for (uint64_t py = 0; py < raster.height; ++py)
        for (int sy = 0; sy < n; ++sy) {
            int64_t y = 32 * (originRow + static_cast<int64_t>(py) * n + sy + 1);
            for (size_t i = 0; i < shapes.size(); ++i)
                crossing[i] = edgesCrossing(shapes[i], y);
            for (uint64_t px = 0; px < raster.width; ++px)
                for (int sx = 0; sx < n; ++sx) {
                    int64_t x = 32 * (originColumn + static_cast<int64_t>(px) * n + sx + 1);
                    bool in = filled;
                    for (size_t i = 0; i < shapes.size(); ++i)
                        in = combine(operations[i], in,
                                     inside(crossing[i], compoundPaths[i]->fillRule(), x, y));
                    covered[py * raster.width + px] += in;
                }
        }
    std::vector<float> coverage(covered.size());
    for (size_t i = 0; i < covered.size(); ++i)
        coverage[i] = static_cast<float>(covered[i] * (1.0 / (n * n)));
    return coverage;
}

}  // namespace rendergraph_test
