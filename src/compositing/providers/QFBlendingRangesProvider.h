#pragma once
// QFBlendingRangesProvider: a layer's Blend If ranges as lookup tables for
// the blending-ranges mask node, either the source ranges (the layer's own
// pixels) or the destination ranges (what lies under the layer).
//
// A range is four fractions (black low, black high, white low, white high);
// a pixel whose value lies between the black high and the white low
// sliders is kept, and the split sliders fade it out linearly to the low
// black and high white ends. Immutable; read from several tile threads at
// once.

#include "psd/OMPSDBlendingOptions.h"
#include "rendergraph/masks/BNBlendingRangesProvider.h"

#include <memory>

class QFBlendingRangesProvider final : public BNBlendingRangesProvider {
public:
    // `list` may be null: then colour channels 0 to 2 and gray read as the
    // empty range (0, 0, 0, 0).
    QFBlendingRangesProvider(std::shared_ptr<const OMPSDBlendingRangesList> list, bool isSource)
        : list_(std::move(list)), isSource_(isSource) {}

    bool isSource() const { return isSource_; }

    // No data exactly when the channel's range is the full range (0, 0, 1,
    // 1); channels 3 and up always read as the full range.
    bool hasColorBlendingRangeDataForChannel(uint64_t channel) const override;
    void generateColorBlendingRangeValues(float* values, uint64_t count,
                                          uint64_t channel) const override;
    bool hasGrayBlendingRangeData() const override;
    void generateGrayBlendingRangeValues(float* values, uint64_t count) const override;

private:
    OMPSDBlendingRange rangeForChannel(uint64_t channel) const;
    OMPSDBlendingRange grayRange() const;

    std::shared_ptr<const OMPSDBlendingRangesList> list_;
    bool isSource_;
};

// Fills `values` (count of at least 2) with the weights of `range` at the
// positions i / (count - 1) (computed in single precision): 1 between the
// black high and white low sliders, rising from black low and falling to
// white high, each ramp widened by one step so that a slider pair that
// meets still fades over one step.
void QFBlendingRangeCurve(const OMPSDBlendingRange& range, float* values, uint64_t count);
