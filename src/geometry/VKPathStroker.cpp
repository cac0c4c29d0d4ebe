#include "geometry/VKPathStroker.h"

#include "geometry/VKPathDash.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <tuple>
#include <utility>

namespace {

using Segments = std::vector<VKPathSegment>;

VKPoint leftNormal(VKPoint tangent) {
    return {-tangent.y, tangent.x};
}

// The sign VKPath::isClockwise reads, over the segments' end points.
bool isCounterClockwise(const Segments& segments) {
    double sum = 0;
    for (const VKPathSegment& s : segments)
        sum += s.start.x * s.end.y - s.end.x * s.start.y;
    return sum < 0;
}

Segments reversed(const Segments& segments) {
    Segments result;
    result.reserve(segments.size());
    for (auto it = segments.rbegin(); it != segments.rend(); ++it)
        result.push_back(VKBezierReversed(*it));
    return result;
}

// Signed angle from u to v, in (-pi, pi].
double angleBetween(VKPoint u, VKPoint v) {
    return std::atan2(VKCross(u, v), VKDot(u, v));
}

// A circular arc around `center` from angle `from` turning by `sweep`, as
// cubics of at most a quarter turn each.
void appendArc(Segments& out, VKPoint center, double radius, double from, double sweep) {
    int pieces =
        std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (std::numbers::pi / 2) - 1e-9)));
    double step = sweep / pieces;
    double k = 4.0 / 3.0 * std::tan(step / 4) * radius;
    for (int i = 0; i < pieces; ++i) {
        double a0 = from + i * step, a1 = a0 + step;
        VKPoint u0{std::cos(a0), std::sin(a0)}, u1{std::cos(a1), std::sin(a1)};
        VKPoint p0 = center + u0 * radius, p3 = center + u1 * radius;
        out.push_back({p0, p0 + leftNormal(u0) * k, p3 - leftNormal(u1) * k, p3});
    }
}

class Outliner {
public:
    Outliner(const VKStrokeStyle& style, double d1, double d2) : style_(style), d1_(d1), d2_(d2) {
        double reach = std::max(std::fabs(d1), std::fabs(d2));
        tolerance_ = std::clamp(reach * 1e-3, 1e-9, 0.01);
    }

    // The outline of one piece of a subpath: two closed outlines for a closed
    // piece, one with caps for an open one.
    void outline(const Segments& segments, bool closed, std::vector<Segments>& contours) const {
        if (closed) {
            contours.push_back(offsetPath(segments, d1_, true));
            contours.push_back(offsetPath(reversed(segments), -d2_, true));
            return;
        }
        Segments contour = offsetPath(segments, d1_, false);
        Segments back = offsetPath(reversed(segments), -d2_, false);
        appendCap(contour, contour.back().end, back.front().start,
                  VKBezierTangentAt(segments.back(), 1));
        contour.insert(contour.end(), back.begin(), back.end());
        appendCap(contour, back.back().end, contour.front().start,
                  VKBezierTangentAt(segments.front(), 0) * -1.0);
        contours.push_back(std::move(contour));
    }

    // What a piece of zero length at `p` leaves: a dot or a square across
    // the stroke, centred between its two sides.
    void dot(VKPoint p, VKPoint tangent, std::vector<Segments>& contours) const {
        double half = (d2_ - d1_) / 2;
        VKPoint n = leftNormal(tangent), center = p + n * ((d1_ + d2_) / 2);
        Segments contour;
        if (style_.cap() == VKLineCapRound) {
            appendArc(contour, center, half, 0, 2 * std::numbers::pi);
        } else if (style_.cap() == VKLineCapSquare) {
            VKPoint corners[4] = {
                center + (tangent + n * -1.0) * half, center + (tangent + n) * half,
                center + (tangent * -1.0 + n) * half, center - (tangent + n) * half};
            for (int i = 0; i < 4; ++i)
                contour.push_back(VKPathSegmentMakeLine(corners[i], corners[(i + 1) % 4]));
        } else {
            return;
        }
        contours.push_back(std::move(contour));
    }

private:
    // The path offset by `d` to the left, with joins; `closed` adds the join
    // from the last segment back to the first.
    Segments offsetPath(const Segments& segments, double d, bool closed) const {
        if (d == 0) return segments;
        Segments out;
        for (size_t i = 0; i < segments.size(); ++i) {
            if (i > 0) appendJoin(out, segments[i - 1], segments[i], d);
            offsetSegment(segments[i], d, out, 0);
        }
        if (closed) appendJoin(out, segments.back(), segments.front(), d);
        return out;
    }

    void offsetSegment(const VKPathSegment& s, double d, Segments& out, int depth) const {
        VKPoint t0 = VKBezierTangentAt(s, 0), t1 = VKBezierTangentAt(s, 1);
        VKPoint q0 = s.start + leftNormal(t0) * d, q3 = s.end + leftNormal(t1) * d;
        if (VKBezierIsLine(s)) {
            out.push_back(VKPathSegmentMakeLine(q0, q3));
            return;
        }
        // Handles along the end tangents, their lengths chosen so that the
        // middle of the cubic lies on the true offset.
        VKPoint middle = VKBezierPointAt(s, 0.5) + leftNormal(VKBezierTangentAt(s, 0.5)) * d;
        VKPoint r = (middle * 8 - q0 * 4 - q3 * 4) * (1.0 / 3.0);
        double determinant = -VKCross(t0, t1);
        VKPathSegment fit;
        bool fitted = false;
        if (std::fabs(determinant) > 1e-3) {
            double a = VKCross(r, t1 * -1.0) / determinant, b = VKCross(t0, r) / determinant;
            if (a >= 0 && b >= 0) {
                fit = {q0, q0 + t0 * a, q3 - t1 * b, q3};
                fitted = true;
            }
        } else if (VKDot(t0, t1) > 0) {
            // Nearly straight: move the control points with the end normals.
            fit = {q0, s.controlPoint1 + leftNormal(t0) * d, s.controlPoint2 + leftNormal(t1) * d,
                   q3};
            fitted = true;
        }
        if (fitted && depth >= 10) {
            out.push_back(fit);
            return;
        }
        if (fitted) {
            bool close = true;
            for (double t : {0.25, 0.75}) {
                VKPoint truth = VKBezierPointAt(s, t) + leftNormal(VKBezierTangentAt(s, t)) * d;
                close = close && VKDistance(truth, VKBezierPointAt(fit, t)) <= tolerance_;
            }
            if (close) {
                out.push_back(fit);
                return;
            }
        }
        if (depth >= 10) {
            out.push_back(VKPathSegmentMakeLine(q0, q3));
            return;
        }
        VKPathSegment left, right;
        VKBezierSplit(s, 0.5, &left, &right);
        offsetSegment(left, d, out, depth + 1);
        offsetSegment(right, d, out, depth + 1);
    }

    // Joins the offset of `in` (ending at the corner) to that of `out`.
    void appendJoin(Segments& contour, const VKPathSegment& in, const VKPathSegment& out,
                    double d) const {
        VKPoint corner = out.start;
        VKPoint tIn = VKBezierTangentAt(in, 1), tOut = VKBezierTangentAt(out, 0);
        VKPoint from = contour.back().end, to = corner + leftNormal(tOut) * d;
        double turn = VKCross(tIn, tOut), along = VKDot(tIn, tOut);
        if (std::fabs(turn) < 1e-9 && along > 0) {
            if (!(from == to)) contour.push_back(VKPathSegmentMakeLine(from, to));
            return;
        }
        // The side away from the turn is the outer one; a turn back on
        // itself counts as outer on both sides.
        bool outer = turn * d < 0 || (std::fabs(turn) < 1e-9 && along <= 0);
        if (!outer) {
            contour.push_back(VKPathSegmentMakeLine(from, corner));
            contour.push_back(VKPathSegmentMakeLine(corner, to));
            return;
        }
        VKPoint nIn = leftNormal(tIn) * (d > 0 ? 1.0 : -1.0),
                nOut = leftNormal(tOut) * (d > 0 ? 1.0 : -1.0);
        double reach = std::fabs(d);
        switch (style_.join()) {
            case VKLineJoinRound: {
                // Round the outside of the corner; a turn back on itself
                // goes round the front.
                double sweep = std::fabs(turn) < 1e-9
                                   ? angleBetween(nIn, tIn) + angleBetween(tIn, nOut)
                                   : angleBetween(nIn, nOut);
                appendArc(contour, corner, reach, std::atan2(nIn.y, nIn.x), sweep);
                return;
            }
            case VKLineJoinMiter: {
                // The tip lies 1 / cos(half the turn) times the offset from
                // the corner; the limit applies to that ratio.
                double cosine = VKDot(nIn, nOut);
                double ratio = cosine > -1 ? std::sqrt(2 / (1 + cosine)) : INFINITY;
                if (ratio <= style_.miterLimit()) {
                    VKPoint tip = corner + (nIn + nOut) * (reach / (1 + cosine));
                    contour.push_back(VKPathSegmentMakeLine(from, tip));
                    contour.push_back(VKPathSegmentMakeLine(tip, to));
                    return;
                }
                break;
            }
            default:
                break;
        }
        contour.push_back(VKPathSegmentMakeLine(from, to));
    }

    // A cap from a (one side's end) to b (the other side's), the path
    // leaving in direction `tangent`.
    void appendCap(Segments& contour, VKPoint a, VKPoint b, VKPoint tangent) const {
        double half = (d2_ - d1_) / 2;
        switch (style_.cap()) {
            case VKLineCapRound: {
                VKPoint center = (a + b) * 0.5, u = (a - center) * (1 / half);
                double sweep =
                    angleBetween(u, tangent) + angleBetween(tangent, (b - center) * (1 / half));
                appendArc(contour, center, half, std::atan2(u.y, u.x), sweep);
                return;
            }
            case VKLineCapSquare: {
                VKPoint reach = tangent * half;
                contour.push_back(VKPathSegmentMakeLine(a, a + reach));
                contour.push_back(VKPathSegmentMakeLine(a + reach, b + reach));
                contour.push_back(VKPathSegmentMakeLine(b + reach, b));
                return;
            }
            default:
                contour.push_back(VKPathSegmentMakeLine(a, b));
        }
    }

    const VKStrokeStyle& style_;
    double d1_, d2_;
    double tolerance_;
};

}  // namespace

VKPathStroker::VKPathStroker(std::shared_ptr<VKPathConsumer> consumer, const VKStrokeStyle& style)
    : consumer_(std::move(consumer)), style_(style) {}

void VKPathStroker::moveToPoint(VKPoint point) {
    if (active_) finishSubpath(false);
    start_ = current_ = point;
    active_ = true;
}

void VKPathStroker::lineToPoint(VKPoint point) {
    if (!active_) return;
    segments_.push_back(VKPathSegmentMakeLine(current_, point));
    current_ = point;
}

void VKPathStroker::curveToPoint(VKPoint point, VKPoint controlPoint1, VKPoint controlPoint2) {
    if (!active_) return;
    segments_.push_back({current_, controlPoint1, controlPoint2, point});
    current_ = point;
}

void VKPathStroker::quadCurveToPoint(VKPoint point, VKPoint controlPoint) {
    if (!active_) return;
    VKPoint c1, c2;
    VKQuadraticToCubic(current_, controlPoint, point, &c1, &c2);
    curveToPoint(point, c1, c2);
}

void VKPathStroker::closeSubpath() {
    if (!active_) return;
    if (!(current_ == start_)) segments_.push_back(VKPathSegmentMakeLine(current_, start_));
    finishSubpath(true);
}

void VKPathStroker::endSubpath() {
    if (active_) finishSubpath(false);
}

void VKPathStroker::finishSubpath(bool closed) {
    Segments segments;
    bool finite = true;
    for (const VKPathSegment& s : segments_) {
        finite = finite && VKBezierIsFinite(s);
        if (!VKBezierIsPoint(s)) segments.push_back(s);
    }
    segments_.clear();
    active_ = false;
    double width = style_.width();
    if (!finite || !(width > 0) || !std::isfinite(width)) return;

    double d1 = -width / 2, d2 = width / 2;
    if (style_.position() == VKStrokePositionInside) d1 = 0, d2 = width;
    if (style_.position() == VKStrokePositionOutside) d1 = -width, d2 = 0;
    // A closed subpath that runs counter-clockwise (on a y-down screen) has
    // its interior on the other side of its direction.
    if (closed && isCounterClockwise(segments)) std::tie(d1, d2) = std::pair(-d2, -d1);
    Outliner outliner(style_, d1, d2);
    std::vector<Segments> contours;
    std::vector<VKDash> dashes;
    if (segments.empty()) {
        outliner.dot(start_, {1, 0}, contours);
    } else if (!style_.dashPattern().empty() &&
               VKDashSubpath(segments, style_.dashPattern(), style_.dashPhase(), dashes)) {
        for (const VKDash& dash : dashes) {
            if (dash.segments.empty())
                outliner.dot(dash.point, dash.tangent, contours);
            else
                outliner.outline(dash.segments, false, contours);
        }
    } else {
        outliner.outline(segments, closed, contours);
    }

    for (const Segments& contour : contours) {
        if (contour.empty()) continue;
        consumer_->moveToPoint(contour.front().start);
        for (const VKPathSegment& s : contour)
            VKPathConsumerAddSegment(*consumer_, s);
        consumer_->closeSubpath();
    }
}
