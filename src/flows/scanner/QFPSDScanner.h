#pragma once
// QFPSDScanner: turns the export tags in the layer and group names of
// documents into recipes: image recipes for PNG, JPEG and TIFF outputs,
// icon recipes for ICNS outputs. The tags:
//
//   name.png (jpg, jpeg, tif, tiff, icns; any case)  the layer is an output
//   a.png, b.jpg                  several outputs of one layer
//   50% a.png                     an output at a percentage of the layer's size
//   a@2x.png                      double density; an automatic 1x copy is added
//   a.png+@2x                     an extra output a@2x.png, rendered at scale 2
//   a~ipad.png                    device modifier, always placed after "@2x"
//   group "name/"                 a folder for the image outputs inside it
//   group "@slices"               each child names an output rectangle over the
//                                 layers around it
//   layer "@bounds"               in a tagged group: the output rectangle
//   qf-auto-1x = off, +@1x = on   switches for automatic 1x copies, for their
//   qf-auto-2x = on, +@2x = off   list and below; automatic 2x copies, for the
//                                 rest of their document
//
// Automatic copies start as the user defaults say: QFAuto1xDisabled turns
// 1x copies off, QFAuto2xEnabled turns 2x copies on. A switch holds for the
// document it stands in only, so that what a document exports does not
// depend on the documents scanned before it.
//
// A percentage below 100 % renders at twice the percentage and is halved,
// as an automatic 1x copy is, so "50% a.png" is half the layer's size; it
// takes no automatic copies (a trailing "+@2x" is dropped).
//
// The scan does not fail: what is not a tag is passed over. One scanner
// serves one run, on one thread at a time.

#include "compositing/shared/QFLayerList.h"
#include "flows/recipes/QFIconExportRecipe.h"
#include "flows/recipes/QFImageExportRecipe.h"
#include "platform/core/Result.h"
#include "psd/OMPSDDocument.h"

#include <memory>
#include <string>
#include <vector>

class QFPSDScanner {
public:
    // Reads the two defaults from the standard user defaults.
    QFPSDScanner();

    // Adds the recipes of the document's tags; never fails.
    lf::Status scanPSD(const OMPSDDocument& document);

    const std::vector<std::shared_ptr<QFImageExportRecipe>>& imageRecipes() const {
        return imageRecipes_;
    }
    const std::vector<std::shared_ptr<QFIconExportRecipe>>& iconRecipes() const {
        return iconRecipes_;
    }

    // The layer's bounds (QFExportBoundsForLayer) within the canvas of the
    // document being scanned.
    VKRect calculateBoundsForLayer(const OMPSDLayer& layer, bool includeEffects) const;

    // Whether a name is tagged: the extension of the whole name, without a
    // trailing "+@2x", is one the export writes.
    static bool isTaggedName(const std::string& name);

private:
    void scanLayers(const QFLayerList& layers, bool isDocumentRoot, int depth);
    void applySwitches(const QFLayerList& layers);
    void addRecipeForLayer(const std::shared_ptr<OMPSDLayer>& layer);
    void addRecipeForLayers(const QFLayerList& layers, const OMPSDLayer& slicesLayer);
    void addRectsToRecipe(QFImageExportRecipe& recipe, VKRect bounds, const std::string& name);
    void addICNSRecipeForLayers(const QFLayerList& layers, VKRect rect, const std::string& name);

    std::vector<std::shared_ptr<QFImageExportRecipe>> imageRecipes_;
    std::vector<std::shared_ptr<QFIconExportRecipe>> iconRecipes_;
    std::vector<std::string> prefixPathComponents_;
    bool shouldAutoDownSize_;
    bool shouldRender2x_;
    bool defaultShouldRender2x_;
    VKRect documentRect_ = VKRectNull;
};
