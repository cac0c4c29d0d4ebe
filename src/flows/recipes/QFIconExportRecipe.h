#pragma once
// QFIconExportRecipe: the recipe of an ICNS output. It renders its layers
// once at scale 1 over its rectangle and fits the pixels to each of its
// icon sizes by that size's sizing behaviour:
//
//   0 automatic  the same size as it is; smaller both ways: centred;
//                otherwise made square and scaled
//   1 centre     centred on a transparent canvas of the size (no pixels
//                when the art is larger)
//   2 scale      made square (centred on a transparent square) and scaled
//
// A size without a behaviour counts as 0; any value other than 0 and 2
// acts as 1. Icons of 128 pixels and less, and icons of documents without
// an RGB profile, are stored in the Generic RGB profile; the others keep
// the document's colours and profile. The export run merges the elements
// of every icon recipe of one path into one ICNS file.
//
// Made and set up by the scanner, run once on a background thread, then
// read.

#include "flows/icns/QFICNSElement.h"
#include "flows/recipes/QFExportRecipe.h"

#include <map>
#include <vector>

class QFIconExportRecipe : public QFExportRecipe {
public:
    enum SizingBehavior : int64_t { automatic = 0, centre = 1, scale = 2 };

    QFIconExportRecipe(QFLayerList layers, VKRect rect, std::vector<VKSize> iconSizes,
                       std::string path);

    const std::shared_ptr<const OMPSDDocument>& psdDocument() const { return psdDocument_; }
    const QFLayerList& layers() const { return layers_; }
    VKRect rect() const { return rect_; }
    std::optional<std::string> path() const override { return path_; }

    const std::vector<VKSize>& iconSizes() const { return iconSizes_; }
    // Replaces the sizes, dropping the behaviours of sizes no longer held.
    void setIconSizes(std::vector<VKSize> sizes);
    // The n-th behaviour for the n-th size when there are as many as
    // sizes; otherwise no behaviour at all.
    void setSizingBehaviors(const std::vector<int64_t>& behaviors);
    // The behaviour of each size, 0 where none is stored.
    std::vector<int64_t> sizingBehaviors() const;
    // Stored only for a size of the list.
    void setSizingBehavior(int64_t behavior, VKSize size);
    int64_t sizingBehaviorForSize(VKSize size) const;

    void run() override;
    // The path to the elements made, in the order of the sizes; filled by
    // run().
    const std::map<std::string, std::vector<std::shared_ptr<QFICNSElement>>>& results() const {
        return results_;
    }

    // `pixels` fitted to `size` by its behaviour, in the colour the element
    // stores (see above), colour no longer premultiplied; empty when the
    // art does not fit (centring larger art).
    lf::Data fitPixelData(const lf::RGBABuffer& pixels, VKSize size) const;

    nlohmann::json plistRepresentation() const override;

private:
    // Whether an icon of `size` is stored in Generic RGB rather than in the
    // document's colours.
    bool isStoredInGenericRGB(VKSize size) const;

    QFLayerList layers_;
    std::shared_ptr<const OMPSDDocument> psdDocument_;
    QFDocumentColorSpace colorSpace_;
    VKRect rect_;
    std::string path_;
    std::vector<VKSize> iconSizes_;
    std::unordered_map<VKSize, int64_t> sizingBehaviors_;
    std::map<std::string, std::vector<std::shared_ptr<QFICNSElement>>> results_;
};
