#pragma once
// The three nodes every layer is blended from:
// - the content: what the layer paints. A pixel layer's colour is opaque
//   where its transparency shapes the layer (the transparency is then part
//   of the shape) and carries its transparency as fill where it does not;
//   fill and adjustment layers take theirs from a content builder;
// - the shape (one channel): where the layer is; its effects follow it;
// - the mask (one channel, optional): what is cut away after the effects.
// By the layer's two "hides effects" flags each of its masks, the raster
// and the vector one, is either part of the shape or applied after the
// effects.
//
// Everything here makes new nodes per call from the document's read-only
// model; it runs inside a graph build.

#include "compositing/shared/QFLayerList.h"
#include "psd/OMPSDLayer.h"
#include "rendergraph/core/BNRenderNode.h"

#include <memory>
#include <vector>

// How a layer's transparency channel (id -1) enters an image node.
enum QFTransparencyMode : int {
    QFTransparencyModeDropped = 0,  // left out, the image made opaque
    QFTransparencyModeOpacity = 1,  // as the opacity channel
    QFTransparencyModeFill = 2,     // as the fill channel
};

using QFChannelReferenceList = std::vector<std::shared_ptr<const OMPSDChannelReference>>;

// The layer's content; `input` is what the layer lies on (the backdrop an
// adjustment works on). Null when the layer paints nothing.
BNRenderNodePtr QFContentNodeForLayer(const OMPSDLayer& layer, const BNRenderNodePtr& input);

// An image node over the colour channels (ids 0, 1, 2) and, by `mode`, the
// transparency channel; masks and other channels are left out. Made opaque
// when no transparency is kept.
BNRenderNodePtr QFImageNodeForChannels(const QFChannelReferenceList& references,
                                       QFTransparencyMode mode);
// An image node over one plane, read as opacity unless it is a colour
// channel.
BNRenderNodePtr QFImageNodeForChannel(
    const std::shared_ptr<const OMPSDChannelReference>& reference);
// The image node of the first transparency plane (id -1), or null.
BNRenderNodePtr QFTransparencyNodeForChannels(const QFChannelReferenceList& references);
// The document's snapshot of the layer's smart object, or null.
std::shared_ptr<const OMPSDSmartObjectSnapshot> QFSmartObjectSnapshotForLayer(
    const OMPSDLayer& layer);

// The layer's one-channel shape; never null (constant opaque without
// transparency or masks).
BNRenderNodePtr QFShapeNodeForLayer(const OMPSDLayer& layer);
// The masks applied after the layer's effects, or null. A group gets both
// of its masks here, unless it is blended like a layer (`groupAsLayer`):
// its shape then holds those that shape it.
BNRenderNodePtr QFMaskNodeForLayer(const OMPSDLayer& layer, bool groupAsLayer = false);
// Whether a shape is the constant opaque node of a layer without
// transparency or masks.
bool QFIsConstantShape(const BNRenderNodePtr& shape);
// The raster mask (the real user mask when the layer has one, else the
// user mask) with its density and feather, or null.
BNRenderNodePtr QFLayerMaskNode(const OMPSDLayer& layer);
// The enabled vector mask (or, for a shape with a stroke, its stroked
// outline) with its density and feather, or null. A mask whose path makes
// no node hides everything.
BNRenderNodePtr QFVectorMaskNode(const OMPSDLayer& layer);
// Blurs the mask by `feather` (when not 0) and fades it towards opaque by
// `density` (below 1): density 0 hides nothing.
BNRenderNodePtr QFApplyMaskFeatherAndDensity(BNRenderNodePtr mask, double density, double feather);
// The opacity of a group's own layers rendered alone.
BNRenderNodePtr QFIsolatedNodeForSublayers(const QFLayerList& layers);
// A group's shape when it is blended like a layer: its `coverage` within
// the masks that shape it (QFShapeNodeForLayer of the group).
BNRenderNodePtr QFGroupShapeNode(const OMPSDLayer& group, const BNRenderNodePtr& coverage);
