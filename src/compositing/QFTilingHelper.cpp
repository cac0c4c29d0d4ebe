#include "compositing/QFTilingHelper.h"

#include "compositing/QFRGBAConversion.h"
#include "compositing/QFTileDispatcher.h"
#include "platform/DispatchQueue.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// What the tiles of one render share.
struct TiledRender {
    BNRenderNodePtr node;
    VKRect rect;
    double scaleFactor;
    QFTilingHelper::ProgressCallback callback;
    // From calloc: a large image comes as pages the system zeroes when a
    // tile first touches them, so no thread clears the image up front.
    std::unique_ptr<uint8_t[], decltype(&std::free)> buffer{nullptr, &std::free};
    uint64_t width, height;
    uint64_t tileWidth, tileHeight;
    int64_t total;
    std::atomic<int64_t> remaining;
    std::atomic<bool> succeeded{true};
};

// The length in points of a tile that starts `offset` pixels along a side
// of `pixels` pixels: the whole tile, or at the image's far edge the part
// of it that holds the image's last pixels, in whole points, so that an
// edge tile does not render what the copy drops. The whole tile where the
// shorter length would not give every pixel (a scale whose products round
// down).
double tileLength(uint64_t tilePixels, uint64_t offset, uint64_t pixels, double scale) {
    double whole = static_cast<double>(tilePixels) / scale;
    uint64_t needed = std::min(tilePixels, pixels - offset);
    double cut = std::ceil(static_cast<double>(needed) / scale);
    return cut < whole && BNPixelCount(cut, scale) >= needed ? cut : whole;
}

}  // namespace

std::shared_ptr<QFTilingHelper> QFTilingHelper::create(
    VKSize tileSize, std::shared_ptr<const BNColorProfile> colorProfile) {
    return std::shared_ptr<QFTilingHelper>(new QFTilingHelper(tileSize, std::move(colorProfile)));
}

QFTilingHelper::QFTilingHelper(VKSize tileSize, std::shared_ptr<const BNColorProfile> colorProfile)
    : tileSize_(tileSize),
      colorProfile_(colorProfile ? std::move(colorProfile) : BNColorProfile::mainDisplayProfile()),
      notificationQueue_(lf::DispatchQueue::createSerial("layerflow.tiling.notifications")) {}

void QFTilingHelper::renderNode(BNRenderNodePtr node, VKRect rect, double scaleFactor,
                                ProgressCallback callback) {
    auto render = std::make_shared<TiledRender>();
    render->node = std::move(node);
    render->rect = rect;
    render->scaleFactor = scaleFactor;
    render->callback = std::move(callback);
    render->width = BNPixelCount(VKRectGetWidth(rect), scaleFactor);
    render->height = BNPixelCount(VKRectGetHeight(rect), scaleFactor);
    render->tileWidth = std::max<uint64_t>(1, BNPixelCount(tileSize_.width, scaleFactor));
    render->tileHeight = std::max<uint64_t>(1, BNPixelCount(tileSize_.height, scaleFactor));
    uint64_t columns = (render->width + render->tileWidth - 1) / render->tileWidth;
    uint64_t rows = (render->height + render->tileHeight - 1) / render->tileHeight;
    render->total = static_cast<int64_t>(columns * rows);
    render->remaining = render->total;
    uint64_t bufferSize = 0;
    bool fits = render->width <= (uint64_t{1} << 40) &&
                !__builtin_mul_overflow(render->width * 4, render->height, &bufferSize);
    if (fits) {
        render->buffer.reset(
            static_cast<uint8_t*>(std::calloc(std::max<uint64_t>(bufferSize, 1), 1)));
        fits = render->buffer != nullptr;
    }

    auto self = shared_from_this();
    if (render->total == 0 || !fits) {
        // Nothing to render, or no memory for the image: say so at once
        // rather than never calling back.
        if (!fits) render->width = render->height = 0;
        notificationQueue_->async([render] {
            render->callback(render->buffer.get(), render->width, render->height, render->width * 4,
                             true, 1.0, false);
        });
        return;
    }
    for (uint64_t ty = 0; ty < render->height; ty += render->tileHeight) {
        for (uint64_t tx = 0; tx < render->width; tx += render->tileWidth) {
            QFAddTilingBlock([self, render, tx, ty] {
                double s = render->scaleFactor;
                VKRect tile = VKRectMake(static_cast<double>(tx) / s + render->rect.origin.x,
                                         static_cast<double>(ty) / s + render->rect.origin.y,
                                         tileLength(render->tileWidth, tx, render->width, s),
                                         tileLength(render->tileHeight, ty, render->height, s));
                BNSurfacePtr surface =
                    QFRenderNodeWithColorProfile(render->node, self->colorProfile_, tile, s);
                if (surface) {
                    QFConvertSurfaceToRGBA(
                        *surface, true, render->buffer.get() + (ty * render->width + tx) * 4,
                        render->width * 4, std::min(render->tileWidth, render->width - tx),
                        std::min(render->tileHeight, render->height - ty));
                } else {
                    render->succeeded = false;
                }
                self->notificationQueue_->async([self, render] {
                    int64_t remaining = --render->remaining;
                    float progress = static_cast<float>(render->total - remaining) /
                                     static_cast<float>(render->total);
                    render->callback(render->buffer.get(), render->width, render->height,
                                     render->width * 4, remaining == 0, progress,
                                     render->succeeded);
                });
            });
        }
    }
}
