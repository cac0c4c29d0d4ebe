#include "rendergraph/BNBoxBlur.h"

#include "rendergraph/BNScratchBuffer.h"

#include <algorithm>
#include <cstddef>

namespace {

// Lines summed side by side.
constexpr size_t kGroup = 16;

// One box of half-width n along `lines` lines of `length` samples: sample k
// of line j is at base[k * along + j * across]. `ring` holds (2n + 1) *
// kGroup floats: the samples each running sum will subtract, overwritten
// meanwhile.
void boxLines(float* base, ptrdiff_t along, ptrdiff_t across, size_t lines, size_t length,
              uint32_t n, float* ring) {
    const size_t span = 2 * size_t(n);
    if (length <= span) return;
    const size_t ringSize = span + 1;
    const double width = double(span + 1);
    for (size_t first = 0; first < lines; first += kGroup) {
        const size_t count = std::min(kGroup, lines - first);
        float* line = base + ptrdiff_t(first) * across;
        double sum[kGroup] = {};
        for (size_t k = 0; k < span; ++k) {
            float* slot = ring + k * kGroup;
            const float* in = line + ptrdiff_t(k) * along;
            for (size_t j = 0; j < count; ++j) {
                slot[j] = in[ptrdiff_t(j) * across];
                sum[j] += slot[j];
            }
        }
        // Slot of sample k: k mod (2n + 1). Sample 2n + k goes into the slot
        // sample k - 1 left, sample k is read from its own.
        size_t newSlot = span, oldSlot = 0;
        for (size_t k = 0; k + span < length; ++k) {
            float* incoming = ring + newSlot * kGroup;
            const float* outgoing = ring + oldSlot * kGroup;
            const float* in = line + ptrdiff_t(k + span) * along;
            float* out = line + ptrdiff_t(k + n) * along;
            for (size_t j = 0; j < count; ++j) {
                incoming[j] = in[ptrdiff_t(j) * across];
                double total = sum[j] + incoming[j];
                out[ptrdiff_t(j) * across] = float(std::clamp(total / width, 0.0, 1.0));
                sum[j] = total - outgoing[j];
            }
            newSlot = oldSlot;
            oldSlot = oldSlot + 1 == ringSize ? 0 : oldSlot + 1;
        }
    }
}

}  // namespace

bool BNBoxBlurPlane(float* data, uint64_t width, uint64_t height, uint64_t bytesPerRow,
                    const std::vector<uint32_t>& halfWidths, BNRenderingContext& context) {
    if (halfWidths.empty()) return true;
    uint32_t widest = *std::max_element(halfWidths.begin(), halfWidths.end());
    BNScratchBuffer<float> ring(context, (2 * size_t(widest) + 1) * kGroup);
    if (!ring.isValid()) return false;
    const auto rowFloats = ptrdiff_t(bytesPerRow / sizeof(float));
    float* block = data;
    for (uint32_t n : halfWidths) {
        boxLines(block, 1, rowFloats, height, width, n, ring.data());
        boxLines(block, rowFloats, 1, width, height, n, ring.data());
        if (width <= 2 * uint64_t(n) || height <= 2 * uint64_t(n)) break;
        width -= 2 * uint64_t(n);
        height -= 2 * uint64_t(n);
        block += ptrdiff_t(n) * rowFloats + ptrdiff_t(n);
    }
    return true;
}
