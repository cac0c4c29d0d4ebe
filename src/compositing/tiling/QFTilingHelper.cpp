#include "compositing/tiling/QFTilingHelper.h"

#include "compositing/shared/QFRGBAConversion.h"
#include "compositing/tiling/QFTileDispatcher.h"
#include "geometry/VKGeometryStrings.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchQueue.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

// What the tiles of one render share.
struct QFTilingHelper::Render {
    BNRenderNodePtr node;
    VKRect rect;
    double scaleFactor;
    ProgressCallback bytesCallback;
    ImageProgressCallback imageCallback;  // one of the two is set
    std::shared_ptr<QFRGBAImage> image;
    uint64_t width, height;
    uint64_t tileWidth, tileHeight;
    int64_t total;
    std::atomic<int64_t> remaining;
    std::atomic<bool> succeeded{true};
};

namespace {

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

// What happened, by the exception being handled, for a log line.
std::string describeThrown() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return "ran out of memory";
    } catch (const std::exception& exception) {
        return std::string("threw: ") + exception.what();
    } catch (...) {
        return "threw";
    }
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

lf::Status QFTilingHelper::checkImageSize(uint64_t width, uint64_t height, uint64_t pixelBudget) {
    uint64_t pixels = 0;
    if (__builtin_mul_overflow(width, height, &pixels) || pixels > pixelBudget)
        return lf::Error(
            QFTilingErrorDomain, QFTilingErrorImageTooLarge,
            {{lf::kLocalizedDescriptionKey,
              fmt::format("an image of {} x {} pixels is over the pixel budget of {} pixels", width,
                          height, pixelBudget)}});
    return {};
}

std::shared_ptr<const QFRGBAImage> QFTilingHelper::renderNode(BNRenderNodePtr node, VKRect rect,
                                                              double scaleFactor,
                                                              ProgressCallback callback) {
    auto render = std::make_shared<Render>();
    render->bytesCallback = std::move(callback);
    return queue(std::move(render), std::move(node), rect, scaleFactor);
}

std::shared_ptr<const QFRGBAImage> QFTilingHelper::renderNode(BNRenderNodePtr node, VKRect rect,
                                                              double scaleFactor,
                                                              ImageProgressCallback callback) {
    auto render = std::make_shared<Render>();
    render->imageCallback = std::move(callback);
    return queue(std::move(render), std::move(node), rect, scaleFactor);
}

std::shared_ptr<const QFRGBAImage> QFTilingHelper::queue(std::shared_ptr<Render> render,
                                                         BNRenderNodePtr node, VKRect rect,
                                                         double scale) {
    render->node = std::move(node);
    render->rect = rect;
    render->scaleFactor = scale;
    render->width = BNPixelCount(VKRectGetWidth(render->rect), scale);
    render->height = BNPixelCount(VKRectGetHeight(render->rect), scale);
    render->tileWidth = std::max<uint64_t>(1, BNPixelCount(tileSize_.width, scale));
    render->tileHeight = std::max<uint64_t>(1, BNPixelCount(tileSize_.height, scale));
    uint64_t columns = (render->width + render->tileWidth - 1) / render->tileWidth;
    uint64_t rows = (render->height + render->tileHeight - 1) / render->tileHeight;
    render->total = static_cast<int64_t>(columns * rows);
    render->remaining = render->total;
    if (render->total > 0) {
        // The budget first, so that a huge claimed canvas allocates nothing.
        if (auto allowed = checkImageSize(render->width, render->height, pixelBudget_); !allowed)
            lf::log("*** Render refused: {}", allowed.error().localizedDescription());
        else if (!(render->image = QFRGBAImage::create(render->width, render->height,
                                                       keepsPremultiplied_, colorProfile_))) {
            lf::log("*** Render failed: no memory for an image of {} x {} pixels", render->width,
                    render->height);
            keepFailure(std::make_exception_ptr(std::bad_alloc()));
        }
    }
    if (!render->image) {
        // Nothing to render, or no image: say so at once rather than never
        // calling back.
        render->width = render->height = 0;
        render->total = 0;
        render->succeeded = false;
        report(render);
        return nullptr;
    }

    auto self = shared_from_this();
    for (uint64_t ty = 0; ty < render->height; ty += render->tileHeight) {
        for (uint64_t tx = 0; tx < render->width; tx += render->tileWidth) {
            QFAddTilingBlock([self, render, tx, ty] {
                self->renderTile(*render, tx, ty);
                self->report(render);
            });
        }
    }
    return render->image;
}

void QFTilingHelper::renderTile(Render& render, uint64_t tx, uint64_t ty) const {
    double s = render.scaleFactor;
    VKRect tile = VKRectMake(static_cast<double>(tx) / s + render.rect.origin.x,
                             static_cast<double>(ty) / s + render.rect.origin.y,
                             tileLength(render.tileWidth, tx, render.width, s),
                             tileLength(render.tileHeight, ty, render.height, s));
    if (render.imageCallback)
        lf::log("Render node: {}, tile: {}, scaleFactor: {:g}", render.node->className(),
                NSStringFromVKRect(tile), s);
    bool rendered = false;
    try {
        BNSurfacePtr surface = QFRenderNodeWithColorProfile(render.node, colorProfile_, tile, s);
        if (surface) {
            QFConvertSurfaceToRGBA(*surface, keepsPremultiplied_,
                                   render.image->mutableBytes() + (ty * render.width + tx) * 4,
                                   render.width * 4, std::min(render.tileWidth, render.width - tx),
                                   std::min(render.tileHeight, render.height - ty));
            rendered = true;
        }
    } catch (...) {
        // The render graph's own bookkeeping ran out of memory, say: the
        // tile fails like one whose surface could not be had.
        lf::log("*** Tile {} {}", NSStringFromVKRect(tile), describeThrown());
        keepFailure(std::current_exception());
    }
    if (!rendered) render.succeeded = false;
}

std::exception_ptr QFTilingHelper::failure() const {
    std::lock_guard lock(failureMutex_);
    return failure_;
}

void QFTilingHelper::keepFailure(std::exception_ptr failure) const {
    std::lock_guard lock(failureMutex_);
    if (!failure_) failure_ = std::move(failure);
}

void QFTilingHelper::report(const std::shared_ptr<Render>& render) const {
    // Counted on the serial queue: each call sees the tiles reported before
    // it, and exactly one, the last, sees none left.
    notificationQueue_->async([render] {
        int64_t remaining = render->total > 0 ? --render->remaining : 0;
        double progress = render->total > 0 ? static_cast<float>(render->total - remaining) /
                                                  static_cast<float>(render->total)
                                            : 1.0;
        bool finished = remaining == 0, succeeded = render->succeeded;
        if (render->imageCallback) {
            render->imageCallback(render->image, finished, progress, succeeded);
        } else {
            render->bytesCallback(render->image ? render->image->bytes() : nullptr, render->width,
                                  render->height, render->width * 4, finished, progress, succeeded);
        }
    });
}
