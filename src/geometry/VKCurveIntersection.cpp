#include "geometry/VKCurveIntersection.h"

#include <algorithm>
#include <cmath>

namespace {

// A piece meets the other at an end point: `s` on the first piece, `t` on
// the second, and whether it is also an end point of the second.
struct Contact {
    double s;
    double t;
    VKPoint point;
    bool bothEnds;
};

double nearestOnPiece(const VKCurvePiece& piece, VKPoint p, double* t) {
    if (piece.isLine) {
        VKPoint d = piece.curve.end - piece.curve.start;
        double lengthSquared = VKDot(d, d);
        *t = lengthSquared > 0
                 ? std::clamp(VKDot(p - piece.curve.start, d) / lengthSquared, 0.0, 1.0)
                 : 0.0;
        return VKDistance(p, piece.curve.start + d * *t);
    }
    return VKDistance(p, VKBezierNearestPoint(piece.curve, p, t));
}

VKPoint pointOnPiece(const VKCurvePiece& piece, double t) {
    if (piece.isLine) return piece.curve.start + (piece.curve.end - piece.curve.start) * t;
    return VKBezierPointAt(piece.curve, t);
}

bool insideBox(const VKCurvePiece& piece, VKPoint p, double slack) {
    return p.x >= piece.minX - slack && p.x <= piece.maxX + slack && p.y >= piece.minY - slack &&
           p.y <= piece.maxY + slack;
}

// The end points of `a` that lie on `b`.
void endContacts(const VKCurvePiece& a, const VKCurvePiece& b, double tolerance, bool swapped,
                 std::vector<Contact>& contacts) {
    for (int end = 0; end < 2; ++end) {
        VKPoint p = end ? a.curve.end : a.curve.start;
        if (!insideBox(b, p, tolerance)) continue;
        double t;
        if (nearestOnPiece(b, p, &t) > tolerance) continue;
        bool bothEnds =
            VKDistance(p, b.curve.start) <= tolerance || VKDistance(p, b.curve.end) <= tolerance;
        double s = end;
        contacts.push_back(swapped ? Contact{t, s, p, bothEnds} : Contact{s, t, p, bothEnds});
    }
}

// Whether `a` runs along `b` between the parameters s0 and s1.
bool runsAlong(const VKCurvePiece& a, const VKCurvePiece& b, double s0, double s1,
               double tolerance) {
    for (int k = 1; k < 4; ++k) {
        double t;
        if (nearestOnPiece(b, pointOnPiece(a, s0 + (s1 - s0) * k / 4), &t) > tolerance)
            return false;
    }
    return true;
}

// Newton iteration on a(s) - b(t) = 0 from the given start; true when it
// ends on a meeting point within the pieces.
bool refine(const VKPathSegment& a, const VKPathSegment& b, double& s, double& t,
            double tolerance) {
    for (int iteration = 0; iteration < 20; ++iteration) {
        VKPoint f = VKBezierPointAt(a, s) - VKBezierPointAt(b, t);
        if (VKLength(f) <= tolerance * 1e-4) break;
        VKPoint da = VKBezierDerivativeAt(a, s), db = VKBezierDerivativeAt(b, t);
        // Solve da ds - db dt = -f.
        double determinant = -VKCross(da, db);
        if (determinant == 0 || !std::isfinite(determinant)) break;
        double ds = VKCross(f, db) / determinant;
        double dt = -VKCross(da, f) / determinant;
        if (!std::isfinite(ds) || !std::isfinite(dt)) break;
        double largest = std::max(std::fabs(ds), std::fabs(dt));
        if (largest > 0.25) {
            ds *= 0.25 / largest;
            dt *= 0.25 / largest;
        }
        s = std::clamp(s + ds, -0.5, 1.5);
        t = std::clamp(t + dt, -0.5, 1.5);
        if (largest < 1e-16) break;
    }
    constexpr double kSlack = 1e-9;
    if (s < -kSlack || s > 1 + kSlack || t < -kSlack || t > 1 + kSlack) return false;
    s = std::clamp(s, 0.0, 1.0);
    t = std::clamp(t, 0.0, 1.0);
    return VKDistance(VKBezierPointAt(a, s), VKBezierPointAt(b, t)) <= tolerance;
}

void lineLine(const VKCurvePiece& a, const VKCurvePiece& b, double tolerance,
              std::vector<VKCurveHit>& hits) {
    VKPoint d1 = a.curve.end - a.curve.start, d2 = b.curve.end - b.curve.start;
    double l1 = VKLength(d1), l2 = VKLength(d2);
    double denominator = VKCross(d1, d2);
    if (!(std::fabs(denominator) > 1e-14 * l1 * l2)) return;  // parallel: ends only
    VKPoint w = b.curve.start - a.curve.start;
    double s = VKCross(w, d2) / denominator, t = VKCross(w, d1) / denominator;
    double slackS = tolerance / l1, slackT = tolerance / l2;
    if (s < -slackS || s > 1 + slackS || t < -slackT || t > 1 + slackT) return;
    s = std::clamp(s, 0.0, 1.0);
    t = std::clamp(t, 0.0, 1.0);
    hits.push_back({s, t, (pointOnPiece(a, s) + pointOnPiece(b, t)) * 0.5});
}

// `line` is straight, `curve` is not; hits are reported in the caller's
// order (line first unless `swapped`).
void lineCurve(const VKCurvePiece& line, const VKCurvePiece& curve, double tolerance, bool swapped,
               std::vector<VKCurveHit>& hits) {
    VKPoint d = line.curve.end - line.curve.start;
    double length = VKLength(d);
    if (length == 0) return;
    double f[4];
    for (size_t i = 0; i < 4; ++i)
        f[i] = VKCross(d, curve.curve[i] - line.curve.start);
    double zero = tolerance * length;
    if (std::fabs(f[0]) <= zero && std::fabs(f[1]) <= zero && std::fabs(f[2]) <= zero &&
        std::fabs(f[3]) <= zero)
        return;  // the curve lies along the line: ends only
    std::vector<double> roots;
    VKBernsteinRoots(f, zero, roots);
    for (double t : roots) {
        VKPoint p = VKBezierPointAt(curve.curve, t);
        double s = VKDot(p - line.curve.start, d) / (length * length);
        double slack = tolerance / length;
        if (s < -slack || s > 1 + slack) continue;
        s = std::clamp(s, 0.0, 1.0);
        VKPoint point = (p + pointOnPiece(line, s)) * 0.5;
        hits.push_back(swapped ? VKCurveHit{t, s, point} : VKCurveHit{s, t, point});
    }
}

struct Box {
    double minX, maxX, minY, maxY;
};

Box controlBox(const VKPathSegment& s) {
    Box box{s.start.x, s.start.x, s.start.y, s.start.y};
    for (size_t i = 1; i < 4; ++i) {
        box.minX = std::min(box.minX, s[i].x);
        box.maxX = std::max(box.maxX, s[i].x);
        box.minY = std::min(box.minY, s[i].y);
        box.maxY = std::max(box.maxY, s[i].y);
    }
    return box;
}

bool isFlat(const VKPathSegment& s, double flatness) {
    VKPoint d = s.end - s.start;
    double length = VKLength(d);
    for (VKPoint c : {s.controlPoint1, s.controlPoint2}) {
        double distance =
            length > 0 ? std::fabs(VKCross(c - s.start, d)) / length : VKDistance(c, s.start);
        if (distance > flatness) return false;
    }
    return true;
}

// Subdivides both curves while their control boxes overlap; where both are
// flat, the chords' crossing seeds Newton's method on the whole pieces.
void curveCurve(const VKCurvePiece& a, const VKCurvePiece& b, double tolerance,
                std::vector<VKCurveHit>& hits) {
    struct Item {
        VKPathSegment a;
        double s0, s1;
        VKPathSegment b;
        double t0, t1;
        int depth;
    };
    const double flatness = tolerance * 100;
    constexpr int kMaxDepth = 50;
    constexpr int kMaxItems = 20000;  // bounds the work on near-coincident curves
    std::vector<Item> stack{{a.curve, 0, 1, b.curve, 0, 1, 0}};
    int processed = 0;
    while (!stack.empty() && processed++ < kMaxItems) {
        Item item = stack.back();
        stack.pop_back();
        Box ba = controlBox(item.a), bb = controlBox(item.b);
        if (ba.minX > bb.maxX + tolerance || bb.minX > ba.maxX + tolerance ||
            ba.minY > bb.maxY + tolerance || bb.minY > ba.maxY + tolerance)
            continue;
        bool flatA = isFlat(item.a, flatness), flatB = isFlat(item.b, flatness);
        if ((flatA && flatB) || item.depth >= kMaxDepth) {
            VKPoint d1 = item.a.end - item.a.start, d2 = item.b.end - item.b.start;
            double denominator = VKCross(d1, d2);
            double u = 0.5, v = 0.5;
            if (std::fabs(denominator) > 1e-12 * VKLength(d1) * VKLength(d2)) {
                VKPoint w = item.b.start - item.a.start;
                u = VKCross(w, d2) / denominator;
                v = VKCross(w, d1) / denominator;
                if (u < -0.01 || u > 1.01 || v < -0.01 || v > 1.01) continue;
            }
            double s = item.s0 + (item.s1 - item.s0) * std::clamp(u, 0.0, 1.0);
            double t = item.t0 + (item.t1 - item.t0) * std::clamp(v, 0.0, 1.0);
            if (refine(a.curve, b.curve, s, t, tolerance))
                hits.push_back(
                    {s, t, (VKBezierPointAt(a.curve, s) + VKBezierPointAt(b.curve, t)) * 0.5});
            continue;
        }
        double sizeA = std::max(ba.maxX - ba.minX, ba.maxY - ba.minY);
        double sizeB = std::max(bb.maxX - bb.minX, bb.maxY - bb.minY);
        if (!flatA && (flatB || sizeA >= sizeB)) {
            VKPathSegment left, right;
            VKBezierSplit(item.a, 0.5, &left, &right);
            double mid = (item.s0 + item.s1) / 2;
            stack.push_back({left, item.s0, mid, item.b, item.t0, item.t1, item.depth + 1});
            stack.push_back({right, mid, item.s1, item.b, item.t0, item.t1, item.depth + 1});
        } else {
            VKPathSegment left, right;
            VKBezierSplit(item.b, 0.5, &left, &right);
            double mid = (item.t0 + item.t1) / 2;
            stack.push_back({item.a, item.s0, item.s1, left, item.t0, mid, item.depth + 1});
            stack.push_back({item.a, item.s0, item.s1, right, mid, item.t1, item.depth + 1});
        }
    }
}

double bernsteinAt(const double f[4], double t) {
    double mt = 1 - t;
    return mt * mt * mt * f[0] + 3 * mt * mt * t * f[1] + 3 * mt * t * t * f[2] + t * t * t * f[3];
}

}  // namespace

void VKCurvePiece::updateBox() {
    minX = std::min(curve.start.x, curve.end.x);
    maxX = std::max(curve.start.x, curve.end.x);
    minY = std::min(curve.start.y, curve.end.y);
    maxY = std::max(curve.start.y, curve.end.y);
}

void VKBernsteinRoots(const double f[4], double zero, std::vector<double>& roots) {
    // Split [0, 1] at the critical points, so that f is monotone on each part.
    double g0 = f[1] - f[0], g1 = f[2] - f[1], g2 = f[3] - f[2];
    double qa = g0 - 2 * g1 + g2, qb = 2 * (g1 - g0), qc = g0;
    std::vector<double> breaks{0};
    double scale = std::fabs(qa) + std::fabs(qb) + std::fabs(qc);
    if (std::fabs(qa) > 1e-14 * scale) {
        double disc = qb * qb - 4 * qa * qc;
        if (disc >= 0) {
            double q = -0.5 * (qb + std::copysign(std::sqrt(disc), qb));
            for (double r : {q / qa, q != 0 ? qc / q : -1.0})
                if (r > 0 && r < 1) breaks.push_back(r);
        }
    } else if (qb != 0) {
        double r = -qc / qb;
        if (r > 0 && r < 1) breaks.push_back(r);
    }
    breaks.push_back(1);
    std::sort(breaks.begin(), breaks.end());
    size_t first = roots.size();
    for (size_t i = 0; i < breaks.size(); ++i) {
        double value = bernsteinAt(f, breaks[i]);
        if (std::fabs(value) <= zero) roots.push_back(breaks[i]);
        if (i + 1 == breaks.size()) break;
        double lo = breaks[i], hi = breaks[i + 1], next = bernsteinAt(f, hi);
        if (std::fabs(value) <= zero || std::fabs(next) <= zero || (value > 0) == (next > 0))
            continue;
        bool rising = next > value;
        for (int iteration = 0; iteration < 64 && hi - lo > 1e-16; ++iteration) {
            double mid = (lo + hi) / 2;
            ((bernsteinAt(f, mid) > 0) == rising ? hi : lo) = mid;
        }
        roots.push_back((lo + hi) / 2);
    }
    std::sort(roots.begin() + static_cast<std::ptrdiff_t>(first), roots.end());
}

bool VKIntersectCurvePieces(const VKCurvePiece& a, const VKCurvePiece& b, double tolerance,
                            std::vector<VKCurveHit>& hits) {
    if (a.minX > b.maxX + tolerance || b.minX > a.maxX + tolerance || a.minY > b.maxY + tolerance ||
        b.minY > a.maxY + tolerance)
        return false;

    std::vector<Contact> contacts;
    endContacts(a, b, tolerance, false, contacts);
    endContacts(b, a, tolerance, true, contacts);
    size_t firstHit = hits.size();
    for (const Contact& c : contacts)
        if (!c.bothEnds) hits.push_back({c.s, c.t, c.point});

    // Two contacts at different places may be the ends of a shared stretch.
    if (contacts.size() >= 2) {
        auto [lo, hi] =
            std::minmax_element(contacts.begin(), contacts.end(),
                                [](const Contact& x, const Contact& y) { return x.s < y.s; });
        if (VKDistance(lo->point, hi->point) > tolerance &&
            runsAlong(a, b, lo->s, hi->s, tolerance * 10))
            return true;
    }

    // Monotone pieces whose boxes only touch along a line meet on that line
    // only at end points, which the contacts cover.
    double overlapX = std::min(a.maxX, b.maxX) - std::max(a.minX, b.minX);
    double overlapY = std::min(a.maxY, b.maxY) - std::max(a.minY, b.minY);
    bool wideA = a.maxX > a.minX, wideB = b.maxX > b.minX;
    bool tallA = a.maxY > a.minY, tallB = b.maxY > b.minY;
    if (overlapX < 0 || overlapY < 0 || (overlapX == 0 && wideA && wideB) ||
        (overlapY == 0 && tallA && tallB))
        return false;

    if (a.isLine && b.isLine)
        lineLine(a, b, tolerance, hits);
    else if (a.isLine)
        lineCurve(a, b, tolerance, false, hits);
    else if (b.isLine)
        lineCurve(b, a, tolerance, true, hits);
    else
        curveCurve(a, b, tolerance, hits);

    // One meeting point may be found from several sides; keep the first.
    std::vector<VKCurveHit> unique(hits.begin() + static_cast<std::ptrdiff_t>(firstHit),
                                   hits.end());
    hits.resize(firstHit);
    for (const VKCurveHit& h : unique) {
        bool seen = false;
        for (size_t i = firstHit; i < hits.size() && !seen; ++i)
            seen = (std::fabs(hits[i].s - h.s) <= 1e-12 && std::fabs(hits[i].t - h.t) <= 1e-12) ||
                   VKDistance(hits[i].point, h.point) <= tolerance * 1e-3;
        if (!seen) hits.push_back(h);
    }
    return false;
}
