#pragma once
// QFImageExportRecipe: the raster recipe (PNG, JPEG, TIFF). It holds one
// entry per output file, renders once per scale the union of the
// rectangles cut at that scale (only what lies on the canvas shows), cuts
// each output out of that render, trims transparent borders
// (jointly for the outputs of one rectangle, so 1x and 2x images of a tag
// stay aligned), halves with a 2x2 box filter where asked and encodes by
// the output's extension, with the document's colour profile.
//
// Outputs that cannot be made are left out of the results, so that no
// empty file is written: outputs of no pixels silently; with a log line
// those over the pixel budget, those whose extension no encoder writes,
// and "pdf" outputs (vector output is not written).
//
// Scales. Graphs render directly at 0.5, 1 and 2 only; an entry of another
// scale renders at the next of these above it (or at 2) and is scaled to
// its own size with a box filter.
//
// Made and filled by the scanner, run once on a background thread, then
// read.

#include "compositing/tiling/QFTilingHelper.h"
#include "flows/recipes/QFExportRecipe.h"
#include "flows/recipes/QFImageExportRecipeEntry.h"
#include "flows/recipes/QFImageExportRecipePixelBuffer.h"

#include <map>
#include <vector>

// The pixels of one output, ready to encode.
struct QFImageExportRecipeOutput {
    std::string path;
    QFImageExportRecipePixelBuffer pixels;
};

class QFImageExportRecipe : public QFExportRecipe {
public:
    // The largest output, in pixels: what the tiled renderer renders at most.
    static constexpr uint64_t kMaximumOutputPixels = QFTilingHelper::kDefaultPixelBudget;

    explicit QFImageExportRecipe(QFLayerList layers);

    // The document of the last layer.
    const std::shared_ptr<const OMPSDDocument>& psdDocument() const { return psdDocument_; }
    const QFLayerList& layers() const { return layers_; }
    const std::vector<QFImageExportRecipeEntry>& entries() const { return entries_; }

    // Adds an entry; where one of the same path exists, the new one
    // displaces it only when it replaces, and is dropped otherwise.
    void addRect(VKRect rect, std::string path, double scaleFactor, bool shouldDownSample,
                 bool replaceExistingItems);
    // The replace flag of the entry of `path`; false without one.
    bool shouldReplaceExistingItemsForPath(const std::string& path) const;

    // Renders, then encodes every output of renderOutputs().
    void run() override;
    // The pixels of every output that can be made: each scale rendered
    // once, each output cut from its render, trimmed, scaled and halved as
    // its entry asks. Outputs left out are logged here.
    std::vector<QFImageExportRecipeOutput> renderOutputs() const;
    // Output path to file data, filled by run().
    const std::map<std::string, lf::Data>& results() const { return results_; }

    // Trims the buffers of one rectangle together: each buffer's insets in
    // document units (its pixel insets divided by its scale, rounded down),
    // the smallest of each side over the buffers (rounded down to even
    // numbers for outputs to be halved), cut from every buffer.
    static std::vector<QFImageExportRecipePixelBuffer> trimTransparencyFromPixelBuffers(
        const std::vector<QFImageExportRecipePixelBuffer>& buffers, bool forDownSampling);
    // The same for one buffer.
    static QFImageExportRecipePixelBuffer trimTransparencyFromPixelBuffer(
        const QFImageExportRecipePixelBuffer& buffer, bool forDownSampling) {
        return trimTransparencyFromPixelBuffers({buffer}, forDownSampling).front();
    }
    // The file of `buffer` for the extension of `path`, none when it cannot
    // be encoded (logged).
    std::optional<lf::Data> createFileDataForPixelBuffer(
        const QFImageExportRecipePixelBuffer& buffer, const std::string& path) const;

    // The rectangle a down-sampled entry is cut from: an odd width grows by
    // a column on the right, an odd height by a row on top, so both sides
    // halve evenly.
    static VKRect downSamplingRect(VKRect rect);
    // The scale an entry of `scaleFactor` renders at.
    static double renderScaleForScale(double scaleFactor);

    nlohmann::json plistRepresentation() const override;

private:
    QFLayerList layers_;
    std::shared_ptr<const OMPSDDocument> psdDocument_;
    QFDocumentColorSpace colorSpace_;
    std::vector<QFImageExportRecipeEntry> entries_;
    std::map<std::string, lf::Data> results_;
};
