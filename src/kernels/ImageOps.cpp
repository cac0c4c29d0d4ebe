#include "kernels/ImageOps.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lf {
namespace {

constexpr uint32_t kMaxTentTaps = 8189;

template <class T>
T* rowOf(const ImageBuffer& buffer, size_t y) {
    return reinterpret_cast<T*>(static_cast<char*>(buffer.data) + y * buffer.rowBytes);
}

bool hasRows(const ImageBuffer& buffer, size_t bytesPerPixel) {
    return buffer.rowBytes >= size_t(buffer.width) * bytesPerPixel;
}

// Checks shared by the two convolutions.
ImageOpResult checkConvolution(const ImageBuffer& source, const ImageBuffer& destination,
                               size_t bytesPerPixel, uint32_t srcOffsetX, uint32_t srcOffsetY,
                               uint32_t kernelHeight, uint32_t kernelWidth) {
    if (!source.data || !destination.data) return kImageOpNullPointer;
    if (kernelHeight % 2 == 0 || kernelWidth % 2 == 0) return kImageOpInvalidKernelSize;
    if (!hasRows(source, bytesPerPixel) || !hasRows(destination, bytesPerPixel))
        return kImageOpSizeMismatch;
    if (uint64_t(srcOffsetX) + destination.width > source.width ||
        uint64_t(srcOffsetY) + destination.height > source.height)
        return kImageOpRegionOutsideSource;
    if (source.data == destination.data) return kImageOpOverlap;
    return kImageOpNoError;
}

// The range [first, last) of destination positions along one axis whose
// kernel of radius r, centred at position + offset, lies inside the source.
struct Span {
    uint32_t first, last;
};
Span interior(uint32_t destinationSize, uint32_t sourceSize, uint32_t offset, uint32_t r) {
    const int64_t first = std::max<int64_t>(0, int64_t(r) - offset);
    const int64_t last =
        std::min<int64_t>(destinationSize, int64_t(sourceSize) - int64_t(r) - offset);
    return last > first ? Span{uint32_t(first), uint32_t(last)} : Span{0, 0};
}

// Copies the source centre of every destination pixel outside the interior.
template <class T>
void copyEdges(const ImageBuffer& source, const ImageBuffer& destination, uint32_t srcOffsetX,
               uint32_t srcOffsetY, Span columns, Span rows) {
    for (uint32_t y = 0; y < destination.height; ++y) {
        const T* s = rowOf<T>(source, size_t(y) + srcOffsetY) + srcOffsetX;
        T* d = rowOf<T>(destination, y);
        if (y < rows.first || y >= rows.last || columns.first == columns.last) {
            std::memcpy(d, s, sizeof(T) * destination.width);
            continue;
        }
        std::memcpy(d, s, sizeof(T) * columns.first);
        std::memcpy(d + columns.last, s + columns.last,
                    sizeof(T) * (destination.width - columns.last));
    }
}

// out[i * outStep] = sum over d in [-r, r] of (r + 1 - |d|) in[(i + d) * inStep],
// for i in [0, n). `in` must be readable from -r to n + r - 1 steps. The
// tent is a box of r + 1 taps applied twice, each a running sum; `box`
// holds n + r values.
template <class In, class Out>
void tent1D(const In* in, ptrdiff_t inStep, Out* out, ptrdiff_t outStep, size_t n, uint32_t r,
            uint64_t* box) {
    // box[j] = sum of in[j - r .. j] for j in [0, n + r).
    uint64_t sum = 0;
    for (ptrdiff_t k = -ptrdiff_t(r); k < 0; ++k)
        sum += in[k * inStep];
    for (size_t j = 0; j < n + r; ++j) {
        sum += in[(ptrdiff_t(j)) * inStep];
        box[j] = sum;
        sum -= in[(ptrdiff_t(j) - ptrdiff_t(r)) * inStep];
    }
    // out[i] = sum of box[i .. i + r].
    uint64_t total = 0;
    for (size_t j = 0; j < r; ++j)
        total += box[j];
    for (size_t i = 0; i < n; ++i) {
        total += box[i + r];
        out[ptrdiff_t(i) * outStep] = Out(total);
        total -= box[i];
    }
}

}  // namespace

ImageOpResult convolvePlanarF(const ImageBuffer& source, const ImageBuffer& destination,
                              uint32_t srcOffsetX, uint32_t srcOffsetY, const float* kernel,
                              uint32_t kernelHeight, uint32_t kernelWidth) {
    if (!kernel) return kImageOpNullPointer;
    if (ImageOpResult r = checkConvolution(source, destination, sizeof(float), srcOffsetX,
                                           srcOffsetY, kernelHeight, kernelWidth))
        return r;
    const uint32_t rx = kernelWidth / 2, ry = kernelHeight / 2;
    const Span columns = interior(destination.width, source.width, srcOffsetX, rx);
    const Span rows = interior(destination.height, source.height, srcOffsetY, ry);
    copyEdges<float>(source, destination, srcOffsetX, srcOffsetY, columns, rows);
    const uint32_t count = columns.last - columns.first;
    for (uint32_t y = rows.first; y < rows.last; ++y) {
        float* d = rowOf<float>(destination, y) + columns.first;
        std::fill(d, d + count, 0.0f);
        // Tap by tap over the whole row, so each pixel still sums its taps
        // in kernel order (and the inner loop vectorises).
        for (uint32_t ky = 0; ky < kernelHeight; ++ky) {
            const float* s = rowOf<float>(source, size_t(y) + srcOffsetY + ky - ry) +
                             (size_t(columns.first) + srcOffsetX - rx);
            for (uint32_t kx = 0; kx < kernelWidth; ++kx) {
                const float weight = kernel[size_t(ky) * kernelWidth + kx];
                for (uint32_t x = 0; x < count; ++x)
                    d[x] += weight * s[x + kx];
            }
        }
    }
    return kImageOpNoError;
}

namespace {

// The running box sums at the start of the tent's working memory, one per
// sample of the longest line it sums; the horizontal pass's rows follow.
size_t tentBoxCount(const ImageBuffer& destination, uint32_t kernelHeight, uint32_t kernelWidth) {
    const size_t rows = size_t(destination.height) + kernelHeight;
    return std::max<size_t>(rows, destination.width) + kernelWidth + kernelHeight;
}

}  // namespace

size_t tentConvolvePlanar8TempSize(const ImageBuffer& destination, uint32_t kernelHeight,
                                   uint32_t kernelWidth) {
    const size_t rows = size_t(destination.height) + kernelHeight;
    return tentBoxCount(destination, kernelHeight, kernelWidth) * sizeof(uint64_t) +
           rows * destination.width * sizeof(uint32_t);
}

ImageOpResult tentConvolvePlanar8(const ImageBuffer& source, const ImageBuffer& destination,
                                  void* temp, uint32_t srcOffsetX, uint32_t srcOffsetY,
                                  uint32_t kernelHeight, uint32_t kernelWidth) {
    if (ImageOpResult r = checkConvolution(source, destination, 1, srcOffsetX, srcOffsetY,
                                           kernelHeight, kernelWidth))
        return r;
    if (kernelHeight > kMaxTentTaps || kernelWidth > kMaxTentTaps) return kImageOpInvalidKernelSize;
    const uint32_t rx = kernelWidth / 2, ry = kernelHeight / 2;
    const Span columns = interior(destination.width, source.width, srcOffsetX, rx);
    const Span rows = interior(destination.height, source.height, srcOffsetY, ry);
    copyEdges<uint8_t>(source, destination, srcOffsetX, srcOffsetY, columns, rows);
    const uint32_t width = columns.last - columns.first, height = rows.last - rows.first;
    if (width == 0 || height == 0) return kImageOpNoError;

    std::vector<unsigned char> ownTemp;
    if (!temp) {
        ownTemp.resize(tentConvolvePlanar8TempSize(destination, kernelHeight, kernelWidth));
        temp = ownTemp.data();
    }
    const size_t sourceRows = size_t(height) + 2 * ry;
    uint64_t* box = static_cast<uint64_t*>(temp);
    uint32_t* horizontal =
        reinterpret_cast<uint32_t*>(box + tentBoxCount(destination, kernelHeight, kernelWidth));

    // Horizontal tents of every source row the interior reads.
    const size_t firstRow = size_t(rows.first) + srcOffsetY - ry;
    for (size_t r = 0; r < sourceRows; ++r) {
        const uint8_t* s = rowOf<uint8_t>(source, firstRow + r) + columns.first + srcOffsetX;
        tent1D(s, 1, horizontal + r * width, 1, width, rx, box);
    }
    // Vertical tents down each column, rounded to the nearest level.
    const uint64_t divisor = uint64_t(rx + 1) * (rx + 1) * (ry + 1) * (ry + 1);
    std::vector<uint64_t> column(height);
    for (uint32_t x = 0; x < width; ++x) {
        tent1D(horizontal + size_t(ry) * width + x, ptrdiff_t(width), column.data(), 1, height, ry,
               box);
        for (uint32_t y = 0; y < height; ++y)
            rowOf<uint8_t>(destination, size_t(rows.first) + y)[columns.first + x] =
                uint8_t((column[y] + divisor / 2) / divisor);
    }
    return kImageOpNoError;
}

ImageOpResult convertPlanarFToPlanar8(const ImageBuffer& source, const ImageBuffer& destination,
                                      float maxFloat, float minFloat) {
    if (!source.data || !destination.data) return kImageOpNullPointer;
    if (source.width != destination.width || source.height != destination.height ||
        !hasRows(source, sizeof(float)) || !hasRows(destination, 1))
        return kImageOpSizeMismatch;
    if (!(maxFloat > minFloat)) return kImageOpInvalidRange;
    const float range = maxFloat - minFloat;
    for (uint32_t y = 0; y < source.height; ++y) {
        const float* s = rowOf<float>(source, y);
        uint8_t* d = rowOf<uint8_t>(destination, y);
        for (uint32_t x = 0; x < source.width; ++x) {
            const float u = (s[x] - minFloat) / range * 255.0f;
            const float clamped = u > 0.0f ? (u < 255.0f ? u : 255.0f) : 0.0f;
            d[x] = uint8_t(clamped + 0.5f);
        }
    }
    return kImageOpNoError;
}

ImageOpResult convertPlanar8ToPlanarF(const ImageBuffer& source, const ImageBuffer& destination,
                                      float maxFloat, float minFloat) {
    if (!source.data || !destination.data) return kImageOpNullPointer;
    if (source.width != destination.width || source.height != destination.height ||
        !hasRows(source, 1) || !hasRows(destination, sizeof(float)))
        return kImageOpSizeMismatch;
    const float range = maxFloat - minFloat;
    for (uint32_t y = 0; y < source.height; ++y) {
        const uint8_t* s = rowOf<uint8_t>(source, y);
        float* d = rowOf<float>(destination, y);
        for (uint32_t x = 0; x < source.width; ++x)
            d[x] = minFloat + float(s[x]) * range / 255.0f;
    }
    return kImageOpNoError;
}

ImageOpResult premultiplyRGBAFFFF(const ImageBuffer& source, const ImageBuffer& destination) {
    if (!source.data || !destination.data) return kImageOpNullPointer;
    if (source.width != destination.width || source.height != destination.height ||
        !hasRows(source, 4 * sizeof(float)) || !hasRows(destination, 4 * sizeof(float)))
        return kImageOpSizeMismatch;
    for (uint32_t y = 0; y < source.height; ++y) {
        const float* s = rowOf<float>(source, y);
        float* d = rowOf<float>(destination, y);
        for (uint32_t x = 0; x < 4 * source.width; x += 4) {
            const float a = s[x + 3];
            d[x] = s[x] * a;
            d[x + 1] = s[x + 1] * a;
            d[x + 2] = s[x + 2] * a;
            d[x + 3] = a;
        }
    }
    return kImageOpNoError;
}

namespace {

// One source pixel's part in a destination pixel along one axis.
struct BoxTap {
    uint32_t source;
    float weight;
};

// For each of `destinationSize` positions, the source pixels its box covers
// (from `first[d]` to `first[d + 1]` in the returned taps) with the share of
// each that lies in the box, divided by the box's length.
std::vector<BoxTap> boxTaps(uint32_t sourceSize, uint32_t destinationSize,
                            std::vector<size_t>& first) {
    std::vector<BoxTap> taps;
    first.assign(size_t(destinationSize) + 1, 0);
    const double step = double(sourceSize) / destinationSize;
    for (uint32_t d = 0; d < destinationSize; ++d) {
        first[d] = taps.size();
        const double begin = d * step, end = std::min(double(sourceSize), (d + 1) * step);
        for (auto s = uint32_t(begin); s < sourceSize && s < end; ++s) {
            const double covered = std::min(end, s + 1.0) - std::max(begin, double(s));
            if (covered > 0) taps.push_back({s, float(covered / step)});
        }
    }
    first[destinationSize] = taps.size();
    return taps;
}

}  // namespace

ImageOpResult scaleRGBA8888(const ImageBuffer& source, const ImageBuffer& destination) {
    if (!source.data || !destination.data) return kImageOpNullPointer;
    if (source.width == 0 || source.height == 0 || destination.width == 0 ||
        destination.height == 0 || !hasRows(source, 4) || !hasRows(destination, 4))
        return kImageOpSizeMismatch;
    const auto* sourceBytes = static_cast<const char*>(source.data);
    const auto* destinationBytes = static_cast<const char*>(destination.data);
    if (sourceBytes < destinationBytes + destination.rowBytes * destination.height &&
        destinationBytes < sourceBytes + source.rowBytes * source.height)
        return kImageOpOverlap;

    std::vector<size_t> firstColumn, firstRow;
    const std::vector<BoxTap> columns = boxTaps(source.width, destination.width, firstColumn);
    const std::vector<BoxTap> rows = boxTaps(source.height, destination.height, firstRow);
    // One destination row at a time: the source rows its boxes cover, each
    // narrowed to the destination's width, summed by their weights.
    std::vector<float> sum(size_t(destination.width) * 4);
    for (uint32_t y = 0; y < destination.height; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (size_t r = firstRow[y]; r < firstRow[y + 1]; ++r) {
            const uint8_t* in = rowOf<const uint8_t>(source, rows[r].source);
            for (uint32_t x = 0; x < destination.width; ++x) {
                float channels[4] = {0, 0, 0, 0};
                for (size_t c = firstColumn[x]; c < firstColumn[x + 1]; ++c)
                    for (int k = 0; k < 4; ++k)
                        channels[k] += columns[c].weight * in[size_t(columns[c].source) * 4 + k];
                for (int k = 0; k < 4; ++k)
                    sum[size_t(x) * 4 + k] += rows[r].weight * channels[k];
            }
        }
        uint8_t* out = rowOf<uint8_t>(destination, y);
        for (size_t i = 0; i < sum.size(); ++i)
            out[i] = uint8_t(std::clamp(sum[i] + 0.5f, 0.0f, 255.0f));
    }
    return kImageOpNoError;
}

}  // namespace lf
