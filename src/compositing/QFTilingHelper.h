#pragma once
// QFTilingHelper: renders a node over a rectangle at a scale factor into one
// 8-bit RGBA buffer, tile by tile, the tiles rendering in parallel on the
// tile workers (one per active processor), and reports every finished tile.
//
// Each tile is an independent render call of its own BNRenderer, so tiles
// share only the immutable graph and the output buffer, and a call's memory
// stays bounded by the tile size. Tiles at the right and bottom edges are
// cut to the rectangle (to whole points), so they render no pixels that
// would be dropped. Tiles of all tiling helpers go through one
// process-wide dispatcher that keeps at most as many tiles in flight as
// there are active processors and, once they are all busy, starts the most
// recently queued tile next (last in, first out).
//
// The output buffer is zero-filled, width * 4 bytes per row, row 0 at the
// rectangle's minimum y, each pixel R, G, B and coverage, colour
// premultiplied. Callbacks run one at a time on the helper's own serial
// queue, once per tile in the order tiles finish; the last one has
// `finished` set and progress 1. A render keeps its node, buffer, callback
// and helper alive until its last callback has run.

#include "rendergraph/BNColorProfile.h"
#include "rendergraph/BNRenderNode.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace lf {
class DispatchQueue;
}

class QFTilingHelper : public std::enable_shared_from_this<QFTilingHelper> {
public:
    // `succeeded` is false once any tile of the render so far failed to
    // render (its part of the buffer stays zero); the final call then
    // reports the failure.
    using ProgressCallback =
        std::function<void(const uint8_t* bytes, uint64_t width, uint64_t height,
                           uint64_t bytesPerRow, bool finished, double progress, bool succeeded)>;

    // A tile size in points; the colour profile of the output, or null for
    // the main display profile.
    static std::shared_ptr<QFTilingHelper> create(
        VKSize tileSize, std::shared_ptr<const BNColorProfile> colorProfile);

    // Queues every tile and returns at once. Tile sizes should be whole
    // pixels at the scale (scales 1 and 2 with whole-point tiles). A
    // rectangle without pixels, or one whose image cannot be allocated,
    // gets one final call reporting failure (with no pixels).
    void renderNode(BNRenderNodePtr node, VKRect rect, double scaleFactor,
                    ProgressCallback callback);

    VKSize tileSize() const { return tileSize_; }
    const std::shared_ptr<const BNColorProfile>& colorProfile() const { return colorProfile_; }

private:
    QFTilingHelper(VKSize tileSize, std::shared_ptr<const BNColorProfile> colorProfile);

    VKSize tileSize_;
    std::shared_ptr<const BNColorProfile> colorProfile_;
    std::shared_ptr<lf::DispatchQueue> notificationQueue_;
};
