#pragma once
// What tools/render-psd does, as a library that the compositing tests and
// benchmarks share: render a document's layers through the layer walk and
// the tiled renderer, read the document's own merged image, compare the two
// on premultiplied 8-bit RGBA, and write PNG files.

#include "compositing/shared/QFLayerList.h"
#include "compositing/shared/QFRGBAImage.h"
#include "compositing/tiling/QFTilingHelper.h"
#include "geometry/VKGeometry.h"
#include "psd/OMPSDDocument.h"
#include "rendergraph/core/BNRenderNode.h"

#include <cstdint>
#include <optional>
#include <string>

struct RenderOptions {
    double scale = 1.0;
    VKSize tileSize = QFTilingHelper::kDefaultTileSize;
    // Straight colour, divided by coverage on the tiles (what PNG stores).
    bool straight = false;
    uint64_t pixelBudget = QFTilingHelper::kDefaultPixelBudget;
};

// False, with the reason in `error`, when the image of `rect` at the
// options' scale is over their pixel budget.
bool RenderFitsBudget(VKRect rect, const RenderOptions& options, std::string* error = nullptr);

// `node` over `rect` through QFTilingHelper, waited for; null when the
// image was refused or a tile failed (the reason in `error`).
std::shared_ptr<const QFRGBAImage> RenderNodeTiled(const BNRenderNodePtr& node, VKRect rect,
                                                   const RenderOptions& options = {},
                                                   std::string* error = nullptr);
// `node` over `rect` in one render call on the calling thread,
// premultiplied.
std::shared_ptr<const QFRGBAImage> RenderNodeWhole(const BNRenderNodePtr& node, VKRect rect,
                                                   double scale);

// Decompresses every channel of the visible layers and groups among
// `layers` (and inside visible groups) on all processors, largest first,
// so that a render does not wait for them one at a time. Runs on the tile
// workers and waits for them: not to be called from one.
void DecompressVisibleChannels(const QFLayerList& layers);

// Whether the document's layers can be drawn: RGB and grayscale documents
// of 8 or 16 bits (a grayscale document is drawn as grey RGB). Any other is
// refused with the export's own error for its colour mode or its depth,
// whose texts go into `error`.
bool DocumentIsDrawable(const OMPSDDocument& document, std::string* error = nullptr);

// What a document's picture is drawn from: its visible layers, or, when it
// has no layers at all, its image data. Photoshop saves an image that is
// one background layer without layer records (and documents written by
// other programs may have none either): the merged image is then all the
// document holds of its picture, its colour planes opaque (a document
// without layers keeps no transparency there, and its further planes are
// saved selections). Null, with the reason in `error`, when a document
// without layers has no readable colour planes either.
BNRenderNodePtr RenderNodeForDocument(const OMPSDDocument& document, std::string* error = nullptr);

// The document's rectangle from (0, 0) in pixels.
VKRect DocumentRect(const OMPSDDocument& document);
// The first layer or group of that name, in file order, or null.
std::shared_ptr<OMPSDLayer> FindLayerNamed(const OMPSDDocument& document, const std::string& name);

// The document's stored merged image as premultiplied RGBA: 8- and 16-bit
// RGB and grayscale. A merged image with transparency is stored matted on
// white; its premultiplied colour is clamp(C + A - 255, 0, A). Null, with
// the reason in `error`, when there is none or it cannot be read.
std::shared_ptr<const QFRGBAImage> MergedImagePremultiplied(const OMPSDDocument& document,
                                                            std::string* error = nullptr);

// Whether `merged`, the document's merged image as MergedImagePremultiplied
// reads it, is Photoshop's render of the layers. It is not when the
// document's version info (image resource 1057) says it has no real merged
// data, nor when every pixel is opaque white: what Photoshop stores in its
// place when a document is saved without maximum compatibility, sometimes
// with the flag on.
bool MergedImageIsReal(const OMPSDDocument& document, const QFRGBAImage& merged);

// Whether the document's merged image is flattened over white: it keeps no
// transparency plane and the document has no background layer (its
// bottom-most layer is not one), so Photoshop flattened the transparent
// composite over white to store it.
bool MergedImageIsFlattenedOnWhite(const OMPSDDocument& document);
// A render of the document's layers as its merged image holds it: a new
// premultiplied image flattened over white where the merged image is, else
// the render itself.
std::shared_ptr<const QFRGBAImage> RenderAsStoredInMergedImage(
    const OMPSDDocument& document, std::shared_ptr<const QFRGBAImage> render);

// How far a render is from a reference, compared premultiplied (a straight
// image is premultiplied again pixel by pixel, which gives back the
// premultiplied bytes it came from).
struct ImageComparison {
    double over8 = 1.0;  // share of pixels with a channel more than 8 levels off
    double mae = 0.0;    // mean absolute difference over all channels
    int maxDifference = 0;
    // The project's "close": under 1 % of pixels more than 8 levels off.
    bool isClose() const { return over8 < 0.01; }
};
// Null when the sizes differ.
std::optional<ImageComparison> CompareImages(const QFRGBAImage& reference,
                                             const QFRGBAImage& candidate);

// Writes the image as a straight-colour RGBA PNG through the platform
// encoder (which divides a premultiplied image by coverage as it goes).
// False, with the reason in `error`, when it cannot be written.
bool WritePNG(const std::string& path, const QFRGBAImage& image, std::string* error = nullptr);
