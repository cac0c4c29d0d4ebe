#include "compositing/providers/QFBlendingRangesProvider.h"

#include <algorithm>

namespace {

constexpr OMPSDBlendingRange kEmptyRange{0, 0, 0, 0};

}  // namespace

OMPSDBlendingRange QFBlendingRangesProvider::rangeForChannel(uint64_t channel) const {
    if (channel > 2) return OMPSDBlendingRange{};
    if (!list_) return kEmptyRange;
    switch (channel) {
        case 0:
            return isSource_ ? list_->redSourceBlendingRange()
                             : list_->redDestinationBlendingRange();
        case 1:
            return isSource_ ? list_->greenSourceBlendingRange()
                             : list_->greenDestinationBlendingRange();
        default:
            return isSource_ ? list_->blueSourceBlendingRange()
                             : list_->blueDestinationBlendingRange();
    }
}

OMPSDBlendingRange QFBlendingRangesProvider::grayRange() const {
    if (!list_) return kEmptyRange;
    return isSource_ ? list_->graySourceBlendingRange() : list_->grayDestinationBlendingRange();
}

bool QFBlendingRangesProvider::hasColorBlendingRangeDataForChannel(uint64_t channel) const {
    return !rangeForChannel(channel).isFull();
}

void QFBlendingRangesProvider::generateColorBlendingRangeValues(float* values, uint64_t count,
                                                                uint64_t channel) const {
    QFBlendingRangeCurve(rangeForChannel(channel), values, count);
}

bool QFBlendingRangesProvider::hasGrayBlendingRangeData() const {
    return !grayRange().isFull();
}

void QFBlendingRangesProvider::generateGrayBlendingRangeValues(float* values,
                                                               uint64_t count) const {
    QFBlendingRangeCurve(grayRange(), values, count);
}

void QFBlendingRangeCurve(const OMPSDBlendingRange& range, float* values, uint64_t count) {
    if (count == 0) return;
    if (count == 1) {
        values[0] = range.isFull() ? 1.0f : 0.0f;
        return;
    }
    double blackLow = std::min(range.blackLow, range.blackHigh);
    double blackHigh = std::max(range.blackLow, range.blackHigh);
    double whiteLow = std::min(range.whiteLow, range.whiteHigh);
    double whiteHigh = std::max(range.whiteLow, range.whiteHigh);

    float step = static_cast<float>(1.0 / static_cast<double>(count - 1));
    double s = step;
    double riseStart = blackLow - s, riseWidth = blackHigh - riseStart;
    double fallEnd = whiteHigh + s, fallWidth = fallEnd - whiteLow;
    for (uint64_t i = 0; i < count; ++i) {
        double x = static_cast<float>(i) * step;
        double rise =
            (riseWidth == 0 || x < riseStart) ? 0 : std::min((x - riseStart) / riseWidth, 1.0);
        double fall;
        if (x > fallEnd) {
            fall = 0;
        } else if (fallWidth == 0 || x < whiteLow) {
            fall = 1;
        } else {
            double t = (x - whiteLow) / fallWidth;
            fall = t < 1 ? 1 - t : 0;
        }
        double value = riseStart <= fallEnd ? std::min(rise, fall) : std::max(rise, fall);
        values[i] = static_cast<float>(value);
    }
}
