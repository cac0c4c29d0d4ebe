#pragma once
// One run of the exact boolean operation (VKBooleanOperation.h): what its
// stages share, and the stages, each in a file of its own:
//   VKBooleanPieces.cpp    1. the tolerances, and the operands cut into monotone pieces
//   VKBooleanMeetings.cpp  2. where the pieces meet, gathered into vertices
//   VKBooleanEdges.cpp     3. edges between the vertices, merged where they run together
//   VKBooleanWindings.cpp  4. runs of edges, and the winding numbers on their sides
//   VKBooleanTracing.cpp   5. whole paths copied, the other kept edges traced
// VKBooleanOperation.cpp runs them in order.

#include "geometry/VKBooleanCompoundPath.h"
#include "geometry/VKBooleanDebugger.h"
#include "geometry/VKCurveIntersection.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

class VKExactBooleanOperation {
public:
    VKExactBooleanOperation(const VKCompoundPath& a, VKBooleanOperation operation,
                            const VKCompoundPath& b, VKBooleanDebugger* debugger);

    std::shared_ptr<VKCompoundPath> run();

private:
    static constexpr int kOperandA = 0;
    static constexpr int kOperandB = 1;

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
        void build(const std::vector<Edge>& edges, bool alongY);
        const std::vector<int>& at(double coordinate) const { return bands_[band(coordinate)]; }

    private:
        size_t band(double coordinate) const;
        double lo_ = 0, scale_ = 0;
        std::vector<std::vector<int>> bands_;
    };

    // A stretch of one original segment, growing while the trace stays on it.
    struct Run {
        Source source;
        bool isLine = false;
        VKPoint start, end;
        int endVertex = -1;
    };

    // A straight segment as a cubic whose parameter runs linearly along it.
    static VKPathSegment linearLine(VKPoint a, VKPoint b) {
        VKPoint d = b - a;
        return {a, a + d * (1.0 / 3.0), a + d * (2.0 / 3.0), b};
    }

    const VKPathSegment& originalSegment(const Source& s) const {
        return operands_[s.operand]->contours()[s.contour].segments[s.segment];
    }

    int addPoint(VKPoint p, PointKind kind) {
        points_.push_back({p, kind});
        return unionFind_.add();
    }

    int fromVertex(int group, int direction) const {
        const Edge& r = edges_[groups_[group].representative];
        return direction > 0 ? r.from : r.to;
    }
    int toVertex(int group, int direction) const { return fromVertex(group, -direction); }
    bool isJunction(int vertex) const { return incidences_[vertex].size() != 2; }

    // 1. Pieces.
    void chooseTolerances();
    void buildPieces();
    void addSegmentPieces(const VKPathSegment& s, Source source, int startId, int endId);
    void addPiece(const VKPathSegment& curve, bool isLine, Source source, int from, int to);

    // 2. Meetings and vertices.
    void findMeetings();
    void recordMeeting(int p, double s, int q, double t, VKPoint point);
    void buildVertices();

    // 3. Edges and their groups.
    void buildEdges();
    void addEdge(const Piece& piece, std::pair<double, int> from, std::pair<double, int> to);
    bool sameCurve(const Edge& e, const Edge& r) const;
    void groupEdges();

    // 4. Runs and their classification.
    void buildChains();
    void windingsFrom(VKPoint p, bool horizontal, int group, int winding[2]) const;
    void classifyChains();

    // 5. The result, and what the debugger is told.
    unsigned traceFlags(int arriving, int leaving) const;
    void reportIntersections();
    void copyVerbatimPaths();
    VKPathSegment directedCurve(int group) const;
    VKPathSegment finishRun(const Run& run) const;
    void traceRemainingEdges();
    int nextGroup(int arriving, int vertex, const std::vector<std::vector<int>>& outgoing,
                  const std::vector<bool>& used) const;
    void traceFrom(int start, const std::vector<std::vector<int>>& outgoing,
                   std::vector<bool>& used);

    VKBooleanOperation operation_;
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
