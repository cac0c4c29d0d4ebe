#pragma once
// Rendering one node into a float surface, and converting a surface to
// 8-bit RGBA: the two steps of every tile of a tiled render.

#include "rendergraph/core/BNColorProfile.h"
#include "rendergraph/core/BNRenderNode.h"

#include <cstdint>
#include <functional>
#include <memory>

// A new BNRenderer with `profile` renders `node` over `rect` at `scaleFactor`.
BNSurfacePtr QFRenderNodeWithColorProfile(const BNRenderNodePtr& node,
                                          const std::shared_ptr<const BNColorProfile>& profile,
                                          VKRect rect, double scaleFactor);

// Converts `surface` to 8-bit RGBA, rows of width-in-pixels * 4 bytes, and
// hands the bytes to `consumer`; the buffer is freed when the consumer
// returns.
// - One-channel surfaces (A or F) give grey: (v, v, v, 255), v the sample
//   times 255 in double precision.
// - Four-channel surfaces (RGBA, RGBF) give each sample times 255 in single
//   precision, the fourth byte being the coverage; colour stays
//   premultiplied with `keepPremultiplied`, else it is divided by the
//   coverage.
// Values round to the nearest integer, halves away from zero, and are
// clamped to 0..255; not-a-number becomes 0.
void QFCopyUnpremultipliedRGBA(
    const BNSurface& surface, bool keepPremultiplied,
    const std::function<void(const uint8_t* bytes, uint64_t width, uint64_t height,
                             uint64_t bytesPerRow)>& consumer);

// The conversion above, written straight into `destination` (rows
// `destinationBytesPerRow` apart): the first `columns` by `rows` pixels of
// the surface, or fewer where the surface is smaller. A tile lands in the
// image this way without a buffer of its own.
void QFConvertSurfaceToRGBA(const BNSurface& surface, bool keepPremultiplied, uint8_t* destination,
                            uint64_t destinationBytesPerRow, uint64_t columns, uint64_t rows);
