#include "flows/recipes/QFExportRecipe.h"

#include "bytearray/BAByteArrayProxiedData.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "compositing/tiling/QFTilingHelper.h"
#include "flows/recipes/QFLayerWalk.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace {

constexpr uint16_t kICCProfileResource = 1039;

// Every graph build of the process, one at a time: visibility is shared
// state of the documents.
lf::DispatchQueue& buildQueue() {
    static const std::shared_ptr<lf::DispatchQueue> queue =
        lf::DispatchQueue::createSerial("com.layerflow.export-recipes.build");
    return *queue;
}

nlohmann::json layerIdentifiers(const QFLayerList& layers) {
    nlohmann::json identifiers = nlohmann::json::array();
    for (const auto& layer : layers)
        identifiers.push_back(layer->identifier());
    return identifiers;
}

}  // namespace

QFDocumentColorSpace QFDocumentColorSpace::forDocument(const OMPSDDocument& document) {
    QFDocumentColorSpace colorSpace;
    auto resource = document.imageResourceForIdentifier(kICCProfileResource);
    if (!resource) return colorSpace;
    auto bytes = BAByteArrayProxiedData::create(*resource->byteArray());
    if (!bytes) return colorSpace;
    colorSpace.iccData = bytes->data();
    auto profile = lf::ColorProfile::createWithICCData(colorSpace.iccData);
    if (profile && profile->isUsableForRGB()) colorSpace.profile = std::move(profile);
    return colorSpace;
}

void QFExportRecipe::saveVisibilityForLayers(const QFLayerList& layers, VisibilityMap& visibility) {
    QFForEachLayer(layers, [&](const std::shared_ptr<OMPSDLayer>& layer) {
        visibility.emplace(layer.get(), layer->isVisible());
    });
}

void QFExportRecipe::restoreVisibilityForLayers(const QFLayerList& layers,
                                                const VisibilityMap& visibility) {
    QFForEachLayer(layers, [&](const std::shared_ptr<OMPSDLayer>& layer) {
        auto saved = visibility.find(layer.get());
        if (saved != visibility.end()) layer->setIsVisible(saved->second);
    });
}

BNRenderNodePtr QFExportRecipe::createRenderNodeForLayers(const QFLayerList& layers) const {
    BNRenderNodePtr node;
    buildQueue().sync([&] {
        VisibilityMap visibility;
        try {
            saveVisibilityForLayers(layers, visibility);
            for (const auto& layer : layersToHide_)
                layer->setIsVisible(false);
            for (const auto& layer : layersToShow_)
                layer->setIsVisible(true);
            if (layers.size() == 1) layers.front()->setIsVisible(true);
            node = QFRenderNodeForLayers(layers);
        } catch (...) {
            // What the build throws reaches this recipe's thread; the next
            // build finds the layers as they were all the same.
            restoreVisibilityForLayers(layers, visibility);
            throw;
        }
        restoreVisibilityForLayers(layers, visibility);
    });
    return node;
}

std::shared_ptr<const QFRGBAImage> QFExportRecipe::renderNode(
    const BNRenderNodePtr& node, VKRect rect, double scaleFactor,
    std::shared_ptr<const lf::ColorProfile> colorProfile) {
    VKSize tile = QFTilingHelper::kDefaultTileSize;
    tile = {std::min(tile.width, VKRectGetWidth(rect)),
            std::min(tile.height, VKRectGetHeight(rect))};
    auto helper = QFTilingHelper::create(tile, std::move(colorProfile));
    // The renderer always makes a last call, also for a render it refuses
    // or that fails, so this wait ends.
    lf::DispatchSemaphore finished(0);
    bool succeeded = false;
    auto image =
        helper->renderNode(node, rect, scaleFactor,
                           [&succeeded, finished](const uint8_t*, uint64_t, uint64_t, uint64_t,
                                                  bool isFinal, double, bool allSucceeded) mutable {
                               if (!isFinal) return;
                               succeeded = allSucceeded;
                               finished.signal();
                           });
    finished.wait();
    // Thrown on this thread, what a tile threw (running out of memory, say)
    // fails the run rather than the one output.
    if (auto failure = helper->failure()) std::rethrow_exception(failure);
    return succeeded ? image : nullptr;
}

QFEdgeInsets QFExportRecipe::edgeInsetsForTrimmingPixelData(const lf::RGBABuffer& pixels) {
    uint64_t top = pixels.height, bottom = 0, left = pixels.width, right = 0;
    for (uint64_t y = 0; y < pixels.height; ++y) {
        const uint8_t* row = pixels.row(y);
        for (uint64_t x = 0; x < pixels.width; ++x) {
            if (row[x * 4 + 3] == 0) continue;
            top = std::min(top, y);
            bottom = y;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    if (top == pixels.height) return {};
    return {double(top), double(left), double(pixels.height - 1 - bottom),
            double(pixels.width - 1 - right)};
}

void QFExportRecipe::trimPixelData(lf::RGBABuffer& pixels) {
    QFEdgeInsets insets = edgeInsetsForTrimmingPixelData(pixels);
    auto top = uint64_t(insets.top), left = uint64_t(insets.left);
    pixels.data += top * pixels.rowBytes + left * 4;
    pixels.width -= left + uint64_t(insets.right);
    pixels.height -= top + uint64_t(insets.bottom);
}

nlohmann::json QFExportRecipe::plistRepresentationForLayers(const QFLayerList& layers) const {
    return {{"layerIDs", layerIdentifiers(layers)},
            {"hideLayerIDs", layerIdentifiers(layersToHide_)},
            {"showLayerIDs", layerIdentifiers(layersToShow_)}};
}
