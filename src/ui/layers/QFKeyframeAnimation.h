#pragma once
// QFKeyframeAnimation: an animation of a layer's property through several
// values, or along a path (QFLayerAnimation.h).
//
// Values are spaced evenly over the (eased) progress and joined by straight
// interpolation. A path's segments (straight lines and cubic Bezier curves)
// each take an equal share of the progress, and within a segment the curve
// parameter advances with the progress, so the speed along the path
// follows the curve's own spacing. A point of the path is a position; for a
// number property its x is the value, and for a transform its x the scale
// along x and its y the scale along y.
//
// Threads: main thread only.

#include "ui/layers/QFLayerAnimation.h"

#include <QPainterPath>

#include <vector>

class QFKeyframeAnimation final : public QFLayerAnimation {
public:
    explicit QFKeyframeAnimation(std::string keyPath) : QFLayerAnimation(std::move(keyPath)) {}

    std::shared_ptr<QFLayerAnimation> copy() const override {
        return std::make_shared<QFKeyframeAnimation>(*this);
    }

    const std::vector<QFLayerValue>& values() const { return values_; }
    void setValues(std::vector<QFLayerValue> values) { values_ = std::move(values); }
    // A path takes the place of the values.
    const QPainterPath& path() const { return path_; }
    void setPath(const QPainterPath& path) { path_ = path; }

    QFLayerValue valueAtProgress(double progress) const override;

    // The point at `progress` along `path`, as described above; the origin
    // for a path without segments.
    static QPointF pointAlongPath(const QPainterPath& path, double progress);

private:
    std::vector<QFLayerValue> values_;
    QPainterPath path_;
};
