#pragma once
// Blending options of a layer: blend mode, opacities, knockout, the
// advanced blending switches, channel restrictions and the Blend If ranges.
//
// Sources: the layer record (blend key, opacity, clipping), the section
// divider for groups ("lsct"/"lsdk"), "iOpa" (fill opacity), "knko",
// "tsly", "lmgm", "vmgm", "infx", "clbl", "brst", and the record's
// blending ranges; the active layer comp may override the blend mode and
// opacities. Defaults (block absent) are Photoshop's for a new layer and
// follow each property. Immutable once made; safe to share.
#include "psd/OMPSDProperty.h"

#include <cstdint>
#include <memory>

// One Blend If range: four fractions in the file's order (each range byte
// / 255): black low, black high, white low, white high.
struct OMPSDBlendingRange {
    double blackLow = 0, blackHigh = 0, whiteLow = 1, whiteHigh = 1;
    bool isFull() const {
        return blackLow == 0 && blackHigh == 0 && whiteLow == 1 && whiteHigh == 1;
    }
    friend bool operator==(const OMPSDBlendingRange&, const OMPSDBlendingRange&) = default;
};

class OMPSDBlendingRangesList {
public:
    // Every source (respectively destination) range is the full range.
    bool isOpaqueForSource() const;
    bool isOpaqueForDestination() const;

    OMPSD_PROPERTY(OMPSDBlendingRange, graySourceBlendingRange, setGraySourceBlendingRange);
    OMPSD_PROPERTY(OMPSDBlendingRange, grayDestinationBlendingRange,
                   setGrayDestinationBlendingRange);
    OMPSD_PROPERTY(OMPSDBlendingRange, redSourceBlendingRange, setRedSourceBlendingRange);
    OMPSD_PROPERTY(OMPSDBlendingRange, redDestinationBlendingRange, setRedDestinationBlendingRange);
    OMPSD_PROPERTY(OMPSDBlendingRange, greenSourceBlendingRange, setGreenSourceBlendingRange);
    OMPSD_PROPERTY(OMPSDBlendingRange, greenDestinationBlendingRange,
                   setGreenDestinationBlendingRange);
    OMPSD_PROPERTY(OMPSDBlendingRange, blueSourceBlendingRange, setBlueSourceBlendingRange);
    OMPSD_PROPERTY(OMPSDBlendingRange, blueDestinationBlendingRange,
                   setBlueDestinationBlendingRange);
};

// What a knockout layer's content is drawn onto ("knko"): what lies below it
// (none), the start of its group (shallow), or the backdrop of the whole
// group stack (deep).
enum OMPSDKnockoutStyle : int {
    OMPSDKnockoutStyleNone = 0,
    OMPSDKnockoutStyleShallow = 1,
    OMPSDKnockoutStyleDeep = 2,
};

class OMPSDBlendingOptions {
    // The layer blend key ("norm", "pass", "mul ", ...).
    OMPSD_PROPERTY(uint32_t, blendMode, setBlendMode, OMPSDFourCC("norm"));
    OMPSD_PROPERTY(double, opacity, setOpacity, 1.0);          // opacity byte / 255
    OMPSD_PROPERTY(double, fillOpacity, setFillOpacity, 1.0);  // "iOpa" byte / 255
    OMPSD_PROPERTY(OMPSDKnockoutStyle, knockoutStyle, setKnockoutStyle, OMPSDKnockoutStyleNone);
    OMPSD_PROPERTY(bool, transparencyShapesLayer, setTransparencyShapesLayer, true);  // "tsly"
    OMPSD_PROPERTY(bool, layerMaskHidesEffects, setLayerMaskHidesEffects, false);     // "lmgm"
    OMPSD_PROPERTY(bool, vectorMaskHidesEffects, setVectorMaskHidesEffects, false);   // "vmgm"
    OMPSD_PROPERTY(bool, shouldBlendInteriorEffectsAsGroup, setShouldBlendInteriorEffectsAsGroup,
                   false);  // "infx"
    OMPSD_PROPERTY(bool, shouldBlendClippedLayersAsGroup, setShouldBlendClippedLayersAsGroup,
                   true);  // "clbl"
    // "brst": some colour channels are excluded from blending.
    OMPSD_PROPERTY(bool, hasRestrictedBlending, setHasRestrictedBlending, false);
    OMPSD_PROPERTY(bool, shouldBlendRed, setShouldBlendRed, true);
    OMPSD_PROPERTY(bool, shouldBlendGreen, setShouldBlendGreen, true);
    OMPSD_PROPERTY(bool, shouldBlendBlue, setShouldBlendBlue, true);
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDBlendingRangesList>, blendingRanges,
                   setBlendingRanges, std::make_shared<OMPSDBlendingRangesList>());
};
