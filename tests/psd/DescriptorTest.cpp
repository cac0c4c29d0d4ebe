// The action-descriptor decoder: every item type, keys, lookups, nesting
// and damage; and the value classes decoded from descriptors by hand.
#include "PSDTestSupport.h"
#include "platform/core/Log.h"
#include "psd/OMPSDDescriptorDecoder.h"
#include "psd/OMPSDEffects.h"
#include "psd/OMPSDError.h"
#include "psd/OMPSDPath.h"

#include <gtest/gtest.h>

#include <tuple>

using lf::test::ByteWriter;
using lf::test::descriptor;
using lf::test::item;

namespace {

std::shared_ptr<const OMPSDDescriptorDecoder> decode(const std::vector<uint8_t>& bytes) {
    auto result = OMPSDDescriptorDecoder::decode(bytes);
    EXPECT_TRUE(result) << lf::describe(result.error());
    return result ? *result : nullptr;
}

std::vector<uint8_t> colorDescriptor(double r, double g, double b) {
    ByteWriter items;
    item(items, "Rd  ", "doub").f64(r);
    item(items, "Grn ", "doub").f64(g);
    item(items, "Bl  ", "doub").f64(b);
    return descriptor("RGBC", 3, items.data());
}

}  // namespace

TEST(DescriptorTest, EveryItemTypeDecodes) {
    ByteWriter items;
    item(items, "Objc", "Objc").bytes(colorDescriptor(1, 2, 3));
    item(items, "GlbO", "GlbO").bytes(descriptor("null", 0, {}));
    item(items, "list", "VlLs").u32(2).code("long").u32(7).code("bool").u8(1);
    item(items, "doub", "doub").f64(2.5);
    item(items, "Opct", "UntF").code("#Prc").f64(75);
    item(items, "floats", "UnFl").code("#Pxl").u32(2).f64(1).f64(2);
    item(items, "Nm  ", "TEXT").unicode("Hi\xce");  // one code unit above ASCII
    item(items, "Md  ", "enum").identifier("BlnM").identifier("Mltp");
    item(items, "long", "long").u32(uint32_t(-5));
    item(items, "comp", "comp").u64(1ull << 40);
    item(items, "bool", "bool").u8(0);
    item(items, "type", "type").unicode("").identifier("Clss");
    item(items, "GlbC", "GlbC").unicode("").identifier("Clss");
    item(items, "alis", "alis").u32(3).text("abc");
    item(items, "tdta", "tdta").u32(2).u16(0xbeef);
    item(items, "Pth ", "Pth ").u32(1).u8(9);
    item(items, "ObAr", "ObAr").u32(1).bytes(descriptor("null", 0, {}));
    // A reference of every form.
    item(items, "ref ", "obj ").u32(7);
    items.code("prop").unicode("").identifier("Lyr ").identifier("Nm  ");
    items.code("Clss").unicode("").identifier("Lyr ");
    items.code("Enmr").unicode("").identifier("Lyr ").identifier("Ordn").identifier("Trgt");
    items.code("rele").unicode("").identifier("Lyr ").u32(uint32_t(-1));
    items.code("Idnt").u32(42);
    items.code("indx").u32(3);
    items.code("name").unicode("").identifier("Lyr ").unicode("Top");

    auto d = decode(descriptor("test", 18, items.data()));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->classIdentifier(), "test");
    EXPECT_EQ(d->items().size(), 18u);
    OMPSDColor color;
    EXPECT_TRUE(OMPSDColor::fromDescriptor(*d->descriptorForKey("Objc"), &color));
    EXPECT_EQ(color, OMPSDColor(1 / 255.0, 2 / 255.0, 3 / 255.0));
    ASSERT_NE(d->listForKey("list"), nullptr);
    EXPECT_EQ(d->listForKey("list")->at(0).integer, 7);
    EXPECT_TRUE(d->listForKey("list")->at(1).boolean);
    EXPECT_EQ(d->doubleForKey("doub", 0), 2.5);
    double value = 0;
    uint32_t unit = 0;
    EXPECT_TRUE(d->decodeUnitDouble(&value, &unit, "Opct"));
    EXPECT_EQ(value, 75);
    EXPECT_EQ(unit, OMPSDFourCC("#Prc"));
    EXPECT_EQ(d->valueForKey("floats")->numbers, (std::vector<double>{1, 2}));
    std::string text;
    EXPECT_TRUE(d->decodeString(&text, "Nm  "));
    EXPECT_EQ(text, "Hi\xc3\x8e");
    EXPECT_EQ(d->enumForKey("Md  "), "Mltp");
    int32_t integer = 0;
    EXPECT_TRUE(d->decodeInt(&integer, "long"));
    EXPECT_EQ(integer, -5);
    EXPECT_EQ(d->valueForKey("comp")->integer, int64_t(1) << 40);
    EXPECT_FALSE(d->boolForKey("bool", true));
    EXPECT_EQ(d->valueForKey("GlbC")->identifier, "Clss");
    EXPECT_EQ(d->valueForKey("tdta")->data, (std::vector<uint8_t>{0xbe, 0xef}));
    EXPECT_NE(d->descriptorForKey("ObAr"), nullptr);
    const auto& reference = d->valueForKey("ref ")->list;
    ASSERT_EQ(reference.size(), 7u);
    EXPECT_EQ(reference[3].integer, -1);
    EXPECT_EQ(reference[4].integer, 42);
    EXPECT_EQ(reference[6].text, "Top");
    // Lookups of the wrong type leave the output alone.
    EXPECT_FALSE(d->decodeBool(reinterpret_cast<bool*>(&integer), "doub"));
    EXPECT_FALSE(d->decodeString(&text, "long"));
    EXPECT_EQ(d->listForKey("doub"), nullptr);
}

TEST(DescriptorTest, NestingIsBounded) {
    auto nested = [](int depth) {
        std::vector<uint8_t> body = descriptor("leaf", 0, {});
        for (int i = 0; i < depth; ++i) {
            ByteWriter items;
            item(items, "in  ", "Objc").bytes(body);
            body = descriptor("node", 1, items.data());
        }
        return body;
    };
    EXPECT_TRUE(OMPSDDescriptorDecoder::decode(nested(20)));
    auto deep = OMPSDDescriptorDecoder::decode(nested(5000));
    ASSERT_FALSE(deep);
    EXPECT_TRUE(deep.error().is(OMPSDErrorDomain, OMPSDErrorCorruptData));
    // Lists count as nesting too.
    std::vector<uint8_t> list = descriptor("leaf", 0, {});
    ByteWriter lists;
    for (int i = 0; i < 5000; ++i)
        lists.code("VlLs").u32(1);
    ByteWriter items;
    item(items, "deep", "VlLs").u32(1).bytes(lists.data()).code("long").u32(1);
    EXPECT_FALSE(OMPSDDescriptorDecoder::decode(descriptor("null", 1, items.data())));
}

TEST(DescriptorTest, DamageFailsTheDescriptor) {
    ByteWriter items;
    item(items, "Nm  ", "TEXT").unicode("abc");
    auto good = descriptor("null", 1, items.data());
    ASSERT_TRUE(OMPSDDescriptorDecoder::decode(good));
    for (size_t cut = 0; cut < good.size(); ++cut) {
        std::vector<uint8_t> shorter(good.begin(), good.begin() + long(cut));
        EXPECT_FALSE(OMPSDDescriptorDecoder::decode(shorter)) << cut;
    }
    ByteWriter unknown;
    item(unknown, "what", "zzzz").u32(0);
    EXPECT_FALSE(OMPSDDescriptorDecoder::decode(descriptor("null", 1, unknown.data())));
    // A huge item count with few bytes is refused before looping over it.
    EXPECT_FALSE(OMPSDDescriptorDecoder::decode(descriptor("null", 0xffffffff, {})));
    ByteWriter hugeList;
    item(hugeList, "list", "VlLs").u32(0x7fffffff);
    EXPECT_FALSE(OMPSDDescriptorDecoder::decode(descriptor("null", 1, hugeList.data())));
    ByteWriter hugeText;
    item(hugeText, "Nm  ", "TEXT").u32(0x7fffffff);
    EXPECT_FALSE(OMPSDDescriptorDecoder::decode(descriptor("null", 1, hugeText.data())));
}

TEST(DescriptorTest, EffectsKeepEveryInstanceInStoredOrderAndTheirDefaults) {
    // An "lmfx" block with three strokes, the last one removed ("present"
    // off), and a drop shadow with no values.
    ByteWriter stroke1, stroke2, removed, shadow;
    item(stroke1, "enab", "bool").u8(1);
    item(stroke1, "Sz  ", "UntF").code("#Pxl").f64(7);
    item(stroke1, "Styl", "enum").identifier("FStl").identifier("InsF");
    item(stroke1, "Clr ", "Objc").bytes(colorDescriptor(255, 0, 0));
    item(stroke2, "enab", "bool").u8(0);
    item(stroke2, "Sz  ", "UntF").code("#Pxl").f64(1);
    item(removed, "present", "bool").u8(0);
    ByteWriter effects;
    item(effects, "masterFXSwitch", "bool").u8(1);
    item(effects, "frameFXMulti", "VlLs").u32(3);
    effects.code("Objc").bytes(descriptor("FrFX", 4, stroke1.data()));
    effects.code("Objc").bytes(descriptor("FrFX", 2, stroke2.data()));
    effects.code("Objc").bytes(descriptor("FrFX", 1, removed.data()));
    item(effects, "DrSh", "Objc").bytes(descriptor("DrSh", 0, shadow.data()));
    ByteWriter block;
    block.u32(0).u32(16).bytes(descriptor("null", 3, effects.data()));
    auto list = OMPSDEffectList::fromDescriptorBlock(block.data());
    ASSERT_NE(list, nullptr);
    auto ordered = list->orderedEffects();
    ASSERT_EQ(ordered.size(), 3u);
    EXPECT_EQ(ordered[0]->kind(), OMPSDEffect::Kind::dropShadow);
    const auto& strokes = list->effectsOfKind(OMPSDEffect::Kind::stroke);
    ASSERT_EQ(strokes.size(), 2u);
    EXPECT_EQ(ordered[1], strokes[0]);
    EXPECT_EQ(ordered[2], strokes[1]);
    EXPECT_EQ(static_cast<const OMPSDStrokeEffect&>(*strokes[1]).size(), 1);
    EXPECT_FALSE(strokes[1]->isEnabled());
    auto firstStroke = list->stroke();
    ASSERT_NE(firstStroke, nullptr);
    EXPECT_EQ(firstStroke->size(), 7);
    EXPECT_EQ(firstStroke->position(), 1);
    ASSERT_EQ(firstStroke->fill()->kind(), OMPSDFill::Kind::color);
    EXPECT_EQ(static_cast<const OMPSDColorFill&>(*firstStroke->fill()).color(),
              OMPSDColor(1, 0, 0));
    auto drop = list->dropShadow();
    EXPECT_EQ(drop->opacity(), 1.0);
    EXPECT_EQ(drop->angle(), 90);
    EXPECT_EQ(drop->distance(), 10);
    EXPECT_EQ(drop->size(), 15);
    EXPECT_EQ(drop->blendMode(), OMPSDFourCC("mul "));
    EXPECT_TRUE(drop->layerKnocksOutDropShadow());
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->satin(), nullptr);

    // A list longer than a layer style holds (a damaged document) keeps its
    // first ten.
    ByteWriter many;
    item(many, "solidFillMulti", "VlLs").u32(12);
    for (int i = 0; i < 12; ++i)
        many.code("Objc").bytes(descriptor("SoFi", 0, {}));
    ByteWriter manyBlock;
    manyBlock.u32(0).u32(16).bytes(descriptor("null", 1, many.data()));
    auto capped = OMPSDEffectList::fromDescriptorBlock(manyBlock.data());
    ASSERT_NE(capped, nullptr);
    EXPECT_EQ(capped->effectsOfKind(OMPSDEffect::Kind::colorOverlay).size(), 10u);
}

TEST(DescriptorTest, EffectBlendModesAndGradientMethodsOfNewerDocuments) {
    // Newer documents name blend modes by their long names, in "Md  " and
    // the bevel's "hglM" and "sdwM"; an unknown name is drawn normal and
    // said. Gradient overlays and glows keep their interpolation method
    // under "gs99".
    ByteWriter gradient;
    item(gradient, "Clrs", "VlLs").u32(0);
    ByteWriter overlay, bevel, outer, inner;
    item(overlay, "Md  ", "enum").identifier("BlnM").identifier("multiply");
    item(overlay, "Grad", "Objc").bytes(descriptor("Grdn", 1, gradient.data()));
    item(overlay, "gs99", "enum").identifier("gradientInterpolationMethodType").identifier("Perc");
    item(bevel, "hglM", "enum").identifier("BlnM").identifier("colorDodge");
    item(bevel, "sdwM", "enum").identifier("BlnM").identifier("linearBurn");
    item(outer, "Md  ", "enum").identifier("BlnM").identifier("hardLight");
    item(outer, "Grad", "Objc").bytes(descriptor("Grdn", 1, gradient.data()));
    item(outer, "gs99", "enum").identifier("gradientInterpolationMethodType").identifier("Lnr ");
    item(inner, "Md  ", "enum").identifier("BlnM").identifier("brandNewMode");
    ByteWriter effects;
    item(effects, "GrFl", "Objc").bytes(descriptor("GrFl", 3, overlay.data()));
    item(effects, "ebbl", "Objc").bytes(descriptor("ebbl", 2, bevel.data()));
    item(effects, "OrGl", "Objc").bytes(descriptor("OrGl", 3, outer.data()));
    item(effects, "IrGl", "Objc").bytes(descriptor("IrGl", 1, inner.data()));
    ByteWriter block;
    block.u32(0).u32(16).bytes(descriptor("null", 4, effects.data()));
    lf::LogCapture log;
    auto list = OMPSDEffectList::fromDescriptorBlock(block.data());
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(list->gradientOverlay() && list->bevelEmboss() && list->outerGlow() &&
                list->innerGlow());
    EXPECT_EQ(list->gradientOverlay()->blendMode(), OMPSDFourCC("mul "));
    EXPECT_EQ(list->gradientOverlay()->fill()->gradient()->interpolationMethod(), "Perc");
    EXPECT_EQ(list->bevelEmboss()->highlightBlendMode(), OMPSDFourCC("div "));
    EXPECT_EQ(list->bevelEmboss()->shadowBlendMode(), OMPSDFourCC("lbrn"));
    EXPECT_EQ(list->outerGlow()->blendMode(), OMPSDFourCC("hLit"));
    EXPECT_EQ(list->outerGlow()->gradient()->interpolationMethod(), "Lnr ");
    EXPECT_EQ(list->innerGlow()->blendMode(), OMPSDFourCC("norm"));
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.contains("brandNewMode"));

    // Each long name, and its short one where there is one.
    const std::tuple<const char*, const char*, const char*> names[] = {
        {"normal", "Nrml", "norm"},     {"dissolve", "Dslv", "diss"},
        {"darken", "Drkn", "dark"},     {"multiply", "Mltp", "mul "},
        {"colorBurn", "CBrn", "idiv"},  {"lighten", "Lghn", "lite"},
        {"screen", "Scrn", "scrn"},     {"colorDodge", "CDdg", "div "},
        {"overlay", "Ovrl", "over"},    {"softLight", "SftL", "sLit"},
        {"hardLight", "HrdL", "hLit"},  {"difference", "Dfrn", "diff"},
        {"exclusion", "Xclu", "smud"},  {"hue", "H   ", "hue "},
        {"saturation", "Strt", "sat "}, {"color", "Clr ", "colr"},
        {"luminosity", "Lmns", "lum "}, {"linearBurn", "linearBurn", "lbrn"},
        {"hardMix", "hardMix", "hMix"}, {"passThrough", "passThrough", "pass"},
    };
    for (const auto& [longName, shortName, key] : names) {
        EXPECT_EQ(OMPSDFourCCString(OMPSDBlendModeKeyForEnum(longName)), key) << longName;
        EXPECT_EQ(OMPSDFourCCString(OMPSDBlendModeKeyForEnum(shortName)), key) << shortName;
    }
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST(DescriptorTest, LegacyEffectsBlock) {
    // "lrFX" with the common state and a version-0 drop shadow.
    auto addDropShadow = [](ByteWriter& block, uint32_t size) {
        block.code("8BIM").code("dsdw").u32(41).u32(0).u32(size << 16).u32(0).u32(120).u32(4);
        block.u16(0).u16(0xffff).u16(0).u16(0).u16(0);  // red
        block.code("8BIM").code("mul ").u8(1).u8(0).u8(191);
    };
    ByteWriter block;
    block.u16(0).u16(2);
    block.code("8BIM").code("cmnS").u32(7).u32(0).u8(1).u16(0);
    addDropShadow(block, 5);
    auto list = OMPSDEffectList::fromLegacyBlock(block.data());
    ASSERT_NE(list, nullptr);
    auto shadow = list->dropShadow();
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->size(), 5);
    EXPECT_EQ(shadow->angle(), 120);
    EXPECT_EQ(shadow->distance(), 4);
    EXPECT_EQ(shadow->color(), OMPSDColor(1, 0, 0));
    EXPECT_NEAR(shadow->opacity(), 0.749, 0.001);
    // A record cut short loses that effect only.
    auto cut = block.data();
    cut[4 + 19 + 11] = 10;  // the drop shadow's size field says 10 bytes
    auto damaged = OMPSDEffectList::fromLegacyBlock(cut);
    ASSERT_NE(damaged, nullptr);
    EXPECT_EQ(damaged->dropShadow(), nullptr);
    EXPECT_TRUE(damaged->isEnabled());
    // The block holds one effect of each kind: a repeated record adds none.
    ByteWriter repeated;
    repeated.u16(0).u16(2);
    addDropShadow(repeated, 5);
    addDropShadow(repeated, 9);
    auto once = OMPSDEffectList::fromLegacyBlock(repeated.data());
    ASSERT_NE(once, nullptr);
    ASSERT_EQ(once->effectsOfKind(OMPSDEffect::Kind::dropShadow).size(), 1u);
    EXPECT_EQ(once->dropShadow()->size(), 5);
}

TEST(DescriptorTest, VectorStrokeUnitsAndDashes) {
    ByteWriter items;
    item(items, "strokeStyleLineWidth", "UntF").code("#Pnt").f64(3);
    item(items, "strokeStyleResolution", "doub").f64(144);
    item(items, "strokeStyleLineDashSet", "VlLs")
        .u32(2)
        .code("UntF")
        .code("#Nne")
        .f64(4)
        .code("UntF")
        .code("#Nne")
        .f64(2);
    item(items, "strokeStyleLineAlignment", "enum")
        .identifier("strokeStyleLineAlignment")
        .identifier("strokeStyleAlignOutside");
    item(items, "strokeEnabled", "bool").u8(0);
    auto stroke = OMPSDVectorStroke::fromBlock(lf::test::versionedDescriptor(5, items.data()));
    ASSERT_NE(stroke, nullptr);
    EXPECT_EQ(stroke->lineWidth(), 6);  // 3 points at 144 pixels per inch
    EXPECT_EQ(stroke->dashSet(), (std::vector<double>{4, 2}));
    EXPECT_EQ(stroke->position(), 2);
    EXPECT_FALSE(stroke->strokeEnabled());
    EXPECT_TRUE(stroke->fillEnabled());
    EXPECT_EQ(stroke->miterLimit(), 100);
    ASSERT_NE(stroke->content(), nullptr);
}

TEST(DescriptorTest, ContoursCutAtCorners) {
    OMPSDContour contour({{0, 0}, {0.25, 0.5}, {0.5, 1, false}, {0.75, 0.5}, {1, 0}});
    auto pieces = contour.continuousPieces();
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0]->points().size(), 3u);
    EXPECT_EQ(pieces[1]->points().size(), 3u);
    EXPECT_TRUE(pieces[1]->points()[0].isContinuous());
    EXPECT_EQ(pieces[1]->points()[0].horizontal(), 0.5);
    // A corner as the last point leaves a final run of one point: dropped.
    OMPSDContour end({{0, 0}, {1, 1, false}});
    EXPECT_EQ(end.continuousPieces().size(), 1u);
}
