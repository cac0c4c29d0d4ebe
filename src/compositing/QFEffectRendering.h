#pragma once
// Layer effects as the group blending asks for them: an effect blends the
// nodes that draw it onto a node it is handed and returns the new node.
// Effects are not drawn yet: every effect hands back its background
// unchanged (the behaviour each kind of effect is to override), so the
// roads that call these already take effects where they belong: interior
// effects blended as a group into the layer's content, a pass-through
// group's drop shadow under its layers.
//
// Factor mask: an effect inside a group blended like a layer keeps its own
// strength. The group's coverage (its factor mask) is taken out of its
// whole result, the effects of its layers included, once, at its end
// (QFContextGroup), so nothing drawn inside it is divided again; the group
// blending passes no factor mask. A group's own effects are drawn around
// its shape where it is blended like a layer, pass-through or not.
//
// Everything here builds nodes only, on the build's thread.

#include "geometry/VKGeometry.h"
#include "psd/OMPSDEffects.h"
#include "psd/OMPSDLayer.h"
#include "rendergraph/BNRenderNode.h"

#include <memory>
#include <vector>

// The enabled effects that paint the layer's interior and may be blended
// into its content as a group, in drawing order: pattern overlay, gradient
// overlay, colour overlay, satin, inner glow. None when the layer's effects
// are switched off.
std::vector<std::shared_ptr<const OMPSDEffect>> QFInteriorEffectsForLayer(const OMPSDLayer& layer);

// The drop shadow that a group draws under its own layers: an enabled one
// that the group does not knock out, in an enabled effects container; else
// null.
std::shared_ptr<const OMPSDDropShadowEffect> QFDropShadowUnderLayers(const OMPSDLayer& layer);

// `background` with `effect`, of `layer` whose shape is `shape`, drawn onto
// it; `factorMask` (or null) divides the effect's coverage.
BNRenderNodePtr QFBlendEffectWithLayerShape(const OMPSDEffect& effect, const BNRenderNodePtr& shape,
                                            const BNRenderNodePtr& background,
                                            const OMPSDLayer& layer,
                                            const BNRenderNodePtr& factorMask);

// The rectangle that `effect` may paint for a layer whose shape covers
// `shapeBounds`, for sizing an export before it renders. Effects draw
// nothing yet, so every effect answers the shape's rectangle.
VKRect boundsWithLayerShapeBounds(const OMPSDEffect& effect, VKRect shapeBounds,
                                  const OMPSDLayer& layer);
