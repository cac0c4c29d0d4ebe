#pragma once
// OMPSDContour: a tone curve of points in 0..1 on both axes, from a layer
// style's contour descriptor ("ShpC" with "Crv " points, "Hrzn" and "Vrtc"
// 0..255) or a curves adjustment (input and output levels 0..255).
// Immutable once decoded; safe to share between threads.
#include <memory>
#include <vector>

class OMPSDDescriptorDecoder;

class OMPSDContourPoint {
public:
    OMPSDContourPoint() = default;
    OMPSDContourPoint(double horizontal, double vertical, bool isContinuous = true)
        : horizontal_(horizontal), vertical_(vertical), isContinuous_(isContinuous) {}
    double horizontal() const { return horizontal_; }
    double vertical() const { return vertical_; }
    // False at a corner ("Cnty" false): the curve bends there without a
    // shared tangent.
    bool isContinuous() const { return isContinuous_; }
    friend bool operator==(const OMPSDContourPoint&, const OMPSDContourPoint&) = default;

private:
    double horizontal_ = 0, vertical_ = 0;
    bool isContinuous_ = true;
};

class OMPSDContour {
public:
    explicit OMPSDContour(std::vector<OMPSDContourPoint> points);

    // The contour of a "ShpC" descriptor; null when it has no points.
    static std::shared_ptr<const OMPSDContour> fromDescriptor(const OMPSDDescriptorDecoder& d);

    const std::vector<OMPSDContourPoint>& points() const { return points_; }
    // The points cut at every corner: a corner ends one piece and starts the
    // next, continuous in both. Pieces of fewer than two points are dropped
    // (a corner at the very start, or a last run of one point), since a
    // spline needs two.
    // Made on each call.
    std::vector<std::shared_ptr<const OMPSDContour>> continuousPieces() const;

private:
    std::vector<OMPSDContourPoint> points_;
};
