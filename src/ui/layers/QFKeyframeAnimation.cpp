#include "ui/layers/QFKeyframeAnimation.h"

#include <algorithm>
#include <cmath>

namespace {

// One piece of a path: a straight line (the two control points on its ends)
// or a cubic Bezier curve.
struct Segment {
    QPointF start, control1, control2, end;

    QPointF at(double t) const {
        const double u = 1 - t;
        return start * (u * u * u) + control1 * (3 * u * u * t) + control2 * (3 * u * t * t) +
               end * (t * t * t);
    }
};

std::vector<Segment> segmentsOf(const QPainterPath& path) {
    std::vector<Segment> segments;
    QPointF current;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element element = path.elementAt(i);
        switch (element.type) {
            case QPainterPath::MoveToElement:
                current = element;
                break;
            case QPainterPath::LineToElement:
                segments.push_back({current, current, QPointF(element), QPointF(element)});
                current = element;
                break;
            case QPainterPath::CurveToElement:
                if (i + 2 < path.elementCount()) {
                    const QPointF end = path.elementAt(i + 2);
                    segments.push_back({current, element, path.elementAt(i + 1), end});
                    current = end;
                    i += 2;
                }
                break;
            case QPainterPath::CurveToDataElement:
                break;
        }
    }
    return segments;
}

}  // namespace

QPointF QFKeyframeAnimation::pointAlongPath(const QPainterPath& path, double progress) {
    const std::vector<Segment> segments = segmentsOf(path);
    if (segments.empty()) return path.elementCount() > 0 ? QPointF(path.elementAt(0)) : QPointF();
    const double scaled = std::clamp(progress, 0.0, 1.0) * double(segments.size());
    const size_t index = std::min(static_cast<size_t>(scaled), segments.size() - 1);
    return segments[index].at(scaled - double(index));
}

QFLayerValue QFKeyframeAnimation::valueAtProgress(double progress) const {
    if (path_.elementCount() > 0) return pointAlongPath(path_, progress);
    if (values_.empty()) return 0.0;
    if (values_.size() == 1) return values_.front();
    const double scaled = std::clamp(progress, 0.0, 1.0) * double(values_.size() - 1);
    const size_t index = std::min(static_cast<size_t>(scaled), values_.size() - 2);
    return QFInterpolateLayerValues(values_[index], values_[index + 1], scaled - double(index));
}
