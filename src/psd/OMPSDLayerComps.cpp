// Layer comps: resource 1065 lists the comps ("list" of "Cmps" objects
// with "compID", "Nm  " and "capturedInfo") and names the comp last applied
// ("lastAppliedComp"); each layer's metadata block "shmd" holds a "cmls"
// item whose "layerSettings" say, per list of comps, the layer's
// visibility ("enab") and blending options ("blendOptions"). The layers
// show the state of the last applied comp.
#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDDescriptorDecoder.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDEffects.h"

#include <algorithm>

namespace {

// The "cmls" item of a layer's metadata block: a count, then items of
// signature, key, a copy-on-sheet flag and 3 bytes of padding, length, data.
std::shared_ptr<const OMPSDDescriptorDecoder> compSettings(const OMPSDLayer& layer) {
    const auto* metadata = layer.attributesAtomForKey(OMPSDFourCC("shmd"));
    if (!metadata) return nullptr;
    OMPSDBinaryReader reader(metadata->data().span());
    uint32_t count = reader.u32();
    for (uint32_t i = 0; i < count && !reader.failed(); ++i) {
        reader.skip(4);  // signature: "8BIM" (some writers put others here)
        uint32_t key = reader.u32();
        reader.skip(4);
        auto data = reader.bytes(reader.u32());
        if (key == OMPSDFourCC("cmls") && !reader.failed()) {
            auto descriptor = OMPSDDescriptorDecoder::decodeVersioned(data);
            return descriptor ? *descriptor : nullptr;
        }
    }
    return nullptr;
}

bool listContains(const std::vector<OMPSDDescriptorValue>& list, int32_t identifier) {
    return std::any_of(list.begin(), list.end(), [&](const OMPSDDescriptorValue& value) {
        return value.type == OMPSDFourCC("long") && value.integer == identifier;
    });
}

}  // namespace

void OMPSDDocument::applyLayerComps() {
    auto resource = imageResourceForIdentifier(1065);
    if (!resource) return;
    auto decoded = OMPSDDescriptorDecoder::decodeVersioned(resource->data().span());
    if (!decoded) return;
    const auto& comps = **decoded;
    if (const auto* list = comps.listForKey("list")) {
        for (const auto& item : *list) {
            if (!item.object) continue;
            OMPSDLayerComp comp;
            item.object->decodeInt(&comp.identifier, "compID");
            item.object->decodeString(&comp.name, "Nm  ");
            item.object->decodeInt(&comp.capturedInfo, "capturedInfo");
            layerComps_.push_back(std::move(comp));
        }
    }
    int32_t active = 0;
    if (!comps.decodeInt(&active, "lastAppliedComp")) return;
    auto comp = std::find_if(layerComps_.begin(), layerComps_.end(),
                             [&](const OMPSDLayerComp& c) { return c.identifier == active; });
    if (comp == layerComps_.end()) return;
    activeLayerComp_ = active;

    for (const auto& layer : allLayers_) {
        auto settings = compSettings(*layer);
        const auto* entries = settings ? settings->listForKey("layerSettings") : nullptr;
        if (!entries) continue;
        for (const auto& entry : *entries) {
            if (!entry.object) continue;
            const auto* compList = entry.object->listForKey("compList");
            if (!compList || !listContains(*compList, active)) continue;
            bool visible = false;
            if ((comp->capturedInfo & 1) && entry.object->decodeBool(&visible, "enab"))
                layer->setIsVisible(visible);
            auto blend = entry.object->descriptorForKey("blendOptions");
            if ((comp->capturedInfo & 4) && blend) {
                auto options = std::make_shared<OMPSDBlendingOptions>(*layer->blendingOptions());
                std::string mode;
                if (blend->decodeEnum(&mode, "Md  "))
                    options->setBlendMode(OMPSDBlendModeKeyForEnum(mode));
                double value = 0;
                if (blend->decodeDouble(&value, "Opct")) options->setOpacity(value * 0.01);
                if (blend->decodeDouble(&value, "fillOpacity"))
                    options->setFillOpacity(value * 0.01);
                layer->setBlendingOptions(std::move(options));
            }
            break;
        }
    }
}
