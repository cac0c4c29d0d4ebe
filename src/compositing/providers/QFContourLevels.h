#pragma once
// The input levels of a tone curve of `count` entries: entry k stands for
// k / (count - 1). The contour providers walk them by adding the step once
// per entry in double precision (a sum, not k times the step), which is
// what the curves' tables are defined by.

#include <cstdint>

// Calls `write(k, x)` for every entry in order.
template <typename Write>
void QFForEachContourLevel(uint64_t count, Write&& write) {
    double step = count > 1 ? 1.0 / static_cast<double>(count - 1) : 0.0;
    double x = 0;
    for (uint64_t k = 0; k < count; ++k, x += step)
        write(k, x);
}

// Writes the identity curve: entry k is k / (count - 1).
inline void QFWriteIdentityContour(float* values, uint64_t count) {
    QFForEachContourLevel(count, [&](uint64_t k, double x) { values[k] = static_cast<float>(x); });
}
