#pragma once
// OMPSDLayer: one layer or group of a document, with every value the
// compositing and export code reads of it.
//
// The record's own values (rectangle, channels, blend key, opacity,
// clipping, flags, masks, blending ranges, name) are read when the document
// opens. The tagged blocks are kept as they are, and the values decoded
// from them (effects, fills, adjustments, vector data, smart objects) are
// decoded on first use and cached; decoding takes the layer's lock and each
// channel decompresses under its own, so a layer may be read from several
// threads at once.
// Visibility is the one mutable value: export recipes change it on their
// serial build queue and restore it. A layer belongs to its document, which
// it refers to weakly.
//
// Getters whose block is absent or damaged return null (or the documented
// default); nothing here fails.
#include "bytearray/BAByteArray.h"
#include "platform/files/Data.h"
#include "psd/OMPSDAdjustments.h"
#include "psd/OMPSDBlendingOptions.h"
#include "psd/OMPSDChannelReference.h"
#include "psd/OMPSDDeferredData.h"
#include "psd/OMPSDDescriptorDecoder.h"
#include "psd/OMPSDEffects.h"
#include "psd/OMPSDFill.h"
#include "psd/OMPSDPath.h"
#include "psd/OMPSDRect.h"
#include "psd/OMPSDSmartObject.h"
#include "psd/OMPSDTypeRecord.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class OMPSDDocument;

// A tagged block of a layer or of the document: its key and its bytes.
//
// A large block of a document opened from a file is read when its data is
// first asked for (once, from any thread), so that opening costs little
// more than the records; a block that can no longer be read then reads as
// empty, with one log line.
class OMPSDAttributesAtom {
public:
    OMPSDAttributesAtom(uint32_t key, lf::Data data);
    // The bytes of `range` in `bytes`, read on first use.
    OMPSDAttributesAtom(uint32_t key, std::shared_ptr<const BAByteArray> bytes, BARange range);

    uint32_t key() const { return key_; }
    const lf::Data& data() const;
    uint64_t size() const { return bytes_.size(); }

private:
    uint32_t key_;
    OMPSDDeferredData bytes_;
};

// The mask data of a layer record; the defaults stand for a layer without
// a mask.
struct OMPSDLayerMaskData {
    OMPSDRect rect;
    uint8_t backgroundColor = 0;  // the default colour byte, 0 or 255
    uint8_t flags =
        0;  // bit 0 relative to layer, 1 disabled, 2 inverted, 3 rendered from other data
    bool hasRealMask = false;
    OMPSDRect realRect;
    uint8_t realBackgroundColor = 0;
    uint8_t realFlags = 0;
    double density = 1, feather = 0;              // user mask parameters
    double vectorDensity = 1, vectorFeather = 0;  // vector mask parameters
};

// What the reader takes from a layer record; the document's parser fills it.
struct OMPSDLayerRecord {
    std::string name;  // the Unicode name when present, else the Pascal name
    std::string pascalName;
    OMPSDRect rect;
    uint32_t blendKey = OMPSDFourCC("norm");
    uint8_t opacity = 255, clipping = 0, flags = 0;
    std::optional<OMPSDLayerMaskData> mask;
    std::vector<uint8_t> blendingRanges;  // the record's bytes, gray first
    std::vector<OMPSDAttributesAtom> atoms;
    std::vector<std::shared_ptr<const OMPSDChannelReference>> channels;
    int sectionType = 0;  // "lsct"/"lsdk": 1, 2 group, 3 end of group
    uint32_t sectionBlendKey = 0;
};

class OMPSDLayer {
public:
    OMPSDLayer(OMPSDLayerRecord record, std::shared_ptr<std::mutex> lock,
               std::weak_ptr<const OMPSDDocument> document);

    std::shared_ptr<const OMPSDDocument> document() const { return document_.lock(); }

    const std::string& name() const { return record_.name; }
    // "lyid", 0 when absent.
    uint32_t identifier() const;
    const OMPSDRect& rect() const { return record_.rect; }
    // 0 a base layer, 1 clipped to the layer below.
    uint8_t clipping() const { return record_.clipping; }
    // The record's flags: bit 0 transparency protected, bit 1 hidden, bit 3
    // set when bit 4 is meaningful, bit 4 pixel data irrelevant.
    uint8_t flags() const { return record_.flags; }

    bool isGroup() const { return record_.sectionType == 1 || record_.sectionType == 2; }
    // Children of a group, bottom-most first; empty for other layers.
    const std::vector<std::shared_ptr<OMPSDLayer>>& sublayers() const { return sublayers_; }
    // Set by the document's parser while it opens, before anyone else sees
    // the layer.
    void setSublayers(std::vector<std::shared_ptr<OMPSDLayer>> sublayers) {
        sublayers_ = std::move(sublayers);
    }

    // The visibility the compositing honours: the active layer comp's when
    // it records one, else the record's.
    bool isVisible() const { return isVisible_.load(std::memory_order_relaxed); }
    void setIsVisible(bool visible) { isVisible_.store(visible, std::memory_order_relaxed); }

    // Never null.
    std::shared_ptr<const OMPSDBlendingOptions> blendingOptions() const { return blendingOptions_; }
    // Set by the document's parser (record, blocks, active layer comp).
    void setBlendingOptions(std::shared_ptr<const OMPSDBlendingOptions> options) {
        blendingOptions_ = std::move(options);
    }

    // "lnsr": the layer's name source ("bgnd" for the background); 0 when absent.
    uint32_t layerNameSource() const;
    // "fxrp": the effects reference point; (0, 0) when absent or short.
    OMPSDPoint effectsReferencePoint() const;

    const std::vector<std::shared_ptr<const OMPSDChannelReference>>& channelReferences() const {
        return record_.channels;
    }
    std::shared_ptr<const OMPSDChannelReference> channelReferenceForIdentifier(int16_t id) const;

    // Mask values. Without a mask: enabled NO, background 0.
    bool maskIsEnabled() const;
    bool realMaskIsEnabled() const;
    bool maskIsPrerenderedVectorMask() const;
    bool maskIsInverted() const;
    bool maskIsRelativeToLayer() const;
    double maskBackgroundColor() const;      // the default colour byte / 255
    double realMaskBackgroundColor() const;  // the real mask's byte / 255
    double maskDensity() const;              // fraction, 1 when absent
    double maskFeatherAmount() const;        // pixels, 0 when absent
    const std::optional<OMPSDLayerMaskData>& maskData() const { return record_.mask; }

    // The vector mask ("vmsk", else "vsms"), or null.
    std::shared_ptr<const OMPSDCompoundPath> vectorMask() const;
    bool vectorMaskIsEnabled() const;   // flags bit 2 clear
    bool vectorMaskIsInverted() const;  // flags bit 0
    bool vectorMaskIsLinked() const;    // flags bit 1 clear
    // Whether the shape's edges snap to whole pixels: "sn2P" non-zero, or
    // the stroke's "strokeStyleStrokeAdjust"; NO when both are absent.
    bool vectorMaskIsAlignedToPixels() const;
    double vectorMaskDensity() const;        // fraction, 1 when absent
    double vectorMaskFeatherAmount() const;  // pixels, 0 when absent

    std::shared_ptr<const OMPSDVectorStroke> vectorStroke() const;  // "vstk"
    // The paint of a vector-fill layer: "vscg" when present, else the fill
    // layer block ("SoCo", "GdFl", "PtFl").
    std::shared_ptr<const OMPSDFill> vectorFill() const;
    std::optional<OMPSDColor> colorFill() const;                    // "SoCo" "Clr "
    std::shared_ptr<const OMPSDGradientFill> gradientFill() const;  // "GdFl"
    std::shared_ptr<const OMPSDPatternFill> patternFill() const;    // "PtFl"

    std::shared_ptr<const OMPSDGradientFill> gradientMap() const;         // "grdm"
    std::shared_ptr<const OMPSDLevelsList> levels() const;                // "levl"
    std::shared_ptr<const OMPSDCurvesList> curves() const;                // "curv"
    std::shared_ptr<const OMPSDExposure> exposure() const;                // "expA"
    std::shared_ptr<const OMPSDColorBalance> colorBalance() const;        // "blnc"
    std::shared_ptr<const OMPSDHueSaturationList> hueSaturation() const;  // "hue2"
    std::shared_ptr<const OMPSDSelectiveColor> selectiveColor() const;    // "selc"
    std::shared_ptr<const OMPSDVibrance> vibrance() const;                // "vibA"
    // "post": the level count; 0 when absent.
    uint16_t posterizeLevels() const;
    // "thrs": the level / 255; 0 when absent.
    double threshold() const;
    // "CgEd": the brightness/contrast descriptor, or null.
    std::shared_ptr<const OMPSDDescriptorDecoder> contentGeneratorExtraData() const;

    // Effects from "lmfx" (or a group's "lfxs"), else "lfx2", else the legacy
    // "lrFX"; null without.
    std::shared_ptr<const OMPSDEffectList> effects() const;

    std::shared_ptr<const OMPSDSmartObjectInstance> smartObjectInstance() const;

    // "TySh": the type record of a type layer; null for other layers and
    // when the record is damaged.
    std::shared_ptr<const OMPSDTypeRecord> typeRecord() const;

    // The tagged block of that key, or null.
    const OMPSDAttributesAtom* attributesAtomForKey(uint32_t key) const;
    const std::vector<OMPSDAttributesAtom>& attributesAtoms() const { return record_.atoms; }

    // The record as read (for the parser and diagnostics).
    const OMPSDLayerRecord& record() const { return record_; }

    // Values that other subsystems keep with the layer for as long as it
    // lives (the compositing caches the layer's simplified vector-mask path
    // here), by key; null when none is set. Reading and storing are each
    // atomic; any thread.
    std::shared_ptr<const void> associatedObject(const std::string& key) const;
    void setAssociatedObject(const std::string& key, std::shared_ptr<const void> value) const;

private:
    template <typename T, typename Make>
    T cached(std::optional<T>& slot, Make make) const;
    std::span<const uint8_t> blockData(uint32_t key) const;

    OMPSDLayerRecord record_;
    std::shared_ptr<std::mutex> lock_;
    std::weak_ptr<const OMPSDDocument> document_;
    std::vector<std::shared_ptr<OMPSDLayer>> sublayers_;
    std::atomic<bool> isVisible_;
    std::shared_ptr<const OMPSDBlendingOptions> blendingOptions_;

    // Decoded on first use, under lock_.
    mutable std::optional<std::shared_ptr<const OMPSDCompoundPath>> vectorMask_;
    mutable std::optional<uint32_t> vectorMaskFlags_;
    mutable std::optional<std::shared_ptr<const OMPSDVectorStroke>> vectorStroke_;
    mutable std::optional<std::shared_ptr<const OMPSDFill>> vectorFill_;
    mutable std::optional<std::optional<OMPSDColor>> colorFill_;
    mutable std::optional<std::shared_ptr<const OMPSDGradientFill>> gradientFill_;
    mutable std::optional<std::shared_ptr<const OMPSDPatternFill>> patternFill_;
    mutable std::optional<std::shared_ptr<const OMPSDGradientFill>> gradientMap_;
    mutable std::optional<std::shared_ptr<const OMPSDLevelsList>> levels_;
    mutable std::optional<std::shared_ptr<const OMPSDCurvesList>> curves_;
    mutable std::optional<std::shared_ptr<const OMPSDExposure>> exposure_;
    mutable std::optional<std::shared_ptr<const OMPSDColorBalance>> colorBalance_;
    mutable std::optional<std::shared_ptr<const OMPSDHueSaturationList>> hueSaturation_;
    mutable std::optional<std::shared_ptr<const OMPSDSelectiveColor>> selectiveColor_;
    mutable std::optional<std::shared_ptr<const OMPSDVibrance>> vibrance_;
    mutable std::optional<std::shared_ptr<const OMPSDDescriptorDecoder>> contentGeneratorData_;
    mutable std::optional<std::shared_ptr<const OMPSDEffectList>> effects_;
    mutable std::optional<std::shared_ptr<const OMPSDSmartObjectInstance>> smartObjectInstance_;
    mutable std::optional<std::shared_ptr<const OMPSDTypeRecord>> typeRecord_;

    mutable std::mutex associatedObjectsMutex_;  // guards associatedObjects_ only
    mutable std::vector<std::pair<std::string, std::shared_ptr<const void>>> associatedObjects_;
};
