#pragma once
// The front door of layer compositing: a list of document layers in, one
// render node out, whose rendering reproduces the document's compositing of
// those layers. Building touches no pixels.
//
// The walk goes bottom-most layer first, forms clipping runs (a visible
// base layer and the layers and groups clipped to it; hidden members are
// dropped but do not end the run; a clipped group takes part with its
// finished, isolated result), and descends into groups: a group's blend
// mode, opacity, fill opacity and mask are set on the enclosing group's
// state, its layers are walked into a subgroup, and the subgroup's result
// is blended back like a layer (a group with visible effects or clipped
// layers, whose factor mask is its own layers' coverage; a group that
// layers are clipped to, or whose fill opacity is below full, is isolated)
// or as a group node.
//
// Runs on the caller's thread. Layer visibility is shared state of the
// document, so callers serialise builds; the walk only reads the layers.

#include "compositing/QFContext.h"
#include "compositing/shared/QFLayerList.h"
#include "rendergraph/core/BNRenderNode.h"

// The node of `layers` composited. Never null: an empty list, or one whose
// layers are all skipped, gives the transparent backdrop (infinite bounds,
// RGBA).
BNRenderNodePtr QFRenderNodeForLayers(const QFLayerList& layers);

// Walks `layers` into `context` (and each group's sublayers, recursively).
void QFBlendLayerListIntoContext(const QFLayerList& layers, QFContext& context);
