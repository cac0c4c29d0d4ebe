#include "geometry/VKStrokeStyle.h"

#include <algorithm>

void VKStrokeStyle::setPosition(VKStrokePosition position) {
    if (position >= VKStrokePositionCentered && position <= VKStrokePositionOutside)
        position_ = position;
}

void VKStrokeStyle::setCap(VKLineCap cap) {
    if (cap >= VKLineCapButt && cap <= VKLineCapSquare) cap_ = cap;
}

void VKStrokeStyle::setJoin(VKLineJoin join) {
    if (join >= VKLineJoinMiter && join <= VKLineJoinBevel) join_ = join;
}

void VKStrokeStyle::setLineDash(const double* lengths, size_t count, double phase) {
    if (lengths)
        dash_.assign(lengths, lengths + count);
    else
        dash_.clear();
    phase_ = phase;
}

void VKStrokeStyle::getLineDash(double* lengths, uint64_t* count, double* phase) const {
    if (lengths) std::copy(dash_.begin(), dash_.end(), lengths);
    if (count) *count = dash_.size();
    if (phase) *phase = phase_;
}
