#pragma once
// What tools/render-psd does, as a library that the compositing tests and
// benchmarks share: render a document's layers through the layer walk and
// the tiled renderer, read the document's own merged image, compare the two
// on premultiplied 8-bit RGBA, and write PNG files.

#include "compositing/QFLayerList.h"
#include "geometry/VKGeometry.h"
#include "psd/OMPSDDocument.h"
#include "rendergraph/BNRenderNode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// 8-bit RGBA, rows of width * 4 bytes; premultiplied unless said otherwise.
struct RGBAImage {
    uint64_t width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

struct RenderOptions {
    double scale = 1.0;
    VKSize tileSize{512, 512};
};

// `node` over `rect` through QFTilingHelper, waited for; null when a tile
// failed.
std::optional<RGBAImage> RenderNodeTiled(const BNRenderNodePtr& node, VKRect rect,
                                         const RenderOptions& options = {});
// `node` over `rect` in one render call on the calling thread.
std::optional<RGBAImage> RenderNodeWhole(const BNRenderNodePtr& node, VKRect rect, double scale);

// The document's rectangle from (0, 0) in pixels.
VKRect DocumentRect(const OMPSDDocument& document);
// The first layer or group of that name, in file order, or null.
std::shared_ptr<OMPSDLayer> FindLayerNamed(const OMPSDDocument& document, const std::string& name);

// The document's stored merged image as premultiplied RGBA: 8- and 16-bit
// RGB and grayscale. A merged image with transparency is stored matted on
// white; its premultiplied colour is clamp(C + A - 255, 0, A). Null, with
// the reason in `error`, when there is none or it cannot be read.
std::optional<RGBAImage> MergedImagePremultiplied(const OMPSDDocument& document,
                                                  std::string* error = nullptr);

// Whether the document's merged image is flattened over white: it keeps no
// transparency plane and the document has no background layer (its
// bottom-most layer is not one), so Photoshop flattened the transparent
// composite over white to store it.
bool MergedImageIsFlattenedOnWhite(const OMPSDDocument& document);
// A render of the document's layers as its merged image holds it: flattened
// over white where the merged image is, else unchanged.
RGBAImage RenderAsStoredInMergedImage(const OMPSDDocument& document, RGBAImage render);

// How far a render is from a reference (both premultiplied, same size).
struct ImageComparison {
    double over8 = 1.0;  // share of pixels with a channel more than 8 levels off
    double mae = 0.0;    // mean absolute difference over all channels
    int maxDifference = 0;
    // The project's "close": under 1 % of pixels more than 8 levels off.
    bool isClose() const { return over8 < 0.01; }
};
// Null when the sizes differ.
std::optional<ImageComparison> CompareImages(const RGBAImage& reference,
                                             const RGBAImage& candidate);

// Writes the image as a straight-colour RGBA PNG (colour divided by
// coverage). False, with the reason in `error`, when it cannot be written.
bool WritePNG(const std::string& path, const RGBAImage& premultiplied,
              std::string* error = nullptr);
