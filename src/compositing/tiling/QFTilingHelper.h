#pragma once
// QFTilingHelper: renders a node over a rectangle at a scale factor into one
// 8-bit RGBA image, tile by tile, the tiles rendering in parallel on the
// tile workers (one per active processor), and reports every finished tile.
//
// Each tile is an independent render call of its own BNRenderer, so tiles
// share only the immutable graph and the output image, and a call's memory
// stays bounded by the tile size. Every tile converts its pixels straight
// into the image on its worker. Tiles at the right and bottom edges are cut
// to the rectangle (to whole points), so they render no pixels that would
// be dropped. Tiles of all tiling helpers go through one process-wide
// dispatcher that keeps at most as many tiles in flight as there are
// active processors and, once they are all busy, starts the most recently
// queued tile next (last in, first out).
//
// The image (QFRGBAImage) is zero-filled, width * 4 bytes per row, row 0 at
// the rectangle's minimum y, each pixel R, G, B and coverage, colour
// premultiplied unless the helper is set to straight colour. It is handed
// to the caller, never copied. Callbacks run one at a time on the helper's
// own serial queue, once per tile in the order tiles finish; the last one
// has `finished` set and progress 1. A render keeps its node, image,
// callback and helper alive until its last callback has run.
//
// Memory. An image over the pixel budget is refused before anything is
// allocated (with a log line naming its size); an image, a tile or a plane
// that cannot be allocated fails the render, which the final call reports.
// Nothing a tile throws leaves its worker: it fails the tile, and
// failure() keeps it for a caller that waits on a thread of its own.
//
// Settings (tile size aside) are made before a render is queued.

#include "compositing/shared/QFRGBAImage.h"
#include "platform/core/Result.h"
#include "rendergraph/core/BNColorProfile.h"
#include "rendergraph/core/BNRenderNode.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace lf {
class DispatchQueue;
}

inline constexpr const char* QFTilingErrorDomain = "QFTilingErrorDomain";
enum QFTilingErrorCode : int64_t {
    // The image has more pixels than the helper's budget allows (or than
    // memory can address).
    QFTilingErrorImageTooLarge = 1,
};

class QFTilingHelper : public std::enable_shared_from_this<QFTilingHelper> {
public:
    // The tile size renders use where they have no reason to choose
    // another: the fastest on the benchmark documents at every processor
    // count from 1 to 8 (bench_render_process).
    static constexpr VKSize kDefaultTileSize{256, 256};
    // 2^28 pixels: a 1 GiB image, 16384 by 16384 pixels.
    static constexpr uint64_t kDefaultPixelBudget = uint64_t{1} << 28;

    // `succeeded` is false once any tile of the render so far failed to
    // render (its part of the image stays zero); the final call then
    // reports the failure.
    using ProgressCallback =
        std::function<void(const uint8_t* bytes, uint64_t width, uint64_t height,
                           uint64_t bytesPerRow, bool finished, double progress, bool succeeded)>;
    // The same reports with the image itself (null when it could not be
    // made).
    using ImageProgressCallback =
        std::function<void(const std::shared_ptr<const QFRGBAImage>& image, bool finished,
                           double progress, bool succeeded)>;

    // A tile size in points; the colour profile of the output, or null for
    // the main display profile.
    static std::shared_ptr<QFTilingHelper> create(
        VKSize tileSize, std::shared_ptr<const BNColorProfile> colorProfile);

    // Queues every tile and returns at once, with the image the tiles fill
    // (to be read once the final call has come), or null when there is
    // none: a rectangle without pixels, an image over the pixel budget or
    // one that cannot be allocated gets one final call reporting failure
    // (with no pixels). Tile sizes should be whole pixels at the scale
    // (scales 1 and 2 with whole-point tiles).
    std::shared_ptr<const QFRGBAImage> renderNode(BNRenderNodePtr node, VKRect rect,
                                                  double scaleFactor, ProgressCallback callback);
    // The same, reporting with the image instead of its bytes; logs every
    // tile it renders.
    std::shared_ptr<const QFRGBAImage> renderNode(BNRenderNodePtr node, VKRect rect,
                                                  double scaleFactor,
                                                  ImageProgressCallback callback);

    // The first exception a tile of this helper's renders threw (the tile
    // failed), or std::bad_alloc when an image could not be allocated; null
    // while neither happened. Any thread.
    std::exception_ptr failure() const;

    // An error of QFTilingErrorDomain naming the size when an image of
    // `width` by `height` pixels is over `pixelBudget`.
    static lf::Status checkImageSize(uint64_t width, uint64_t height, uint64_t pixelBudget);

    VKSize tileSize() const { return tileSize_; }
    const std::shared_ptr<const BNColorProfile>& colorProfile() const { return colorProfile_; }
    uint64_t pixelBudget() const { return pixelBudget_; }
    void setPixelBudget(uint64_t pixels) { pixelBudget_ = pixels; }
    // False: tiles divide their colour by coverage on the workers
    // (QFConvertSurfaceToRGBA), for callers that store straight colour.
    bool keepsPremultiplied() const { return keepsPremultiplied_; }
    void setKeepsPremultiplied(bool keeps) { keepsPremultiplied_ = keeps; }

private:
    struct Render;
    QFTilingHelper(VKSize tileSize, std::shared_ptr<const BNColorProfile> colorProfile);
    // Sizes the render (whose callback is set), makes its image and queues
    // its tiles.
    std::shared_ptr<const QFRGBAImage> queue(std::shared_ptr<Render> render, BNRenderNodePtr node,
                                             VKRect rect, double scale);
    void renderTile(Render& render, uint64_t tx, uint64_t ty) const;
    void report(const std::shared_ptr<Render>& render) const;
    void keepFailure(std::exception_ptr failure) const;

    VKSize tileSize_;
    std::shared_ptr<const BNColorProfile> colorProfile_;
    std::shared_ptr<lf::DispatchQueue> notificationQueue_;
    uint64_t pixelBudget_ = kDefaultPixelBudget;
    bool keepsPremultiplied_ = true;
    mutable std::mutex failureMutex_;
    mutable std::exception_ptr failure_;
};
