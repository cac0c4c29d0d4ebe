#pragma once
// Asynchronous conveniences beside the tiled renderer (QFTilingHelper): one
// render call, or one 8-bit conversion, off the caller's thread, with the
// result delivered on a queue the caller names.

#include "rendergraph/core/BNRenderNode.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace lf {
class DispatchQueue;
}

// Renders `node` over `rect` at `scaleFactor` on the global concurrent queue
// with the main display profile, then calls `completion` on `queue` with
// the surface (null when the render failed). Renders asked for together
// run at once; each has a renderer and rendering context of its own.
void QFRenderNodeAsync(BNRenderNodePtr node, VKRect rect, double scaleFactor,
                       std::shared_ptr<lf::DispatchQueue> queue,
                       std::function<void(BNSurfacePtr surface)> completion);

// Converts `surface` to 8-bit RGBA as QFCopyUnpremultipliedRGBA does, on the
// global concurrent queue, and hands the bytes to `consumer` on `queue`,
// waiting there until the consumer returns (the bytes live as long as the
// consumer runs). `queue` must not be the queue the conversion runs on.
void QFConvertSurfaceToRGBAAsync(
    BNSurfacePtr surface, bool keepPremultiplied, std::shared_ptr<lf::DispatchQueue> queue,
    std::function<void(const uint8_t* bytes, uint64_t width, uint64_t height, uint64_t bytesPerRow)>
        consumer);
