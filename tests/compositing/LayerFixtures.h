#pragma once
// Layers made in memory for the compositing tests: planes of constant or
// given samples, pixel layers of one colour, groups, masks and vector
// masks, and reading back rendered pixels.

#include "compositing/shared/QFLayerList.h"
#include "geometry/VKGeometry.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDEffects.h"
#include "rendergraph/core/BNRenderNode.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace compositing_test {

// A raw plane of `samples` (8 or 16 bits, big-endian) over `rect`.
std::shared_ptr<const OMPSDChannelReference> makePlane(int16_t identifier, OMPSDRect rect,
                                                       std::vector<uint8_t> samples,
                                                       uint64_t depth = 8);
// A plane whose every sample is `value`.
std::shared_ptr<const OMPSDChannelReference> constantPlane(int16_t identifier, OMPSDRect rect,
                                                           uint8_t value);

// Straight 8-bit RGBA.
using RGBA8 = std::array<uint8_t, 4>;

// A layer built field by field; make() turns it into an OMPSDLayer.
struct LayerBlueprint {
    std::string name = "Layer";
    OMPSDRect rect{0, 0, 4, 4};
    RGBA8 colour{255, 0, 0, 255};  // the constant pixels of a pixel layer
    // The samples of the red, green, blue and transparency planes, rows of
    // `rect`, instead of `colour` when not empty.
    std::vector<RGBA8> pixels;
    // 16-bit samples of the transparency plane, rows of `rect`, instead of
    // its 8-bit ones when not empty.
    std::vector<uint16_t> transparency16;
    const char* blendKey = "norm";
    double opacity = 1.0, fillOpacity = 1.0;
    uint8_t clipping = 0;
    bool visible = true;
    int knockout = 0;
    bool transparencyShapesLayer = true;
    bool clippedAsGroup = true;
    std::shared_ptr<const OMPSDBlendingRangesList> blendingRanges;
    bool restricted = false, blendRed = true, blendGreen = true, blendBlue = true;
    // A user mask of one value over `maskRect` (with its density and
    // feather), when set.
    bool hasMask = false;
    OMPSDRect maskRect{0, 0, 0, 0};
    uint8_t maskValue = 0, maskBackground = 0;
    bool maskDisabled = false;
    double maskDensity = 1.0, maskFeather = 0.0;
    // Extra tagged blocks by key (a "SoCo", "vmsk", "lnsr"...).
    std::vector<std::pair<std::string, std::vector<uint8_t>>> blocks;
    // A group: its sublayers, bottom-most first.
    bool isGroup = false;
    QFLayerList sublayers;

    std::shared_ptr<OMPSDLayer> make(std::weak_ptr<const OMPSDDocument> document = {}) const;
};

// A layer of black pixels over `rect`, covered `inside` within `inner` and
// `fringe` around it (an anti-aliased edge).
LayerBlueprint fringedLayer(OMPSDRect rect, OMPSDRect inner, uint8_t inside, uint8_t fringe);

// The bytes of a "vmsk" block of closed polygons in document fractions,
// each with its operation (document numbering) and the fill rule field of
// its record (1 even-odd, 2 non-zero, 0 left out).
std::vector<uint8_t> vectorMaskBlock(
    const std::vector<std::pair<uint16_t, std::vector<OMPSDPoint>>>& polygons,
    bool initiallyFilled = false, uint16_t fillRule = 0);
// The same of closed curves, each knot with its handles.
struct VectorMaskKnot {
    OMPSDPoint incoming, anchor, outgoing;
};
std::vector<uint8_t> curvedVectorMaskBlock(
    const std::vector<std::pair<uint16_t, std::vector<VectorMaskKnot>>>& curves,
    bool initiallyFilled = false, uint16_t fillRule = 0);
// The bytes of a "SoCo" block of a colour fill (an "RGBC" colour of 0..255
// values).
std::vector<uint8_t> solidColorBlock(double red, double green, double blue);

// A shape's stroke record: its switches, width in pixels, position (0
// centre, 1 inside, 2 outside), dash and gap lengths in widths, and a black
// paint, or a linear black-to-white one at `gradientAngle` degrees.
struct VectorStrokeBlueprint {
    bool fillEnabled = true, strokeEnabled = true;
    double width = 1;
    int position = 0;
    std::vector<double> dashes = {};
    std::optional<double> gradientAngle = {};
};
// The bytes of its "vstk" block.
std::vector<uint8_t> vectorStrokeBlock(const VectorStrokeBlueprint& stroke);

// The bytes of an "lfx2" block holding the effects of these keys ("DrSh",
// "SoFi"...), each enabled at `opacity` with its default colour (a colour
// overlay's is red); a drop shadow is knocked out by its layer when
// `knocksOut`.
std::vector<uint8_t> effectsBlock(const std::vector<std::string>& keys, double opacity = 1.0,
                                  bool knocksOut = false);

// One effect of a kind that may repeat: a drop shadow ("DrSh"), a colour
// overlay ("SoFi") or an outside stroke ("FrFX"), enabled, at `opacity`,
// in `colour` (0..255), blended by `mode` (a descriptor blend mode, "Mltp"
// multiply); a shadow of `size` falls `distance` away at `angle` degrees
// (shown through its layer), a stroke is `size` wide.
struct RepeatedEffect {
    std::string key;
    std::array<double, 3> colour{0, 0, 0};
    double opacity = 1.0, size = 0, distance = 0, angle = 90;
    std::string mode = "Nrml";
};
// The bytes of an "lmfx" block holding each effect in the list of its kind
// ("dropShadowMulti", "solidFillMulti", "frameFXMulti"), in the given
// order.
std::vector<uint8_t> repeatedEffectsBlock(const std::vector<RepeatedEffect>& effects);

// A document whose one layer is an opaque black square, pixels [left,
// right) on both axes of a `side` by `side` document, with the global light
// at `globalAngle` degrees and, when given, the patterns of a "Patt" block.
struct SquareDocument {
    std::shared_ptr<OMPSDDocument> document;
    std::shared_ptr<OMPSDLayer> layer;
};
SquareDocument makeSquareDocument(int side, int left, int right, int32_t globalAngle,
                                  std::vector<uint8_t> patternBlock = {});
// A `side` by `side` document of one black shape: its vector mask block,
// and other blocks (a stroke, alignment).
std::shared_ptr<OMPSDDocument> makeShapeDocument(
    int side, std::vector<uint8_t> vectorMask,
    std::vector<std::pair<std::string, std::vector<uint8_t>>> blocks = {});

// A new effect of type `Effect` with `setup` done.
template <typename Effect, typename Setup>
std::shared_ptr<Effect> made(Setup setup) {
    auto effect = std::make_shared<Effect>();
    setup(*effect);
    return effect;
}

// `effect` of `layer` drawn by itself onto transparency, as the group
// blending puts a layer together: onto the interior and exterior chains its
// clipping behaviour names (a stroke and a bevel onto transparent content),
// joined by the layer's shape. `factorMask` is handed to the effect.
BNRenderNodePtr effectDrawnAlone(const OMPSDEffect& effect, const OMPSDLayer& layer,
                                 const BNRenderNodePtr& factorMask = nullptr);

// One channel of a node rendered over whole pixels at scale 1.
struct RenderedPlane {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<float> values;
    // The value at document pixel (x, y); 0 outside the plane.
    float at(int x, int y) const;
};
RenderedPlane renderChannel(const BNRenderNodePtr& node, VKRect rect, int channel = 3);
// The whole pixels that `effect` of `layer` may cover: its bounds united
// with the layer's shape bounds.
VKRect effectPaintBounds(const OMPSDEffect& effect, const OMPSDLayer& layer);
// How many pixels of the plane outside `bounds` are covered (above half an
// 8-bit level).
int coveredOutside(const RenderedPlane& plane, VKRect bounds);

// Renders `node` over (x, y, 1, 1) at scale 1: premultiplied floats.
std::array<float, 4> renderPixel(const BNRenderNodePtr& node, double x, double y);
// Renders a one-channel node over (x, y, 1, 1).
float renderMaskValue(const BNRenderNodePtr& node, double x, double y);

}  // namespace compositing_test
