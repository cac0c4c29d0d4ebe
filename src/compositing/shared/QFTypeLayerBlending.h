#pragma once
// How a layer's interior (its content and inner effects over what lies
// below) and its exterior (what lies below with its outer effects) are put
// together by its shape, with the one exception to a plain crossfade:
// Photoshop mixes the colours of a type layer's anti-aliased edges as
// powers of a gamma (its "Blend Text Colors Using Gamma" colour setting),
// so that partly covered pixels show less of the type than their coverage
// says. Its effects follow the type's shape, so the edges where they meet
// what lies below, or where the type meets its outside effects, mix the
// same way.

#include "psd/OMPSDLayer.h"
#include "rendergraph/core/BNRenderNode.h"

// The setting's gamma as it comes; documents do not store the setting.
inline constexpr double kQFTypeGamma = 1.45;

// Whether the layer is a type layer: it holds a type record ("TySh").
bool QFIsTypeLayer(const OMPSDLayer& layer);

// Whether the layer's edges mix through the type gamma: a type layer in
// normal mode anti-aliased by Photoshop's own text rendering, in a document
// written by Photoshop CS6 or later. Type rendered by the system's text
// rendering, and documents of earlier versions (before the setting came),
// show their edges mixed as they are.
bool QFLayerBlendsEdgesWithTypeGamma(const OMPSDLayer& layer);

// The interior where the shape covers the layer, the exterior where it does
// not, mixed by the shape between; through the type gamma where the layer
// blends its edges with it.
BNRenderNodePtr QFPutLayerInItsShape(const OMPSDLayer& layer, const BNRenderNodePtr& exterior,
                                     const BNRenderNodePtr& interior, const BNRenderNodePtr& shape);
