#include "ui/layers/QFTextBackgroundPath.h"

#include <algorithm>
#include <cmath>

namespace {

// Appends an arc in y-up coordinates (angles in degrees, counter-clockwise
// from the positive x axis), joined to the path by a straight line.
void appendArc(QPainterPath& path, QPointF center, double radius, double startAngle,
               double endAngle, bool clockwise) {
    const double start = startAngle * M_PI / 180;
    const QPointF from = center + radius * QPointF(std::cos(start), std::sin(start));
    if (path.elementCount() == 0) path.moveTo(from);
    double sweep = clockwise ? -std::fmod(std::fmod(startAngle - endAngle, 360) + 360, 360)
                             : std::fmod(std::fmod(endAngle - startAngle, 360) + 360, 360);
    // Qt's angles turn the other way in these y-up numbers.
    path.arcTo(QRectF(center - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius)),
               -startAngle, -sweep);
}

QRectF integral(const QRectF& rect) {
    const double left = std::floor(rect.left()), top = std::floor(rect.top());
    return QRectF(left, top, std::ceil(rect.right()) - left, std::ceil(rect.bottom()) - top);
}

}  // namespace

std::vector<QRectF> QFMergedTextLineRects(std::vector<QRectF> lines) {
    for (QRectF& line : lines)
        line = integral(line);
    for (bool changed = true; changed;) {
        changed = false;
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            QRectF& a = lines[i];
            QRectF& b = lines[i + 1];
            const double difference = std::fabs(a.width() - b.width());
            if (difference == 0 || difference >= 2 * std::max(a.height(), b.height())) continue;
            const double left = std::min(a.left(), b.left());
            const double width = std::max(a.width(), b.width());
            a = QRectF(left, a.top(), width, a.height());
            b = QRectF(left, b.top(), width, b.height());
            changed = true;
        }
    }
    return lines;
}

QPainterPath QFTextBackgroundPath(const std::vector<QRectF>& lineRects) {
    QPainterPath path;
    if (lineRects.empty()) return path;
    const std::vector<QRectF> r = QFMergedTextLineRects(lineRects);
    const size_t n = r.size();
    auto half = [&](size_t i) { return r[i].height() / 2; };
    // QRectF's bottom is its greatest y: the top edge in y-up coordinates.
    auto minY = [&](size_t i) { return r[i].top(); };
    auto maxY = [&](size_t i) { return r[i].bottom(); };

    path.moveTo(r[0].left(), maxY(0));
    appendArc(path, QPointF(r[0].right(), maxY(0) - half(0)), half(0), 90, 0, true);

    for (size_t i = 1; i < n; ++i) {
        const double a = r[i - 1].right(), b = r[i].right();
        const double m = (minY(i - 1) + maxY(i)) / 2;
        const double rp = half(i - 1), rc = half(i);
        if (std::fabs(a - b) < 0.1) {
            path.lineTo((a + rp + b + rc) / 2, m);
        } else if (a <= b) {
            const double q = rp / 2;
            appendArc(path, QPointF(a + 3 * q, m + q), q, 180, 270, false);
            appendArc(path, QPointF(b, m - rc), rc, 90, 0, true);
        } else {
            appendArc(path, QPointF(a, m + rp), rp, 0, 270, true);
            const double q = rc / 2;
            appendArc(path, QPointF(b + 3 * q, m - q), q, 90, 180, false);
        }
    }

    const size_t last = n - 1;
    appendArc(path, QPointF(r[last].right(), minY(last) + half(last)), half(last), 0, 270, true);
    appendArc(path, QPointF(r[last].left(), minY(last) + half(last)), half(last), 270, 180, true);

    for (size_t i = last; i >= 1; --i) {
        const double a = r[i - 1].left(), b = r[i].left();
        const double m = (minY(i - 1) + maxY(i)) / 2;
        const double rp = half(i - 1), rc = half(i);
        if (std::fabs(a - b) < 0.1) {
            path.lineTo((a - rp + b - rc) / 2, m);
        } else if (b <= a) {
            appendArc(path, QPointF(b, m - rc), rc, 180, 90, true);
            const double q = rp / 2;
            appendArc(path, QPointF(a - 3 * q, m + q), q, 270, 0, false);
        } else {
            const double q = rc / 2;
            appendArc(path, QPointF(b - 3 * q, m - q), q, 0, 90, false);
            appendArc(path, QPointF(a, m + rp), rp, 270, 180, true);
        }
    }

    appendArc(path, QPointF(r[0].left(), maxY(0) - half(0)), half(0), 180, 90, true);
    path.closeSubpath();
    return path;
}
