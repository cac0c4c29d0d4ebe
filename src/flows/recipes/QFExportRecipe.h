#pragma once
// QFExportRecipe: one render-and-encode job of an export, made by the tag
// scanner and run once by the export run on a background thread: a list of
// document layers to composite, the layers to hide (and to show) while
// doing so, and the outputs to make of the result. Its subclasses are the
// image recipe (PNG, JPEG, TIFF) and the icon recipe (ICNS elements).
//
// Building a graph sets the visibility of layers, which is shared state of
// the document: every recipe of every run builds on one process-wide
// serial queue, and every layer gets its visibility back before the next
// build starts. Rendering then runs on the tiled renderer's workers while
// the recipe's thread waits.
//
// Pixel data descriptors (lf::RGBABuffer) are 8-bit RGBA, colour
// premultiplied, alpha in the last byte.

#include "compositing/shared/QFLayerList.h"
#include "compositing/shared/QFRGBAImage.h"
#include "platform/files/Data.h"
#include "platform/images/ColorProfile.h"
#include "platform/images/RGBABuffer.h"
#include "psd/OMPSDDocument.h"
#include "rendergraph/core/BNRenderNode.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

// Transparent rows and columns at the edges of pixel data, in pixels.
struct QFEdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
};

// The colour of a document's pixels: its embedded ICC profile (resource
// 1039) as it is stored, and the profile made from it, null when there is
// none or it does not describe RGB (the pixels then count as device RGB).
struct QFDocumentColorSpace {
    lf::Data iccData;
    std::shared_ptr<const lf::ColorProfile> profile;

    static QFDocumentColorSpace forDocument(const OMPSDDocument& document);
};

class QFExportRecipe {
public:
    virtual ~QFExportRecipe() = default;

    // Renders and encodes, on the calling thread (tiles on the tile
    // workers). Throws what the build, a tile or the encoding threw, on
    // this thread: std::bad_alloc when memory ran out, say.
    virtual void run() = 0;
    // The output path of a recipe that has one (the icon recipe).
    virtual std::optional<std::string> path() const { return std::nullopt; }
    // A description of the recipe for developers; nothing reads it.
    virtual nlohmann::json plistRepresentation() const { return nlohmann::json::object(); }

    bool shouldTrimTransparency() const { return shouldTrimTransparency_; }
    void setShouldTrimTransparency(bool trim) { shouldTrimTransparency_ = trim; }
    const QFLayerList& layersToHide() const { return layersToHide_; }
    void setLayersToHide(QFLayerList layers) { layersToHide_ = std::move(layers); }
    const QFLayerList& layersToShow() const { return layersToShow_; }
    void setLayersToShow(QFLayerList layers) { layersToShow_ = std::move(layers); }

    // The render node of `layers` with the layers to hide hidden, the
    // layers to show shown and a list of one layer shown (so a tagged layer
    // that is hidden in the document still renders); built on the build
    // queue, which this waits for. Every layer's visibility is as before
    // when it returns, or throws what the build threw.
    BNRenderNodePtr createRenderNodeForLayers(const QFLayerList& layers) const;

    // `node` over `rect` at `scaleFactor` through the tiled renderer, in
    // `colorProfile` (null: the main display's), waited for; null when the
    // render was refused or failed. Colour stays premultiplied. What a tile
    // threw, or std::bad_alloc for an image that could not be allocated
    // (QFTilingHelper::failure), is thrown here.
    static std::shared_ptr<const QFRGBAImage> renderNode(
        const BNRenderNodePtr& node, VKRect rect, double scaleFactor,
        std::shared_ptr<const lf::ColorProfile> colorProfile);

    using VisibilityMap = std::unordered_map<const OMPSDLayer*, bool>;
    // Record and restore the visibility of every layer of `layers` and
    // below; a layer not recorded is left as it is.
    static void saveVisibilityForLayers(const QFLayerList& layers, VisibilityMap& visibility);
    static void restoreVisibilityForLayers(const QFLayerList& layers,
                                           const VisibilityMap& visibility);

    // The rows and columns around every pixel with coverage; all 0 for
    // pixel data without any, so a fully transparent output is kept whole.
    static QFEdgeInsets edgeInsetsForTrimmingPixelData(const lf::RGBABuffer& pixels);
    // Narrows `pixels` in place to what those insets leave.
    static void trimPixelData(lf::RGBABuffer& pixels);

    // "layerIDs", "hideLayerIDs" and "showLayerIDs": the layer identifiers.
    nlohmann::json plistRepresentationForLayers(const QFLayerList& layers) const;

private:
    bool shouldTrimTransparency_ = false;
    QFLayerList layersToHide_;
    QFLayerList layersToShow_;
};
