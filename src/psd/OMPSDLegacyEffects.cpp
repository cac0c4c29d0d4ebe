// The effects layer of Photoshop 5 ("lrFX"): a version, a count, then per
// effect "8BIM", its key, its size and a binary record. Read only for
// layers without an effects descriptor. The records have no contours,
// gradients, patterns or strokes; what they have maps onto the effect
// classes. Sizes and angles are whole pixels and degrees, except blur and
// the bevel's angle and depth, which are 16.16 fixed-point numbers.
#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDEffects.h"

#include <type_traits>

namespace {

uint32_t readBlendKey(OMPSDBinaryReader& reader) {
    reader.skip(4);  // "8BIM"
    return reader.u32();
}

template <typename Shadow>
std::shared_ptr<const OMPSDEffect> readShadow(OMPSDBinaryReader& reader) {
    auto effect = std::make_shared<Shadow>();
    uint32_t version = reader.u32();
    effect->setSize(reader.fixed32());
    reader.skip(4);  // intensity
    effect->setAngle(reader.i32());
    effect->setDistance(reader.i32());
    effect->setColor(OMPSDColor::read(reader));
    effect->setBlendMode(readBlendKey(reader));
    effect->setIsEnabled(reader.u8() != 0);
    effect->setUsesGlobalLight(reader.u8() != 0);
    effect->setOpacity(reader.u8() / 255.0);
    if (version >= 2) effect->setColor(OMPSDColor::read(reader));
    return effect;
}

template <typename Glow>
std::shared_ptr<const OMPSDEffect> readGlow(OMPSDBinaryReader& reader) {
    auto effect = std::make_shared<Glow>();
    uint32_t version = reader.u32();
    effect->setSize(reader.fixed32());
    reader.skip(4);  // intensity
    effect->setColor(OMPSDColor::read(reader));
    effect->setBlendMode(readBlendKey(reader));
    effect->setIsEnabled(reader.u8() != 0);
    effect->setOpacity(reader.u8() / 255.0);
    if (version >= 2) {
        if constexpr (std::is_same_v<Glow, OMPSDInnerGlowEffect>)
            effect->setSource(reader.u8() != 0 ? 0 : 1);
        effect->setColor(OMPSDColor::read(reader));
    }
    return effect;
}

std::shared_ptr<const OMPSDEffect> readBevel(OMPSDBinaryReader& reader) {
    auto effect = std::make_shared<OMPSDBevelEmbossEffect>();
    uint32_t version = reader.u32();
    effect->setAngle(reader.fixed32());
    effect->setDepth(reader.fixed32() * 0.01);
    effect->setSize(reader.fixed32());
    effect->setHighlightBlendMode(readBlendKey(reader));
    effect->setShadowBlendMode(readBlendKey(reader));
    effect->setHighlightColor(OMPSDColor::read(reader));
    effect->setShadowColor(OMPSDColor::read(reader));
    // Styles 1..4 are outer bevel, inner bevel, emboss and pillow emboss.
    uint8_t style = reader.u8();
    effect->setStyle(style >= 1 && style <= 4 ? style - 1 : 1);
    effect->setHighlightOpacity(reader.u8() / 255.0);
    effect->setShadowOpacity(reader.u8() / 255.0);
    effect->setIsEnabled(reader.u8() != 0);
    effect->setUsesGlobalLight(reader.u8() != 0);
    effect->setDirection(reader.u8() != 0 ? 1 : 0);
    if (version >= 2) {
        effect->setHighlightColor(OMPSDColor::read(reader));
        effect->setShadowColor(OMPSDColor::read(reader));
    }
    return effect;
}

std::shared_ptr<const OMPSDEffect> readSolidFill(OMPSDBinaryReader& reader) {
    auto effect = std::make_shared<OMPSDColorOverlayEffect>();
    reader.skip(4);  // version
    effect->setBlendMode(readBlendKey(reader));
    effect->setColor(OMPSDColor::read(reader));
    effect->setOpacity(reader.u8() / 255.0);
    effect->setIsEnabled(reader.u8() != 0);
    effect->setColor(OMPSDColor::read(reader));  // the colour in the document's own model
    return effect;
}

}  // namespace

std::shared_ptr<const OMPSDEffectList> OMPSDEffectList::fromLegacyBlock(
    std::span<const uint8_t> data) {
    OMPSDBinaryReader reader(data);
    reader.skip(2);  // version
    uint16_t count = reader.u16();
    auto list = std::make_shared<OMPSDEffectList>();
    for (uint16_t i = 0; i < count && !reader.failed(); ++i) {
        if (reader.u32() != OMPSDFourCC("8BIM")) return nullptr;
        uint32_t key = reader.u32();
        OMPSDBinaryReader record = reader.subreader(reader.u32());
        std::shared_ptr<const OMPSDEffect> effect;
        switch (key) {
            case OMPSDFourCC("cmnS"):
                record.skip(4);
                list->setIsEnabled(record.u8() != 0);
                break;
            case OMPSDFourCC("dsdw"):
                effect = readShadow<OMPSDDropShadowEffect>(record);
                break;
            case OMPSDFourCC("isdw"):
                effect = readShadow<OMPSDInnerShadowEffect>(record);
                break;
            case OMPSDFourCC("oglw"):
                effect = readGlow<OMPSDOuterGlowEffect>(record);
                break;
            case OMPSDFourCC("iglw"):
                effect = readGlow<OMPSDInnerGlowEffect>(record);
                break;
            case OMPSDFourCC("bevl"):
                effect = readBevel(record);
                break;
            case OMPSDFourCC("sofi"):
                effect = readSolidFill(record);
                break;
            default:
                break;
        }
        // A record shorter than its fields is damage: drop that effect. The
        // block holds one effect of each kind; a repeated record adds none.
        if (effect && !record.failed() && list->effectsOfKind(effect->kind()).empty())
            list->addEffect(std::move(effect));
    }
    if (reader.failed()) return nullptr;
    return list;
}
