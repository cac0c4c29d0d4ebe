#pragma once
// Layer styles: the ten effects of a layer and the list that holds them.
//
// Decoded from the layer's effects descriptor ("lfx2", or "lmfx" when the
// layer has several effects of one kind: drop and inner shadows, colour and
// gradient overlays and strokes may repeat), else from the legacy binary
// "lrFX" block. Units: opacities, noise, range, jitter, depth and texture
// amounts are fractions 0..1 (the stored percent * 0.01); angles and
// altitudes degrees; distances and sizes pixels; spread and choke percent
// 0..100 as stored. Blend modes are layer blend keys ("norm", "mul ",
// "scrn", ...), translated from the descriptor's enumeration ("Nrml" or
// "normal", "Mltp" or "multiply", ...). Defaults (key absent) follow each property; where none is
// written it is Photoshop's default for a new effect. Immutable once
// decoded; safe to share between threads.
#include "psd/OMPSDColor.h"
#include "psd/OMPSDContour.h"
#include "psd/OMPSDFill.h"
#include "psd/OMPSDProperty.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class OMPSDDescriptorDecoder;

// The layer blend key of a descriptor blend-mode enumeration, under its
// short or its long name ("Mltp" or "multiply" -> "mul "); "norm" for an
// unknown one, with a log line that names it.
uint32_t OMPSDBlendModeKeyForEnum(const std::string& mode);

class OMPSDEffect {
public:
    // In the fixed order of orderedEffects.
    enum class Kind {
        dropShadow,
        innerShadow,
        outerGlow,
        innerGlow,
        bevelEmboss,
        satin,
        colorOverlay,
        gradientOverlay,
        patternOverlay,
        stroke,
    };
    virtual ~OMPSDEffect() = default;
    virtual Kind kind() const = 0;

    OMPSD_PROPERTY(bool, isEnabled, setIsEnabled, true);  // "enab"
};

// An effect drawn with one blend mode and opacity ("Md  ", "Opct").
class OMPSDBlendedEffect : public OMPSDEffect {
    OMPSD_PROPERTY(uint32_t, blendMode, setBlendMode, OMPSDFourCC("norm"));
    OMPSD_PROPERTY(double, opacity, setOpacity, 1.0);
};

// Drop and inner shadow. Defaults: blend "mul ", black.
class OMPSDShadowEffect : public OMPSDBlendedEffect {
    OMPSD_PROPERTY(OMPSDColor, color, setColor);                               // "Clr "
    OMPSD_PROPERTY(double, angle, setAngle, 90.0);                             // "lagl"
    OMPSD_PROPERTY(bool, usesGlobalLight, setUsesGlobalLight, false);          // "uglg"
    OMPSD_PROPERTY(double, distance, setDistance, 10.0);                       // "Dstn"
    OMPSD_PROPERTY(double, spread, setSpread, 0.0);                            // "Ckmt", percent
    OMPSD_PROPERTY(double, size, setSize, 15.0);                               // "blur"
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDContour>, contour, setContour);  // "TrnS"
    OMPSD_PROPERTY(bool, isAntialiased, setIsAntialiased, false);              // "AntA"
    OMPSD_PROPERTY(double, noise, setNoise, 0.0);                              // "Nose"
};

class OMPSDDropShadowEffect final : public OMPSDShadowEffect {
public:
    Kind kind() const override { return Kind::dropShadow; }
    OMPSD_PROPERTY(bool, layerKnocksOutDropShadow, setLayerKnocksOutDropShadow, true);
};

class OMPSDInnerShadowEffect final : public OMPSDShadowEffect {
public:
    Kind kind() const override { return Kind::innerShadow; }
};

// Outer and inner glow. Defaults: blend "scrn", colour (255, 255, 190).
class OMPSDGlowEffect : public OMPSDBlendedEffect {
    OMPSD_PROPERTY(double, noise, setNoise, 0.0);                                 // "Nose"
    OMPSD_PROPERTY(OMPSDColor, color, setColor, 1.0, 1.0, 190 / 255.0);           // "Clr "
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDGradient>, gradient, setGradient);  // "Grad"
    OMPSD_PROPERTY(int, technique, setTechnique, 0);  // "GlwT": 0 softer, 1 precise "PrBL"
    OMPSD_PROPERTY(double, spread, setSpread, 0.0);   // "Ckmt", percent
    OMPSD_PROPERTY(double, size, setSize, 10.0);      // "blur"
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDContour>, contour, setContour);  // "TrnS"
    OMPSD_PROPERTY(bool, isAntialiased, setIsAntialiased, false);              // "AntA"
    OMPSD_PROPERTY(double, range, setRange, 0.5);                              // "Inpr"
    OMPSD_PROPERTY(double, jitter, setJitter, 0.0);                            // "ShdN"
};

class OMPSDOuterGlowEffect final : public OMPSDGlowEffect {
public:
    Kind kind() const override { return Kind::outerGlow; }
};

class OMPSDInnerGlowEffect final : public OMPSDGlowEffect {
public:
    Kind kind() const override { return Kind::innerGlow; }
    OMPSD_PROPERTY(int, source, setSource, 1);  // "glwS": 0 centre "SrcC", else 1 edge
};

// Satin. Defaults: blend "mul ", black.
class OMPSDSatinEffect final : public OMPSDBlendedEffect {
public:
    Kind kind() const override { return Kind::satin; }
    OMPSD_PROPERTY(OMPSDColor, color, setColor);                               // "Clr "
    OMPSD_PROPERTY(double, angle, setAngle, 90.0);                             // "lagl"
    OMPSD_PROPERTY(double, distance, setDistance, 10.0);                       // "Dstn"
    OMPSD_PROPERTY(double, size, setSize, 15.0);                               // "blur"
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDContour>, contour, setContour);  // "MpgS"
    OMPSD_PROPERTY(bool, isAntialiased, setIsAntialiased, false);              // "AntA"
    OMPSD_PROPERTY(bool, isInverted, setIsInverted, true);                     // "Invr"
};

// Colour overlay. Default colour red, as Photoshop's dialog starts.
class OMPSDColorOverlayEffect final : public OMPSDBlendedEffect {
public:
    Kind kind() const override { return Kind::colorOverlay; }
    OMPSD_PROPERTY(OMPSDColor, color, setColor, 1.0, 0.0, 0.0);  // "Clr "
};

class OMPSDGradientOverlayEffect final : public OMPSDBlendedEffect {
public:
    Kind kind() const override { return Kind::gradientOverlay; }
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDGradientFill>, fill, setFill);
};

class OMPSDPatternOverlayEffect final : public OMPSDBlendedEffect {
public:
    Kind kind() const override { return Kind::patternOverlay; }
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDPatternFill>, fill, setFill);
};

// Where a stroke effect lies ("Styl"): outside the layer's edge ("OutF",
// the default), inside it ("InsF") or centred on it ("CtrF").
enum OMPSDStrokeEffectPosition : int {
    OMPSDStrokeEffectPositionOutside = 0,
    OMPSDStrokeEffectPositionInside = 1,
    OMPSDStrokeEffectPositionCentered = 2,
};

class OMPSDStrokeEffect final : public OMPSDBlendedEffect {
public:
    Kind kind() const override { return Kind::stroke; }
    OMPSD_PROPERTY(OMPSDStrokeEffectPosition, position, setPosition,
                   OMPSDStrokeEffectPositionOutside);
    OMPSD_PROPERTY(double, size, setSize, 3.0);  // "Sz  "
    // "PntT": a gradient for "GrFl", a pattern for "Ptrn", else the colour
    // "Clr " (black when absent).
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDFill>, fill, setFill);
};

class OMPSDBevelEmbossEffect final : public OMPSDEffect {
public:
    Kind kind() const override { return Kind::bevelEmboss; }
    // "bvlS": 0 outer bevel "OtrB", 1 inner bevel "InrB" (default), 2 emboss
    // "Embs", 3 pillow emboss "PlEb", 4 stroke emboss "strokeEmboss".
    OMPSD_PROPERTY(int, style, setStyle, 1);
    // "bvlT": 0 smooth "SfBL" (default), 1 chisel hard "PrBL", 2 chisel soft "Slmt".
    OMPSD_PROPERTY(int, technique, setTechnique, 0);
    OMPSD_PROPERTY(double, depth, setDepth, 1.0);                     // "srgR"
    OMPSD_PROPERTY(int, direction, setDirection, 0);                  // "bvlD": 0 up "In  ", 1 down
    OMPSD_PROPERTY(double, size, setSize, 5.0);                       // "blur"
    OMPSD_PROPERTY(double, softness, setSoftness, 0.0);               // "Sftn"
    OMPSD_PROPERTY(double, angle, setAngle, 120.0);                   // "lagl"
    OMPSD_PROPERTY(bool, usesGlobalLight, setUsesGlobalLight, true);  // "uglg"
    OMPSD_PROPERTY(double, altitude, setAltitude, 30.0);              // "Lald"
    OMPSD_PROPERTY(OMPSDColor, highlightColor, setHighlightColor, 1.0, 1.0, 1.0);  // "hglC"
    OMPSD_PROPERTY(uint32_t, highlightBlendMode, setHighlightBlendMode, OMPSDFourCC("scrn"));
    OMPSD_PROPERTY(double, highlightOpacity, setHighlightOpacity, 1.0);  // "hglO"
    OMPSD_PROPERTY(OMPSDColor, shadowColor, setShadowColor);             // "sdwC"
    OMPSD_PROPERTY(uint32_t, shadowBlendMode, setShadowBlendMode, OMPSDFourCC("mul "));
    OMPSD_PROPERTY(double, shadowOpacity, setShadowOpacity, 1.0);              // "sdwO"
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDContour>, contour, setContour);  // "TrnS", gloss
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDContour>, shapeContour, setShapeContour);  // "MpgS"
    OMPSD_PROPERTY(bool, isShapeContourEnabled, setIsShapeContourEnabled, false);  // "useShape"
    OMPSD_PROPERTY(double, shapeInputRange, setShapeInputRange, 0.5);              // "Inpr"
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDPatternReference>, texturePattern,
                   setTexturePattern);                                    // "Ptrn"
    OMPSD_PROPERTY(bool, isTextureEnabled, setIsTextureEnabled, false);   // "useTexture"
    OMPSD_PROPERTY(bool, invertTexture, setInvertTexture, false);         // "InvT"
    OMPSD_PROPERTY(bool, isLinkedWithLayer, setIsLinkedWithLayer, true);  // "Algn"
    OMPSD_PROPERTY(double, textureAmount, setTextureAmount, 1.0);         // "textureDepth"
    OMPSD_PROPERTY(double, textureScale, setTextureScale, 1.0);           // "Scl "
    OMPSD_PROPERTY(double, horizontalPhase, setHorizontalPhase, 0.0);     // "phase" "Hrzn"
    OMPSD_PROPERTY(double, verticalPhase, setVerticalPhase, 0.0);         // "phase" "Vrtc"
};

class OMPSDEffectList {
public:
    // From an "lfx2" or "lmfx" block (version, descriptor version,
    // descriptor); null when damaged.
    static std::shared_ptr<const OMPSDEffectList> fromDescriptorBlock(
        std::span<const uint8_t> data);
    // From a legacy "lrFX" block; null when damaged.
    static std::shared_ptr<const OMPSDEffectList> fromLegacyBlock(std::span<const uint8_t> data);

    // The master switch ("masterFXSwitch", default on).
    OMPSD_PROPERTY(bool, isEnabled, setIsEnabled, true);

public:
    // Enabled, and at least one effect is enabled.
    bool isVisible() const;

    // Every effect of `kind`, in the order the document stores them (its
    // list in "lmfx"); the compositing says in which order they are drawn.
    const std::vector<std::shared_ptr<const OMPSDEffect>>& effectsOfKind(
        OMPSDEffect::Kind kind) const;

    // The first effect of each kind (the only one unless the kind repeats).
    std::shared_ptr<const OMPSDDropShadowEffect> dropShadow() const;
    std::shared_ptr<const OMPSDInnerShadowEffect> innerShadow() const;
    std::shared_ptr<const OMPSDOuterGlowEffect> outerGlow() const;
    std::shared_ptr<const OMPSDInnerGlowEffect> innerGlow() const;
    std::shared_ptr<const OMPSDSatinEffect> satin() const;
    std::shared_ptr<const OMPSDPatternOverlayEffect> patternOverlay() const;
    std::shared_ptr<const OMPSDGradientOverlayEffect> gradientOverlay() const;
    std::shared_ptr<const OMPSDColorOverlayEffect> colorOverlay() const;
    std::shared_ptr<const OMPSDStrokeEffect> stroke() const;
    std::shared_ptr<const OMPSDBevelEmbossEffect> bevelEmboss() const;

    // The present effects in the fixed order drop shadow, inner shadow,
    // outer glow, inner glow, bevel, satin, colour overlay, gradient
    // overlay, pattern overlay, stroke; the effects of one kind in their
    // stored order.
    std::vector<std::shared_ptr<const OMPSDEffect>> orderedEffects() const;

    // Adds `effect` after the effects of its kind already held.
    void addEffect(std::shared_ptr<const OMPSDEffect> effect);

private:
    std::vector<std::shared_ptr<const OMPSDEffect>> effects_[10];
};
