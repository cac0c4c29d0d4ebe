// Stage 1 of the exact boolean operation (VKExactBooleanOperation.h): the
// tolerances, from the operands' size, and both operands cut at their x and
// y extrema into monotone pieces.

#include "geometry/VKExactBooleanOperation.h"

#include <algorithm>
#include <cmath>

void VKExactBooleanOperation::chooseTolerances() {
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

void VKExactBooleanOperation::buildPieces() {
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

void VKExactBooleanOperation::addSegmentPieces(const VKPathSegment& s, Source source, int startId,
                                               int endId) {
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
                 {source.operand, source.contour, source.segment, cuts[i], cuts[i + 1]}, from, to);
        from = to;
    }
}

void VKExactBooleanOperation::addPiece(const VKPathSegment& curve, bool isLine, Source source,
                                       int from, int to) {
    Piece piece;
    piece.shape.curve = curve;
    piece.shape.isLine = isLine;
    piece.shape.updateBox();
    piece.source = source;
    piece.startPoint = from;
    piece.endPoint = to;
    pieces_.push_back(std::move(piece));
}
