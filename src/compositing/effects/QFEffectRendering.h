#pragma once
// Layer effects as the group blending asks for them: given the shape of
// its layer, an effect builds the nodes that draw it, blends them onto a
// node it is handed and returns the new node. It never renders pixels.
//
// The group blending (QFContextGroup) keeps two running results for a
// layer, one for the inside of its shape (interior) and one for the outside
// (exterior), and asks every enabled effect, in the fixed effect order, to
// draw onto those that its clipping behaviour names. Interior effects are
// confined to the shape there, not here.
//
// Every blend returns a node (never null): its background (for the stroke
// and the bevel, its content) with the effect over it, or that node itself
// when the effect draws nothing or its nodes cannot be made.
//
// Factor mask: the coverage of a group being built whose result is later
// weighed by that coverage again; effect coverage is divided by it. The
// group blending takes a group's coverage out of its result once, at its
// end, and so hands none to the effects of the layers inside it (a caller
// that weighs a result again passes one).
//
// Everything here builds nodes only, on the build's thread, and reads the
// document model.

#include "geometry/VKGeometry.h"
#include "psd/OMPSDEffects.h"
#include "psd/OMPSDLayer.h"
#include "rendergraph/core/BNRenderNode.h"

#include <functional>
#include <memory>
#include <vector>

// Where an effect draws: both inside and outside the layer's shape, inside
// only (interior), or outside only (exterior).
enum QFEffectClipping : int {
    QFEffectClippingBoth = 0,
    QFEffectClippingInterior = 1,
    QFEffectClippingExterior = 2,
};
// A drop shadow that its layer knocks out, an outer glow, an outside stroke
// and an outer bevel draw outside; a drop shadow that shows through its
// layer, a centred stroke, an emboss and a pillow emboss on both sides;
// every other effect inside.
QFEffectClipping clippingBehavior(const OMPSDEffect& effect);

// `background` with `effect` (of `layer`, whose one-channel shape is
// `shape`) drawn onto it: shadows, glows, satin and overlays. Other effects
// hand back the background.
BNRenderNodePtr blendWithLayerShape(const OMPSDEffect& effect, const BNRenderNodePtr& shape,
                                    const BNRenderNodePtr& background, const OMPSDLayer& layer,
                                    const BNRenderNodePtr& factorMask);

// Whether `effect` is a stroke emboss: a bevel that lights the layer's
// stroke effect, drawn through it.
bool QFIsStrokeEmboss(const OMPSDEffect& effect);

// Takes the stroke as drawn onto its backdrop and returns it changed (a
// stroke emboss lights it).
using QFEffectBlendingCallback = std::function<BNRenderNodePtr(const BNRenderNodePtr&)>;
// The stroke: `content` with the stroke band showing the stroke's paint
// blended onto `background` (the layer's effect backdrop), passed through
// `callback` when given. Other effects hand back the content.
BNRenderNodePtr blendWithContent(const OMPSDEffect& effect, const BNRenderNodePtr& content,
                                 const BNRenderNodePtr& shape, const BNRenderNodePtr& background,
                                 const OMPSDLayer& layer, const BNRenderNodePtr& factorMask,
                                 const QFEffectBlendingCallback& callback);
// The bevel and emboss: `content` lit as a relief of the shape, for the
// pass named by `clipping` (a pillow emboss lights its exterior pass the
// other way round; a stroke emboss is drawn with clipping both through the
// stroke's callback). The highlight and shadow are blended onto the
// content; the background and the factor mask are not used. Other effects
// hand back the content.
BNRenderNodePtr blendWithContent(const OMPSDEffect& effect, const BNRenderNodePtr& content,
                                 const BNRenderNodePtr& shape, const BNRenderNodePtr& background,
                                 const OMPSDLayer& layer, QFEffectClipping clipping,
                                 const BNRenderNodePtr& factorMask);

// The rectangle that `effect` may paint for a layer whose shape covers
// `shapeBounds` (document pixels), for sizing an export before it renders:
// grown by the reach of its blur, spread and stroke, and moved with a drop
// shadow. The caller unions it with the shape's bounds. Null and infinite
// rectangles stay as they are.
VKRect boundsWithLayerShapeBounds(const OMPSDEffect& effect, VKRect shapeBounds,
                                  const OMPSDLayer& layer);

// The layer's enabled effects in their fixed drawing order, with null
// standing for the layer's content: drop shadows, outer glow, the content,
// pattern overlay, gradient overlays, colour overlays, satin, inner glow
// (these five kinds with the content when the layer blends its interior
// effects as a group), inner shadows, strokes, bevel and emboss. The
// effects of a kind that repeats follow one another in their stored order,
// each drawn over the ones before it, except the strokes: the first stored
// lies on top, so they come last to first. The content alone when the
// layer's effects are switched off.
std::vector<std::shared_ptr<const OMPSDEffect>> QFEffectsInDrawingOrder(const OMPSDLayer& layer);

// The enabled effects that paint the layer's interior and may be blended
// into its content as a group, in drawing order: pattern overlay, gradient
// overlays, colour overlays, satin, inner glow. None when the layer's
// effects are switched off.
std::vector<std::shared_ptr<const OMPSDEffect>> QFInteriorEffectsForLayer(const OMPSDLayer& layer);

// The drop shadows that a group draws under its own layers, in drawing
// order: the enabled ones that the group does not knock out, in an enabled
// effects container.
std::vector<std::shared_ptr<const OMPSDDropShadowEffect>> QFDropShadowsUnderLayers(
    const OMPSDLayer& layer);
