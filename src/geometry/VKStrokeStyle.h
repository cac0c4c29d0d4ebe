#pragma once
// VKStrokeStyle: how a path is stroked: width, position of the stroke
// relative to the path, caps, joins, miter limit and dash pattern.
//
// A plain value with accessors; not safe for concurrent mutation, and read
// from many threads only once no one changes it (the render graph shares
// styles read-only).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Stroke positions, shared with the document's vector strokes and the
// bitmap stroke nodes. Inside and outside strokes lie to one side of the
// path: inside on the left of its direction in a y-up frame, which is the
// interior of a path that is clockwise on a y-down screen.
enum VKStrokePosition : int {
    VKStrokePositionCentered = 0,
    VKStrokePositionInside = 1,
    VKStrokePositionOutside = 2,
};
enum VKLineCap : int { VKLineCapButt = 0, VKLineCapRound = 1, VKLineCapSquare = 2 };
enum VKLineJoin : int { VKLineJoinMiter = 0, VKLineJoinRound = 1, VKLineJoinBevel = 2 };

class VKStrokeStyle {
public:
    // Width 1, centred, butt caps, miter joins, miter limit 10, solid.
    VKStrokeStyle() = default;

    std::shared_ptr<VKStrokeStyle> copy() const { return std::make_shared<VKStrokeStyle>(*this); }

    double width() const { return width_; }
    void setWidth(double width) { width_ = width; }
    // The setters of position, cap and join ignore a value that is none of
    // the enumerators (a damaged document's number).
    VKStrokePosition position() const { return position_; }
    void setPosition(VKStrokePosition position);
    VKLineCap cap() const { return cap_; }
    void setCap(VKLineCap cap);
    VKLineJoin join() const { return join_; }
    void setJoin(VKLineJoin join);
    // A miter join becomes a bevel where the miter would reach further than
    // miterLimit x width from the inner corner of the join.
    double miterLimit() const { return miterLimit_; }
    void setMiterLimit(double miterLimit) { miterLimit_ = miterLimit; }

    // Copies `count` dash lengths (on, off, on, ...) and the phase, the
    // distance into the pattern at which the path starts. A count of 0 (or
    // no lengths) makes the stroke solid.
    void setLineDash(const double* lengths, size_t count, double phase);
    // Any of the three may be null; `lengths` receives the lengths when given
    // (room for *count of them is the caller's business).
    void getLineDash(double* lengths, uint64_t* count, double* phase) const;
    // The dash lengths; empty when solid.
    const std::vector<double>& dashPattern() const { return dash_; }
    double dashPhase() const { return phase_; }

private:
    double width_ = 1;
    VKStrokePosition position_ = VKStrokePositionCentered;
    VKLineCap cap_ = VKLineCapButt;
    VKLineJoin join_ = VKLineJoinMiter;
    double miterLimit_ = 10;
    std::vector<double> dash_;
    double phase_ = 0;
};
