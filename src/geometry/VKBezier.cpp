#include "geometry/VKBezier.h"

#include <algorithm>
#include <cmath>

namespace {

VKPoint lerp(VKPoint a, VKPoint b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

VKPoint secondDerivativeAt(const VKPathSegment& s, double t) {
    VKPoint a = s.controlPoint2 - s.controlPoint1 * 2 + s.start;
    VKPoint b = s.end - s.controlPoint2 * 2 + s.controlPoint1;
    return (a * (1 - t) + b * t) * 6;
}

// Real roots of a t^2 + b t + c in the open interval (0, 1), ascending.
void quadraticRootsInUnit(double a, double b, double c, std::vector<double>& roots) {
    constexpr double kMargin = 1e-10;
    auto keep = [&](double t) {
        if (t > kMargin && t < 1 - kMargin) roots.push_back(t);
    };
    double scale = std::fabs(b) + std::fabs(c);
    if (std::fabs(a) <= 1e-12 * scale || a == 0) {
        if (b != 0) keep(-c / b);
        return;
    }
    double disc = b * b - 4 * a * c;
    if (disc < 0) return;
    double q = -0.5 * (b + std::copysign(std::sqrt(disc), b));
    keep(q / a);
    if (q != 0) keep(c / q);
}

// Gauss-Legendre nodes and weights on [-1, 1], five points: exact for
// polynomials up to degree 9.
constexpr double kGaussNodes[5] = {0.0, -0.5384693101056831, 0.5384693101056831,
                                   -0.9061798459386640, 0.9061798459386640};
constexpr double kGaussWeights[5] = {0.5688888888888889, 0.4786286704993665, 0.4786286704993665,
                                     0.2369268850561891, 0.2369268850561891};

double speedIntegral(const VKPathSegment& s, double a, double b) {
    double half = (b - a) / 2, mid = (a + b) / 2, sum = 0;
    for (int i = 0; i < 5; ++i)
        sum += kGaussWeights[i] * VKLength(VKBezierDerivativeAt(s, mid + half * kGaussNodes[i]));
    return sum * half;
}

double adaptiveLength(const VKPathSegment& s, double a, double b, double whole, int depth) {
    double mid = (a + b) / 2;
    double left = speedIntegral(s, a, mid), right = speedIntegral(s, mid, b);
    if (depth <= 0 || std::fabs(left + right - whole) <= 1e-10 * (left + right) + 1e-300)
        return left + right;
    return adaptiveLength(s, a, mid, left, depth - 1) + adaptiveLength(s, mid, b, right, depth - 1);
}

double controlExtent(const VKPathSegment& s) {
    double extent = 0;
    for (size_t i = 1; i < 4; ++i)
        extent = std::max({extent, std::fabs(s[i].x - s.start.x), std::fabs(s[i].y - s.start.y)});
    return extent;
}

int flattenPieceCount(const VKPathSegment& segment, double tolerance) {
    if (!VKBezierIsFinite(segment)) return 1;
    // Linear interpolation over a parameter step h stays within
    // h^2 / 8 * max|B''| of the curve, and |B''| <= 6 max|second difference|.
    VKPoint d1 = segment.start - segment.controlPoint1 * 2 + segment.controlPoint2;
    VKPoint d2 = segment.controlPoint1 - segment.controlPoint2 * 2 + segment.end;
    double second = std::max(VKLength(d1), VKLength(d2));
    double floor = 1e-9 * controlExtent(segment);
    if (!(tolerance > floor)) tolerance = floor;
    if (!(second > 0) || tolerance <= 0) return 1;
    double count = std::ceil(std::sqrt(0.75 * second / tolerance));
    return static_cast<int>(std::clamp(count, 1.0, 1e6));
}

}  // namespace

double VKLength(VKPoint v) {
    return std::hypot(v.x, v.y);
}
double VKDistance(VKPoint a, VKPoint b) {
    return VKLength(a - b);
}

bool VKBezierIsFinite(const VKPathSegment& s) {
    for (size_t i = 0; i < 4; ++i)
        if (!std::isfinite(s[i].x) || !std::isfinite(s[i].y)) return false;
    return true;
}

VKPoint VKBezierPointAt(const VKPathSegment& s, double t) {
    if (t == 0) return s.start;
    if (t == 1) return s.end;
    double mt = 1 - t;
    double a = mt * mt * mt, b = 3 * mt * mt * t, c = 3 * mt * t * t, d = t * t * t;
    return {a * s.start.x + b * s.controlPoint1.x + c * s.controlPoint2.x + d * s.end.x,
            a * s.start.y + b * s.controlPoint1.y + c * s.controlPoint2.y + d * s.end.y};
}

VKPoint VKBezierDerivativeAt(const VKPathSegment& s, double t) {
    double mt = 1 - t;
    VKPoint d0 = s.controlPoint1 - s.start, d1 = s.controlPoint2 - s.controlPoint1,
            d2 = s.end - s.controlPoint2;
    return (d0 * (mt * mt) + d1 * (2 * mt * t) + d2 * (t * t)) * 3;
}

VKPoint VKBezierTangentAt(const VKPathSegment& s, double t) {
    VKPoint d = VKBezierDerivativeAt(s, t);
    double length = VKLength(d);
    double extent = controlExtent(s);
    if (length > 1e-12 * extent && length > 0) return d * (1 / length);
    // The derivative vanishes where a control point sits on its end point:
    // the curve leaves towards the next distinct point.
    VKPoint candidates[2] = {t < 0.5 ? s.controlPoint2 - s.start : s.end - s.controlPoint1,
                             s.end - s.start};
    for (VKPoint c : candidates) {
        double l = VKLength(c);
        if (l > 0) return c * (1 / l);
    }
    if (length > 0) return d * (1 / length);
    return {0, 0};
}

void VKBezierSplit(const VKPathSegment& s, double t, VKPathSegment* left, VKPathSegment* right) {
    VKPoint p01 = lerp(s.start, s.controlPoint1, t);
    VKPoint p12 = lerp(s.controlPoint1, s.controlPoint2, t);
    VKPoint p23 = lerp(s.controlPoint2, s.end, t);
    VKPoint p012 = lerp(p01, p12, t);
    VKPoint p123 = lerp(p12, p23, t);
    VKPoint mid = lerp(p012, p123, t);
    if (t == 0) mid = s.start;
    if (t == 1) mid = s.end;
    if (left) *left = {s.start, p01, p012, mid};
    if (right) *right = {mid, p123, p23, s.end};
}

VKPathSegment VKBezierReversed(const VKPathSegment& s) {
    return {s.end, s.controlPoint2, s.controlPoint1, s.start};
}

VKPathSegment VKBezierSubsegment(const VKPathSegment& s, double t0, double t1) {
    if (t0 > t1) return VKBezierReversed(VKBezierSubsegment(s, t1, t0));
    if (t0 <= 0 && t1 >= 1) return s;
    VKPathSegment left = s, result;
    if (t1 < 1) VKBezierSplit(s, t1, &left, nullptr);
    if (t0 <= 0) return left;
    if (t1 <= 0) return {s.start, s.start, s.start, s.start};
    VKBezierSplit(left, t0 / t1, nullptr, &result);
    return result;
}

std::vector<double> VKBezierExtrema(const VKPathSegment& s) {
    std::vector<double> roots;
    double coords[2][4] = {{s.start.x, s.controlPoint1.x, s.controlPoint2.x, s.end.x},
                           {s.start.y, s.controlPoint1.y, s.controlPoint2.y, s.end.y}};
    for (auto& p : coords) {
        // d/dt / 3 = a t^2 + b t + c
        double a = -p[0] + 3 * p[1] - 3 * p[2] + p[3];
        double b = 2 * (p[0] - 2 * p[1] + p[2]);
        double c = p[1] - p[0];
        quadraticRootsInUnit(a, b, c, roots);
    }
    std::sort(roots.begin(), roots.end());
    roots.erase(
        std::unique(roots.begin(), roots.end(), [](double a, double b) { return b - a < 1e-10; }),
        roots.end());
    return roots;
}

VKRect VKBezierBounds(const VKPathSegment& s) {
    double minX = std::min(s.start.x, s.end.x), maxX = std::max(s.start.x, s.end.x);
    double minY = std::min(s.start.y, s.end.y), maxY = std::max(s.start.y, s.end.y);
    for (double t : VKBezierExtrema(s)) {
        VKPoint p = VKBezierPointAt(s, t);
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return VKRectMake(minX, minY, maxX - minX, maxY - minY);
}

bool VKBezierIsLine(const VKPathSegment& s) {
    VKPoint d = s.end - s.start;
    double lengthSquared = VKDot(d, d);
    if (lengthSquared == 0) return s.controlPoint1 == s.start && s.controlPoint2 == s.start;
    double length = std::sqrt(lengthSquared);
    for (VKPoint c : {s.controlPoint1, s.controlPoint2}) {
        VKPoint v = c - s.start;
        if (std::fabs(VKCross(v, d)) > 1e-12 * lengthSquared + 1e-300) return false;
        double along = VKDot(v, d) / length;
        if (along < -1e-12 * length || along > length * (1 + 1e-12)) return false;
    }
    return true;
}

double VKBezierLength(const VKPathSegment& s, double t0, double t1) {
    if (t1 < t0) std::swap(t0, t1);
    if (VKBezierIsLine(s) && t0 == 0 && t1 == 1) return VKDistance(s.start, s.end);
    return adaptiveLength(s, t0, t1, speedIntegral(s, t0, t1), 12);
}

double VKBezierParameterAtLength(const VKPathSegment& s, double length) {
    double total = VKBezierLength(s);
    if (!(length > 0) || total <= 0) return 0;
    if (length >= total) return 1;
    double lo = 0, hi = 1, t = length / total;
    for (int i = 0; i < 40; ++i) {
        double error = VKBezierLength(s, 0, t) - length;
        if (std::fabs(error) <= 1e-12 * total) break;
        (error > 0 ? hi : lo) = t;
        double speed = VKLength(VKBezierDerivativeAt(s, t));
        double next = speed > 0 ? t - error / speed : (lo + hi) / 2;
        t = (next > lo && next < hi) ? next : (lo + hi) / 2;
    }
    return t;
}

double VKBezierSignedArea(const VKPathSegment& s) {
    // The integrand x y' - y x' is a polynomial of degree 5: five-point
    // Gauss-Legendre integrates it exactly.
    double sum = 0;
    for (int i = 0; i < 5; ++i) {
        double t = 0.5 + 0.5 * kGaussNodes[i];
        VKPoint p = VKBezierPointAt(s, t), d = VKBezierDerivativeAt(s, t);
        sum += kGaussWeights[i] * VKCross(p, d);
    }
    return sum * 0.25;
}

void VKBezierFlattenAppend(const VKPathSegment& segment, double tolerance,
                           std::vector<VKPoint>& points) {
    int count = flattenPieceCount(segment, tolerance);
    for (int i = 1; i <= count; ++i)
        points.push_back(VKBezierPointAt(segment, double(i) / count));
}

void VKBezierFlatten(const VKPathSegment& segment, double tolerance,
                     const std::function<void(double, double, double, double)>& callback) {
    int count = flattenPieceCount(segment, tolerance);
    VKPoint previous = segment.start;
    for (int i = 1; i <= count; ++i) {
        VKPoint next = VKBezierPointAt(segment, double(i) / count);
        callback(previous.x, previous.y, next.x, next.y);
        previous = next;
    }
}

VKPoint VKBezierNearestPoint(const VKPathSegment& s, VKPoint point, double* tOut) {
    if (!VKBezierIsFinite(s) || !std::isfinite(point.x) || !std::isfinite(point.y)) {
        if (tOut) *tOut = 0;
        return s.start;
    }
    // Sample, then polish every local minimum of the sampled distances with
    // Newton steps on (B(t) - p) . B'(t) = 0, kept inside its neighbours.
    constexpr int kSamples = 24;
    double distances[kSamples + 1];
    for (int i = 0; i <= kSamples; ++i) {
        VKPoint d = VKBezierPointAt(s, double(i) / kSamples) - point;
        distances[i] = VKDot(d, d);
    }
    double bestT = 0, bestDistance = distances[0];
    auto consider = [&](double t) {
        VKPoint d = VKBezierPointAt(s, t) - point;
        double distance = VKDot(d, d);
        if (distance < bestDistance || (distance == bestDistance && t < bestT)) {
            bestDistance = distance;
            bestT = t;
        }
    };
    for (int i = 0; i <= kSamples; ++i) {
        bool localMinimum = (i == 0 || distances[i] <= distances[i - 1]) &&
                            (i == kSamples || distances[i] <= distances[i + 1]);
        if (!localMinimum) continue;
        double lo = double(std::max(i - 1, 0)) / kSamples;
        double hi = double(std::min(i + 1, kSamples)) / kSamples;
        double t = double(i) / kSamples;
        consider(t);
        for (int iteration = 0; iteration < 30; ++iteration) {
            VKPoint d = VKBezierPointAt(s, t) - point;
            VKPoint d1 = VKBezierDerivativeAt(s, t);
            double g = VKDot(d, d1);
            double g1 = VKDot(d1, d1) + VKDot(d, secondDerivativeAt(s, t));
            double next = g1 > 0 ? t - g / g1 : (g > 0 ? lo : hi);
            next = std::clamp(next, lo, hi);
            if (std::fabs(next - t) < 1e-15) break;
            t = next;
        }
        consider(t);
    }
    if (tOut) *tOut = bestT;
    return VKBezierPointAt(s, bestT);
}
