#include "geometry/VKStrokeStyle.h"

#include <algorithm>

void VKStrokeStyle::setPosition(int position) {
    if (position >= 0 && position <= 2) position_ = position;
}

void VKStrokeStyle::setCap(int cap) {
    if (cap >= 0 && cap <= 2) cap_ = cap;
}

void VKStrokeStyle::setJoin(int join) {
    if (join >= 0 && join <= 2) join_ = join;
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
