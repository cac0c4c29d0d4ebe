#include "LayerFixtures.h"

#include "PSDTestSupport.h"
#include "bytearray/BABTreeByteArray.h"
#include "compositing/QFLayerContent.h"
#include "compositing/content/QFLayerShapeBounds.h"
#include "compositing/effects/QFEffectRendering.h"
#include "compositing/shared/QFInfiniteRect.h"
#include "rendergraph/core/BNRenderer.h"
#include "rendergraph/images/BNTransparentNode.h"
#include "rendergraph/masks/BNCrossfadeWithMaskNode.h"

#include <gtest/gtest.h>

#include <cmath>

namespace compositing_test {

using lf::test::ByteWriter;

std::shared_ptr<const OMPSDChannelReference> makePlane(int16_t identifier, OMPSDRect rect,
                                                       std::vector<uint8_t> samples,
                                                       uint64_t depth) {
    OMPSDChannelReference::Source source;
    source.range = {0, samples.size()};
    source.byteArray = std::make_shared<BABTreeByteArray>(lf::Data(std::move(samples)));
    return std::make_shared<OMPSDChannelReference>(
        identifier, rect, depth, source, std::make_shared<const std::string>("test plane"));
}

std::shared_ptr<const OMPSDChannelReference> constantPlane(int16_t identifier, OMPSDRect rect,
                                                           uint8_t value) {
    return makePlane(identifier, rect, std::vector<uint8_t>(rect.width() * rect.height(), value));
}

std::shared_ptr<OMPSDLayer> LayerBlueprint::make(
    std::weak_ptr<const OMPSDDocument> document) const {
    OMPSDLayerRecord record;
    record.name = name;
    record.rect = rect;
    record.clipping = clipping;
    record.flags = visible ? 0 : 0x02;
    for (const auto& [key, data] : blocks) {
        uint32_t code = 0;
        for (char c : key)
            code = (code << 8) | static_cast<uint8_t>(c);
        record.atoms.emplace_back(code, lf::Data(data));
    }
    if (isGroup) {
        record.sectionType = 1;
    } else {
        for (int16_t id : {0, 1, 2, -1}) {
            int k = id < 0 ? 3 : id;
            if (id == -1 && !transparency16.empty()) {
                std::vector<uint8_t> samples;
                for (uint16_t sample : transparency16)
                    samples.insert(samples.end(), {uint8_t(sample >> 8), uint8_t(sample & 0xff)});
                record.channels.push_back(makePlane(id, rect, std::move(samples), 16));
                continue;
            }
            if (pixels.empty()) {
                record.channels.push_back(constantPlane(id, rect, colour[k]));
                continue;
            }
            std::vector<uint8_t> samples;
            for (const RGBA8& pixel : pixels)
                samples.push_back(pixel[k]);
            record.channels.push_back(makePlane(id, rect, std::move(samples)));
        }
    }
    if (hasMask) {
        OMPSDLayerMaskData mask;
        mask.rect = maskRect;
        mask.backgroundColor = maskBackground;
        mask.flags = maskDisabled ? 0x02 : 0;
        mask.density = maskDensity;
        mask.feather = maskFeather;
        record.mask = mask;
        record.channels.push_back(constantPlane(-2, maskRect, maskValue));
    }
    auto layer = std::make_shared<OMPSDLayer>(std::move(record), std::make_shared<std::mutex>(),
                                              std::move(document));
    auto options = std::make_shared<OMPSDBlendingOptions>();
    uint32_t key = 0;
    for (int i = 0; i < 4; ++i)
        key = (key << 8) | static_cast<uint8_t>(blendKey[i]);
    options->setBlendMode(key);
    options->setOpacity(opacity);
    options->setFillOpacity(fillOpacity);
    options->setKnockoutStyle(OMPSDKnockoutStyle(knockout));
    options->setTransparencyShapesLayer(transparencyShapesLayer);
    options->setShouldBlendClippedLayersAsGroup(clippedAsGroup);
    if (blendingRanges) options->setBlendingRanges(blendingRanges);
    options->setHasRestrictedBlending(restricted);
    options->setShouldBlendRed(blendRed);
    options->setShouldBlendGreen(blendGreen);
    options->setShouldBlendBlue(blendBlue);
    layer->setBlendingOptions(options);
    if (isGroup) layer->setSublayers(sublayers);
    return layer;
}

LayerBlueprint fringedLayer(OMPSDRect rect, OMPSDRect inner, uint8_t inside, uint8_t fringe) {
    LayerBlueprint layer;
    layer.rect = rect;
    for (int32_t y = rect.top; y < rect.bottom; ++y)
        for (int32_t x = rect.left; x < rect.right; ++x) {
            bool within = x >= inner.left && x < inner.right && y >= inner.top && y < inner.bottom;
            layer.pixels.push_back({0, 0, 0, within ? inside : fringe});
        }
    return layer;
}

std::vector<uint8_t> vectorMaskBlock(
    const std::vector<std::pair<uint16_t, std::vector<OMPSDPoint>>>& polygons, bool initiallyFilled,
    uint16_t fillRule) {
    std::vector<std::pair<uint16_t, std::vector<VectorMaskKnot>>> curves;
    for (const auto& [operation, points] : polygons) {
        std::vector<VectorMaskKnot> knots;
        for (const OMPSDPoint& p : points)
            knots.push_back({p, p, p});
        curves.emplace_back(operation, std::move(knots));
    }
    return curvedVectorMaskBlock(curves, initiallyFilled, fillRule);
}

std::vector<uint8_t> curvedVectorMaskBlock(
    const std::vector<std::pair<uint16_t, std::vector<VectorMaskKnot>>>& curves,
    bool initiallyFilled, uint16_t fillRule) {
    ByteWriter out;
    out.u32(3).u32(0);
    auto point = [&](OMPSDPoint p) {
        for (double value : {p.y, p.x})
            out.u32(static_cast<uint32_t>(std::lround(value * 16777216.0)));
    };
    auto pad = [&](size_t used) {
        for (size_t i = used; i < 26; ++i)
            out.u8(0);
    };
    out.u16(8).u16(initiallyFilled ? 1 : 0);  // the initial fill rule record
    pad(4);
    for (const auto& [operation, knots] : curves) {
        out.u16(0).u16(static_cast<uint16_t>(knots.size())).u16(operation).u16(fillRule);
        pad(8);
        for (const VectorMaskKnot& knot : knots) {
            out.u16(2);  // an unlinked knot of a closed subpath
            point(knot.incoming);
            point(knot.anchor);
            point(knot.outgoing);
        }
    }
    return out.data();
}

std::vector<uint8_t> solidColorBlock(double red, double green, double blue) {
    ByteWriter colour;
    colour.unicode("").identifier("RGBC").u32(3);
    colour.identifier("Rd  ").code("doub").f64(red);
    colour.identifier("Grn ").code("doub").f64(green);
    colour.identifier("Bl  ").code("doub").f64(blue);
    ByteWriter items;
    items.identifier("Clr ").code("Objc").bytes(colour.data());
    return lf::test::versionedDescriptor(1, items.data());
}

namespace {

// The body of an "RGBC" colour descriptor of one grey level, 0..255.
std::vector<uint8_t> greyColor(double level) {
    ByteWriter channels;
    for (const char* key : {"Rd  ", "Grn ", "Bl  "})
        lf::test::item(channels, key, "doub").f64(level);
    return lf::test::descriptor("RGBC", 3, channels.data());
}

// The body of a gradient paint: black to white, opaque, at `angle` degrees.
std::vector<uint8_t> blackToWhitePaint(double angle) {
    using lf::test::descriptor, lf::test::item;
    ByteWriter colours, opacities;
    for (uint32_t location : {0u, 4096u}) {
        ByteWriter colourStop, opacityStop;
        item(colourStop, "Clr ", "Objc").bytes(greyColor(location ? 255 : 0));
        item(colourStop, "Lctn", "long").u32(location);
        colours.code("Objc").bytes(descriptor("Clrt", 2, colourStop.data()));
        item(opacityStop, "Lctn", "long").u32(location);
        opacities.code("Objc").bytes(descriptor("TrnS", 1, opacityStop.data()));
    }
    ByteWriter gradient, paint;
    item(gradient, "Intr", "doub").f64(0);
    item(gradient, "Clrs", "VlLs").u32(2).bytes(colours.data());
    item(gradient, "Trns", "VlLs").u32(2).bytes(opacities.data());
    item(paint, "Grad", "Objc").bytes(descriptor("Grdn", 3, gradient.data()));
    item(paint, "Angl", "UntF").code("#Ang").f64(angle);
    return descriptor("gradientLayer", 2, paint.data());
}

}  // namespace

std::vector<uint8_t> vectorStrokeBlock(const VectorStrokeBlueprint& stroke) {
    ByteWriter items, black;
    lf::test::item(black, "Clr ", "Objc").bytes(greyColor(0));
    const std::vector<uint8_t> paint =
        stroke.gradientAngle ? blackToWhitePaint(*stroke.gradientAngle)
                             : lf::test::descriptor("solidColorLayer", 1, black.data());
    const char* alignments[] = {"strokeStyleAlignCenter", "strokeStyleAlignInside",
                                "strokeStyleAlignOutside"};
    items.identifier("fillEnabled").code("bool").u8(stroke.fillEnabled);
    items.identifier("strokeEnabled").code("bool").u8(stroke.strokeEnabled);
    items.identifier("strokeStyleLineWidth").code("UntF").code("#Pxl").f64(stroke.width);
    items.identifier("strokeStyleLineAlignment")
        .code("enum")
        .identifier("strokeStyleLineAlignment")
        .identifier(alignments[stroke.position]);
    items.identifier("strokeStyleLineDashSet").code("VlLs").u32(uint32_t(stroke.dashes.size()));
    for (double length : stroke.dashes)
        items.code("doub").f64(length);
    items.identifier("strokeStyleContent").code("Objc").bytes(paint);
    return lf::test::versionedDescriptor(6, items.data());
}

std::vector<uint8_t> effectsBlock(const std::vector<std::string>& keys, double opacity,
                                  bool knocksOut) {
    ByteWriter items;
    for (const std::string& key : keys) {
        ByteWriter effect;
        effect.unicode("").identifier(key).u32(3);
        effect.identifier("enab").code("bool").u8(1);
        effect.identifier("layerConceals").code("bool").u8(knocksOut);
        effect.identifier("Opct").code("UntF").code("#Prc").f64(opacity * 100);
        items.identifier(key).code("Objc").bytes(effect.data());
    }
    ByteWriter block;
    block.u32(0).bytes(lf::test::versionedDescriptor(uint32_t(keys.size()), items.data()));
    return block.data();
}

std::vector<uint8_t> repeatedEffectsBlock(const std::vector<RepeatedEffect>& effects) {
    const std::pair<const char*, const char*> lists[] = {
        {"DrSh", "dropShadowMulti"}, {"SoFi", "solidFillMulti"}, {"FrFX", "frameFXMulti"}};
    ByteWriter items;
    uint32_t listCount = 0;
    for (const auto& [key, list] : lists) {
        std::vector<std::vector<uint8_t>> instances;
        for (const RepeatedEffect& effect : effects) {
            if (effect.key != key) continue;
            ByteWriter colour, fields;
            colour.unicode("").identifier("RGBC").u32(3);
            colour.identifier("Rd  ").code("doub").f64(effect.colour[0]);
            colour.identifier("Grn ").code("doub").f64(effect.colour[1]);
            colour.identifier("Bl  ").code("doub").f64(effect.colour[2]);
            fields.identifier("enab").code("bool").u8(1);
            fields.identifier("Opct").code("UntF").code("#Prc").f64(effect.opacity * 100);
            fields.identifier("Clr ").code("Objc").bytes(colour.data());
            fields.identifier("layerConceals").code("bool").u8(0);
            fields.identifier("blur").code("UntF").code("#Pxl").f64(effect.size);
            fields.identifier("Sz  ").code("UntF").code("#Pxl").f64(effect.size);
            fields.identifier("Dstn").code("UntF").code("#Pxl").f64(effect.distance);
            fields.identifier("lagl").code("UntF").code("#Ang").f64(effect.angle);
            fields.identifier("Md  ").code("enum").identifier("BlnM").identifier(effect.mode);
            ByteWriter instance;
            instance.unicode("").identifier(key).u32(9).bytes(fields.data());
            instances.push_back(instance.data());
        }
        if (instances.empty()) continue;
        ++listCount;
        items.identifier(list).code("VlLs").u32(uint32_t(instances.size()));
        for (const auto& instance : instances)
            items.code("Objc").bytes(instance);
    }
    ByteWriter block;
    block.u32(0).bytes(lf::test::versionedDescriptor(listCount, items.data()));
    return block.data();
}

SquareDocument makeSquareDocument(int side, int left, int right, int32_t globalAngle,
                                  std::vector<uint8_t> patternBlock) {
    lf::test::TestDocument built;
    built.width = built.height = uint32_t(side);
    uint32_t angle = uint32_t(globalAngle);
    built.resources.push_back(
        {1037, {uint8_t(angle >> 24), uint8_t(angle >> 16), uint8_t(angle >> 8), uint8_t(angle)}});
    if (!patternBlock.empty()) built.documentBlocks.push_back({"Patt", std::move(patternBlock)});
    lf::test::TestLayer square;
    square.top = square.left = left;
    square.bottom = square.right = right;
    size_t count = size_t(right - left) * size_t(right - left);
    for (int16_t id : {-1, 0, 1, 2})
        square.channels.push_back({id, 0, std::vector<uint8_t>(count, id < 0 ? 255 : 0)});
    built.layers.push_back(square);
    auto document = OMPSDDocument::create(built.data());
    EXPECT_TRUE(document);
    if (!document) return {};
    return {*document, (*document)->layers().front()};
}

std::shared_ptr<OMPSDDocument> makeShapeDocument(
    int side, std::vector<uint8_t> vectorMask,
    std::vector<std::pair<std::string, std::vector<uint8_t>>> blocks) {
    lf::test::TestDocument built;
    built.width = built.height = uint32_t(side);
    lf::test::TestLayer shape;
    for (int16_t id : {-1, 0, 1, 2})
        shape.channels.push_back({id, 0, {}});
    shape.blocks = {{"SoCo", solidColorBlock(0, 0, 0)}, {"vmsk", std::move(vectorMask)}};
    shape.blocks.insert(shape.blocks.end(), blocks.begin(), blocks.end());
    built.layers.push_back(shape);
    auto document = OMPSDDocument::create(built.data());
    return document ? *document : nullptr;
}

BNRenderNodePtr effectDrawnAlone(const OMPSDEffect& effect, const OMPSDLayer& layer,
                                 const BNRenderNodePtr& factorMask) {
    BNRenderNodePtr transparent = BNTransparentNode::create(QFInfiniteRect, BNChannelMaskRGBA);
    BNRenderNodePtr shape = QFShapeNodeForLayer(layer);
    QFEffectClipping clipping = clippingBehavior(effect);
    auto draw = [&](QFEffectClipping pass) {
        if (clipping != QFEffectClippingBoth && clipping != pass) return transparent;
        if (effect.kind() == OMPSDEffect::Kind::stroke)
            return blendWithContent(effect, transparent, shape, transparent, layer, factorMask,
                                    nullptr);
        if (effect.kind() == OMPSDEffect::Kind::bevelEmboss)
            return blendWithContent(effect, transparent, shape, transparent, layer, pass,
                                    factorMask);
        return blendWithLayerShape(effect, shape, transparent, layer, factorMask);
    };
    return BNCrossfadeWithMaskNode::create(draw(QFEffectClippingExterior),
                                           draw(QFEffectClippingInterior), shape);
}

float RenderedPlane::at(int x, int y) const {
    if (x < left || y < top || x >= left + width || y >= top + height) return 0;
    return values[size_t(y - top) * width + (x - left)];
}

RenderedPlane renderChannel(const BNRenderNodePtr& node, VKRect rect, int channel) {
    RenderedPlane plane;
    rect = VKRectIntegral(rect);
    BNSurfacePtr surface = BNRenderer().renderNode(node, rect, 1.0);
    EXPECT_TRUE(surface);
    if (!surface) return plane;
    plane.left = int(rect.origin.x);
    plane.top = int(rect.origin.y);
    plane.width = int(rect.size.width);
    plane.height = int(rect.size.height);
    int k = std::min<int>(channel, surface->samplesPerPixel() - 1);
    for (int y = 0; y < plane.height; ++y)
        for (int x = 0; x < plane.width; ++x)
            plane.values.push_back(surface->sample(x, y, k));
    return plane;
}

VKRect effectPaintBounds(const OMPSDEffect& effect, const OMPSDLayer& layer) {
    VKRect shape = QFLayerShapeBounds(layer);
    return VKRectIntegral(VKRectUnion(shape, boundsWithLayerShapeBounds(effect, shape, layer)));
}

int coveredOutside(const RenderedPlane& plane, VKRect bounds) {
    int outside = 0;
    for (int y = plane.top; y < plane.top + plane.height; ++y)
        for (int x = plane.left; x < plane.left + plane.width; ++x)
            if (!VKRectContainsPoint(bounds, VKPointMake(x + 0.5, y + 0.5)) &&
                plane.at(x, y) > 0.5f / 255)
                ++outside;
    return outside;
}

std::array<float, 4> renderPixel(const BNRenderNodePtr& node, double x, double y) {
    BNSurfacePtr surface = BNRenderer().renderNode(node, VKRectMake(x, y, 1, 1), 1.0);
    std::array<float, 4> pixel{};
    EXPECT_TRUE(surface);
    if (!surface || surface->samplesPerPixel() != 4) return pixel;
    for (int k = 0; k < 4; ++k)
        pixel[k] = surface->sample(0, 0, k);
    return pixel;
}

float renderMaskValue(const BNRenderNodePtr& node, double x, double y) {
    BNSurfacePtr surface = BNRenderer().renderNode(node, VKRectMake(x, y, 1, 1), 1.0);
    EXPECT_TRUE(surface);
    if (!surface || surface->samplesPerPixel() != 1) return -1;
    return surface->sample(0, 0, 0);
}

}  // namespace compositing_test
