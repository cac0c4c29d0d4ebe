#include "psd/OMPSDEffects.h"

#include "platform/core/Log.h"
#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDDescriptorDecoder.h"

#include <utility>

namespace {

using Kind = OMPSDEffect::Kind;

void readCommon(const OMPSDDescriptorDecoder& d, OMPSDEffect& effect) {
    effect.setIsEnabled(d.boolForKey("enab", true));
}

void readBlended(const OMPSDDescriptorDecoder& d, OMPSDBlendedEffect& effect) {
    readCommon(d, effect);
    std::string mode;
    if (d.decodeEnum(&mode, "Md  ")) effect.setBlendMode(OMPSDBlendModeKeyForEnum(mode));
    effect.setOpacity(d.doubleForKey("Opct", 100) * 0.01);
}

std::shared_ptr<const OMPSDContour> contourForKey(const OMPSDDescriptorDecoder& d,
                                                  const char* key) {
    auto contour = d.descriptorForKey(key);
    return contour ? OMPSDContour::fromDescriptor(*contour) : nullptr;
}

void readShadow(const OMPSDDescriptorDecoder& d, OMPSDShadowEffect& effect) {
    effect.setBlendMode(OMPSDFourCC("mul "));
    readBlended(d, effect);
    effect.setColor(OMPSDColor::forKey(d, "Clr "));
    effect.setAngle(d.doubleForKey("lagl", 90));
    effect.setUsesGlobalLight(d.boolForKey("uglg", false));
    effect.setDistance(d.doubleForKey("Dstn", 10));
    effect.setSpread(d.doubleForKey("Ckmt", 0));
    effect.setSize(d.doubleForKey("blur", 15));
    effect.setContour(contourForKey(d, "TrnS"));
    effect.setIsAntialiased(d.boolForKey("AntA", false));
    effect.setNoise(d.doubleForKey("Nose", 0) * 0.01);
}

void readGlow(const OMPSDDescriptorDecoder& d, OMPSDGlowEffect& effect) {
    effect.setBlendMode(OMPSDFourCC("scrn"));
    readBlended(d, effect);
    effect.setNoise(d.doubleForKey("Nose", 0) * 0.01);
    effect.setColor(OMPSDColor::forKey(d, "Clr ", effect.color()));
    if (auto gradient = d.descriptorForKey("Grad"))
        effect.setGradient(
            OMPSDGradient::fromDescriptor(*gradient, OMPSDGradientInterpolationMethod(d)));
    effect.setTechnique(d.enumForKey("GlwT") == "PrBL" ? 1 : 0);
    effect.setSpread(d.doubleForKey("Ckmt", 0));
    effect.setSize(d.doubleForKey("blur", 10));
    effect.setContour(contourForKey(d, "TrnS"));
    effect.setIsAntialiased(d.boolForKey("AntA", false));
    effect.setRange(d.doubleForKey("Inpr", 50) * 0.01);
    effect.setJitter(d.doubleForKey("ShdN", 0) * 0.01);
}

std::shared_ptr<const OMPSDEffect> readDropShadow(const OMPSDDescriptorDecoder& d) {
    auto effect = std::make_shared<OMPSDDropShadowEffect>();
    readShadow(d, *effect);
    effect->setLayerKnocksOutDropShadow(d.boolForKey("layerConceals", true));
    return effect;
}

std::shared_ptr<const OMPSDEffect> readInnerShadow(const OMPSDDescriptorDecoder& d) {
    auto effect = std::make_shared<OMPSDInnerShadowEffect>();
    readShadow(d, *effect);
    return effect;
}

std::shared_ptr<const OMPSDEffect> readOuterGlow(const OMPSDDescriptorDecoder& d) {
    auto effect = std::make_shared<OMPSDOuterGlowEffect>();
    readGlow(d, *effect);
    return effect;
}

std::shared_ptr<const OMPSDEffect> readInnerGlow(const OMPSDDescriptorDecoder& d) {
    auto effect = std::make_shared<OMPSDInnerGlowEffect>();
    readGlow(d, *effect);
    std::string source;
    if (d.decodeEnum(&source, "glwS")) effect->setSource(source == "SrcC" ? 0 : 1);
    return effect;
}

std::shared_ptr<const OMPSDEffect> readSatin(const OMPSDDescriptorDecoder& d) {
    auto effect = std::make_shared<OMPSDSatinEffect>();
    effect->setBlendMode(OMPSDFourCC("mul "));
    readBlended(d, *effect);
    effect->setColor(OMPSDColor::forKey(d, "Clr "));
    effect->setAngle(d.doubleForKey("lagl", 90));
    effect->setDistance(d.doubleForKey("Dstn", 10));
    effect->setSize(d.doubleForKey("blur", 15));
    effect->setContour(contourForKey(d, "MpgS"));
    effect->setIsAntialiased(d.boolForKey("AntA", false));
    effect->setIsInverted(d.boolForKey("Invr", true));
    return effect;
}

std::shared_ptr<const OMPSDEffect> readColorOverlay(const OMPSDDescriptorDecoder& d) {
    auto effect = std::make_shared<OMPSDColorOverlayEffect>();
    readBlended(d, *effect);
    effect->setColor(OMPSDColor::forKey(d, "Clr ", effect->color()));
    return effect;
}

std::shared_ptr<const OMPSDEffect> readGradientOverlay(const OMPSDDescriptorDecoder& d) {
    auto effect = std::make_shared<OMPSDGradientOverlayEffect>();
    readBlended(d, *effect);
    effect->setFill(OMPSDGradientFill::fromDescriptor(d));
    return effect;
}

std::shared_ptr<const OMPSDEffect> readPatternOverlay(const OMPSDDescriptorDecoder& d) {
    auto effect = std::make_shared<OMPSDPatternOverlayEffect>();
    readBlended(d, *effect);
    effect->setFill(OMPSDPatternFill::fromDescriptor(d));
    return effect;
}

std::shared_ptr<const OMPSDEffect> readStroke(const OMPSDDescriptorDecoder& d) {
    auto effect = std::make_shared<OMPSDStrokeEffect>();
    readBlended(d, *effect);
    std::string position = d.enumForKey("Styl", "OutF");
    effect->setPosition(position == "InsF"   ? OMPSDStrokeEffectPositionInside
                        : position == "CtrF" ? OMPSDStrokeEffectPositionCentered
                                             : OMPSDStrokeEffectPositionOutside);
    effect->setSize(d.doubleForKey("Sz  ", 3));
    std::string paint = d.enumForKey("PntT", "SClr");
    std::shared_ptr<const OMPSDFill> fill;
    if (paint == "GrFl")
        fill = OMPSDGradientFill::fromDescriptor(d);
    else if (paint == "Ptrn")
        fill = OMPSDPatternFill::fromDescriptor(d);
    if (!fill) fill = std::make_shared<OMPSDColorFill>(OMPSDColor::forKey(d, "Clr "));
    effect->setFill(std::move(fill));
    return effect;
}

std::shared_ptr<const OMPSDEffect> readBevelEmboss(const OMPSDDescriptorDecoder& d) {
    auto effect = std::make_shared<OMPSDBevelEmbossEffect>();
    readCommon(d, *effect);
    static const std::pair<const char*, int> styles[] = {
        {"OtrB", 0}, {"InrB", 1}, {"Embs", 2}, {"PlEb", 3}, {"strokeEmboss", 4}};
    std::string style = d.enumForKey("bvlS", "InrB");
    for (const auto& [name, value] : styles)
        if (style == name) effect->setStyle(value);
    std::string technique = d.enumForKey("bvlT", "SfBL");
    effect->setTechnique(technique == "PrBL" ? 1 : technique == "Slmt" ? 2 : 0);
    effect->setDepth(d.doubleForKey("srgR", 100) * 0.01);
    effect->setDirection(d.enumForKey("bvlD", "In  ") == "In  " ? 0 : 1);
    effect->setSize(d.doubleForKey("blur", effect->size()));
    effect->setSoftness(d.doubleForKey("Sftn", 0));
    effect->setAngle(d.doubleForKey("lagl", effect->angle()));
    effect->setUsesGlobalLight(d.boolForKey("uglg", effect->usesGlobalLight()));
    effect->setAltitude(d.doubleForKey("Lald", effect->altitude()));
    effect->setHighlightColor(OMPSDColor::forKey(d, "hglC", effect->highlightColor()));
    std::string mode;
    if (d.decodeEnum(&mode, "hglM")) effect->setHighlightBlendMode(OMPSDBlendModeKeyForEnum(mode));
    effect->setHighlightOpacity(d.doubleForKey("hglO", 100) * 0.01);
    effect->setShadowColor(OMPSDColor::forKey(d, "sdwC", effect->shadowColor()));
    if (d.decodeEnum(&mode, "sdwM")) effect->setShadowBlendMode(OMPSDBlendModeKeyForEnum(mode));
    effect->setShadowOpacity(d.doubleForKey("sdwO", 100) * 0.01);
    effect->setContour(contourForKey(d, "TrnS"));
    effect->setShapeContour(contourForKey(d, "MpgS"));
    effect->setIsShapeContourEnabled(d.boolForKey("useShape", false));
    effect->setShapeInputRange(d.doubleForKey("Inpr", 50) * 0.01);
    if (auto pattern = d.descriptorForKey("Ptrn"))
        effect->setTexturePattern(OMPSDPatternReference::fromDescriptor(*pattern));
    effect->setIsTextureEnabled(d.boolForKey("useTexture", false));
    effect->setInvertTexture(d.boolForKey("InvT", false));
    effect->setIsLinkedWithLayer(d.boolForKey("Algn", true));
    effect->setTextureAmount(d.doubleForKey("textureDepth", 100) * 0.01);
    effect->setTextureScale(d.doubleForKey("Scl ", 100) * 0.01);
    if (auto phase = d.descriptorForKey("phase")) {
        effect->setHorizontalPhase(phase->doubleForKey("Hrzn", 0));
        effect->setVerticalPhase(phase->doubleForKey("Vrtc", 0));
    }
    return effect;
}

struct EffectKey {
    const char* key;       // the effect's key in "lfx2"
    const char* multiKey;  // its list in "lmfx", when it can repeat
    std::shared_ptr<const OMPSDEffect> (*read)(const OMPSDDescriptorDecoder&);
};

const EffectKey kEffectKeys[] = {
    {"DrSh", "dropShadowMulti", readDropShadow},
    {"IrSh", "innerShadowMulti", readInnerShadow},
    {"OrGl", nullptr, readOuterGlow},
    {"IrGl", nullptr, readInnerGlow},
    {"ebbl", nullptr, readBevelEmboss},
    {"ChFX", nullptr, readSatin},
    {"SoFi", "solidFillMulti", readColorOverlay},
    {"GrFl", "gradientFillMulti", readGradientOverlay},
    {"patternFill", nullptr, readPatternOverlay},
    {"FrFX", "frameFXMulti", readStroke},
};

// A layer style holds at most ten effects of a kind; a longer list (a
// damaged document) keeps its first ten, which bounds the work of drawing
// them.
constexpr size_t kMaximumEffectsOfAKind = 10;

// An effect the user removed may stay in the descriptor with "present" off.
bool isPresent(const OMPSDDescriptorDecoder& d) {
    return d.boolForKey("present", true);
}

}  // namespace

uint32_t OMPSDBlendModeKeyForEnum(const std::string& mode) {
    // Older documents name the first modes by four characters, newer ones by
    // their long names; the modes added later have only a long name.
    struct Names {
        uint32_t key;
        const char* shortName;
        const char* longName;
    };
    static const Names modes[] = {
        {OMPSDFourCC("norm"), "Nrml", "normal"},
        {OMPSDFourCC("diss"), "Dslv", "dissolve"},
        {OMPSDFourCC("dark"), "Drkn", "darken"},
        {OMPSDFourCC("mul "), "Mltp", "multiply"},
        {OMPSDFourCC("idiv"), "CBrn", "colorBurn"},
        {OMPSDFourCC("lbrn"), nullptr, "linearBurn"},
        {OMPSDFourCC("dkCl"), nullptr, "darkerColor"},
        {OMPSDFourCC("lite"), "Lghn", "lighten"},
        {OMPSDFourCC("scrn"), "Scrn", "screen"},
        {OMPSDFourCC("div "), "CDdg", "colorDodge"},
        {OMPSDFourCC("lddg"), nullptr, "linearDodge"},
        {OMPSDFourCC("lgCl"), nullptr, "lighterColor"},
        {OMPSDFourCC("over"), "Ovrl", "overlay"},
        {OMPSDFourCC("sLit"), "SftL", "softLight"},
        {OMPSDFourCC("hLit"), "HrdL", "hardLight"},
        {OMPSDFourCC("vLit"), nullptr, "vividLight"},
        {OMPSDFourCC("lLit"), nullptr, "linearLight"},
        {OMPSDFourCC("pLit"), nullptr, "pinLight"},
        {OMPSDFourCC("hMix"), nullptr, "hardMix"},
        {OMPSDFourCC("diff"), "Dfrn", "difference"},
        {OMPSDFourCC("smud"), "Xclu", "exclusion"},
        {OMPSDFourCC("fsub"), nullptr, "blendSubtraction"},
        {OMPSDFourCC("fdiv"), nullptr, "blendDivide"},
        {OMPSDFourCC("hue "), "H   ", "hue"},
        {OMPSDFourCC("sat "), "Strt", "saturation"},
        {OMPSDFourCC("colr"), "Clr ", "color"},
        {OMPSDFourCC("lum "), "Lmns", "luminosity"},
        {OMPSDFourCC("pass"), nullptr, "passThrough"},
    };
    for (const Names& names : modes)
        if ((names.shortName && mode == names.shortName) || mode == names.longName)
            return names.key;
    lf::log("Unknown blend mode: {}; it is drawn normal", mode);
    return OMPSDFourCC("norm");
}

std::shared_ptr<const OMPSDEffectList> OMPSDEffectList::fromDescriptorBlock(
    std::span<const uint8_t> data) {
    // Object effects version (0), descriptor version (16), descriptor.
    if (data.size() < 8) return nullptr;
    auto descriptor = OMPSDDescriptorDecoder::decode(data.subspan(8));
    if (!descriptor) return nullptr;
    const auto& d = **descriptor;
    auto list = std::make_shared<OMPSDEffectList>();
    list->setIsEnabled(d.boolForKey("masterFXSwitch", true));
    for (const auto& entry : kEffectKeys) {
        if (auto single = d.descriptorForKey(entry.key); single && isPresent(*single)) {
            list->addEffect(entry.read(*single));
            continue;
        }
        if (!entry.multiKey) continue;
        const auto* items = d.listForKey(entry.multiKey);
        if (!items) continue;
        size_t kept = 0;
        for (const auto& item : *items) {
            if (kept == kMaximumEffectsOfAKind) break;
            if (!item.object || !isPresent(*item.object)) continue;
            list->addEffect(entry.read(*item.object));
            ++kept;
        }
    }
    return list;
}

bool OMPSDEffectList::isVisible() const {
    if (!isEnabled()) return false;
    for (const auto& effect : orderedEffects())
        if (effect->isEnabled()) return true;
    return false;
}

const std::vector<std::shared_ptr<const OMPSDEffect>>& OMPSDEffectList::effectsOfKind(
    Kind kind) const {
    return effects_[size_t(kind)];
}

void OMPSDEffectList::addEffect(std::shared_ptr<const OMPSDEffect> effect) {
    if (effect) effects_[size_t(effect->kind())].push_back(std::move(effect));
}

std::vector<std::shared_ptr<const OMPSDEffect>> OMPSDEffectList::orderedEffects() const {
    std::vector<std::shared_ptr<const OMPSDEffect>> result;
    for (const auto& ofKind : effects_)
        result.insert(result.end(), ofKind.begin(), ofKind.end());
    return result;
}

#define OMPSD_EFFECT_GETTER(Type, name, kind)                                              \
    std::shared_ptr<const Type> OMPSDEffectList::name() const {                            \
        const auto& ofKind = effects_[size_t(Kind::kind)];                                 \
        return ofKind.empty() ? nullptr : std::static_pointer_cast<const Type>(ofKind[0]); \
    }
OMPSD_EFFECT_GETTER(OMPSDDropShadowEffect, dropShadow, dropShadow)
OMPSD_EFFECT_GETTER(OMPSDInnerShadowEffect, innerShadow, innerShadow)
OMPSD_EFFECT_GETTER(OMPSDOuterGlowEffect, outerGlow, outerGlow)
OMPSD_EFFECT_GETTER(OMPSDInnerGlowEffect, innerGlow, innerGlow)
OMPSD_EFFECT_GETTER(OMPSDSatinEffect, satin, satin)
OMPSD_EFFECT_GETTER(OMPSDPatternOverlayEffect, patternOverlay, patternOverlay)
OMPSD_EFFECT_GETTER(OMPSDGradientOverlayEffect, gradientOverlay, gradientOverlay)
OMPSD_EFFECT_GETTER(OMPSDColorOverlayEffect, colorOverlay, colorOverlay)
OMPSD_EFFECT_GETTER(OMPSDStrokeEffect, stroke, stroke)
OMPSD_EFFECT_GETTER(OMPSDBevelEmbossEffect, bevelEmboss, bevelEmboss)
#undef OMPSD_EFFECT_GETTER
