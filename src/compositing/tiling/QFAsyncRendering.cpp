#include "compositing/tiling/QFAsyncRendering.h"

#include "compositing/shared/QFRGBAConversion.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchQueue.h"

#include <new>

void QFRenderNodeAsync(BNRenderNodePtr node, VKRect rect, double scaleFactor,
                       std::shared_ptr<lf::DispatchQueue> queue,
                       std::function<void(BNSurfacePtr surface)> completion) {
    lf::DispatchQueue::global()->async([node = std::move(node), rect, scaleFactor,
                                        queue = std::move(queue),
                                        completion = std::move(completion)] {
        // A renderer runs one call at a time: each render has its own,
        // all with the one main display profile.
        BNSurfacePtr surface;
        try {
            surface = QFRenderNodeWithColorProfile(node, BNColorProfile::mainDisplayProfile(), rect,
                                                   scaleFactor);
        } catch (const std::bad_alloc&) {
            lf::log("*** Render of {} ran out of memory", node ? node->className() : "no node");
        }
        queue->async([surface = std::move(surface), completion] { completion(surface); });
    });
}

void QFConvertSurfaceToRGBAAsync(
    BNSurfacePtr surface, bool keepPremultiplied, std::shared_ptr<lf::DispatchQueue> queue,
    std::function<void(const uint8_t*, uint64_t, uint64_t, uint64_t)> consumer) {
    lf::DispatchQueue::global()->async([surface = std::move(surface), keepPremultiplied,
                                        queue = std::move(queue), consumer = std::move(consumer)] {
        QFCopyUnpremultipliedRGBA(
            *surface, keepPremultiplied,
            [&](const uint8_t* bytes, uint64_t width, uint64_t height, uint64_t bytesPerRow) {
                queue->sync([&] { consumer(bytes, width, height, bytesPerRow); });
            });
    });
}
