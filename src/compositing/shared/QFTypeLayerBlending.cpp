#include "compositing/shared/QFTypeLayerBlending.h"

#include "compositing/shared/QFBlendMode.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDProperty.h"
#include "rendergraph/masks/BNCrossfadeWithMaskNode.h"

#include <charconv>
#include <string_view>

namespace {

// Photoshop CS6 is version 13; CS was 8, CS5 12.
constexpr int kFirstVersionWithTypeGamma = 13;

// The major version of a Photoshop version name ("Adobe Photoshop CS5" is
// 12, "Adobe Photoshop 7.0" 7), or 0 when the name is not one of a version
// before CS6 (the "CC" names and the years that followed).
int olderPhotoshopVersion(std::string_view name) {
    constexpr std::string_view kPrefix = "Adobe Photoshop ";
    if (!name.starts_with(kPrefix)) return 0;
    name.remove_prefix(kPrefix.size());
    int number = 0;
    if (name.starts_with("CS")) {
        name.remove_prefix(2);
        if (name.empty() || name.front() == ' ') return 8;
        auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
        return error == std::errc() ? 7 + number : 0;
    }
    auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    return error == std::errc() && number < kFirstVersionWithTypeGamma ? number : 0;
}

bool writtenBeforeTypeGamma(const OMPSDLayer& layer) {
    auto document = layer.document();
    auto info = document ? document->versionInfo() : std::nullopt;
    if (!info) return false;
    int version = olderPhotoshopVersion(info->readerName);
    return version > 0 && version < kFirstVersionWithTypeGamma;
}

}  // namespace

bool QFIsTypeLayer(const OMPSDLayer& layer) {
    return layer.attributesAtomForKey(OMPSDFourCC("TySh")) != nullptr;
}

bool QFLayerBlendsEdgesWithTypeGamma(const OMPSDLayer& layer) {
    if (!QFIsTypeLayer(layer)) return false;
    if (QFBlendModeForPSDKey(layer.blendingOptions()->blendMode()) != kTarrowBlendNormal)
        return false;
    auto record = layer.typeRecord();
    if (record && record->isAntiAliasedByPlatform()) return false;
    return !writtenBeforeTypeGamma(layer);
}

BNRenderNodePtr QFPutLayerInItsShape(const OMPSDLayer& layer, const BNRenderNodePtr& exterior,
                                     const BNRenderNodePtr& interior,
                                     const BNRenderNodePtr& shape) {
    // Where the gamma cannot apply (inputs other than RGBA), the layer is
    // still drawn, with its edges mixed plainly.
    if (QFLayerBlendsEdgesWithTypeGamma(layer))
        if (auto mixed =
                BNCrossfadeWithMaskNode::createWithGamma(exterior, interior, shape, kQFTypeGamma))
            return mixed;
    return BNCrossfadeWithMaskNode::create(exterior, interior, shape);
}
