#include "platform/images/PNGRowFilter.h"

#include <cstdlib>
#include <cstring>

namespace lf {
namespace {

constexpr size_t kBpp = 4;

// Each filter is a plain loop over the row with the left neighbours of the
// first pixel taken as 0, so that the compiler vectorises it: the
// predictions read the unfiltered rows only.

void filterSub(const uint8_t* row, uint8_t* out, size_t n) {
    for (size_t i = 0; i < kBpp; ++i)
        out[i] = row[i];
    for (size_t i = kBpp; i < n; ++i)
        out[i] = static_cast<uint8_t>(row[i] - row[i - kBpp]);
}

void filterUp(const uint8_t* row, const uint8_t* up, uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>(row[i] - up[i]);
}

void filterAverage(const uint8_t* row, const uint8_t* up, uint8_t* out, size_t n) {
    for (size_t i = 0; i < kBpp; ++i)
        out[i] = static_cast<uint8_t>(row[i] - (up[i] >> 1));
    for (size_t i = kBpp; i < n; ++i)
        out[i] = static_cast<uint8_t>(row[i] - ((unsigned{row[i - kBpp]} + up[i]) >> 1));
}

void filterPaeth(const uint8_t* row, const uint8_t* up, uint8_t* out, size_t n) {
    // With a = c = 0 the predictor of the first pixel is the byte above.
    for (size_t i = 0; i < kBpp; ++i)
        out[i] = static_cast<uint8_t>(row[i] - up[i]);
    for (size_t i = kBpp; i < n; ++i) {
        const int a = row[i - kBpp], b = up[i], c = up[i - kBpp];
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        out[i] = static_cast<uint8_t>(row[i] - predictor);
    }
}

uint64_t signedMagnitudeSum(const uint8_t* bytes, size_t n) {
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned v = bytes[i];
        sum += v < 128 ? v : 256 - v;
    }
    return sum;
}

}  // namespace

PNGRowFilter::PNGRowFilter(size_t rowBytes) : rowBytes_(rowBytes), zeros_(rowBytes, 0) {
    for (auto& candidate : candidates_)
        candidate.resize(rowBytes);
}

void PNGRowFilter::filter(const uint8_t* row, const uint8_t* previous, uint8_t* out) {
    const uint8_t* up = previous ? previous : zeros_.data();
    filterSub(row, candidates_[0].data(), rowBytes_);
    filterUp(row, up, candidates_[1].data(), rowBytes_);
    filterAverage(row, up, candidates_[2].data(), rowBytes_);
    filterPaeth(row, up, candidates_[3].data(), rowBytes_);

    int best = 0;  // None
    uint64_t bestSum = signedMagnitudeSum(row, rowBytes_);
    for (int type = 1; type <= 4; ++type) {
        const uint64_t sum = signedMagnitudeSum(candidates_[type - 1].data(), rowBytes_);
        if (sum < bestSum) {
            bestSum = sum;
            best = type;
        }
    }
    out[0] = static_cast<uint8_t>(best);
    std::memcpy(out + 1, best == 0 ? row : candidates_[best - 1].data(), rowBytes_);
}

}  // namespace lf
