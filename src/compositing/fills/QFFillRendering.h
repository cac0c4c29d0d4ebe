#pragma once
// The paint of a fill (a layer's colour, gradient or pattern fill, a shape's
// fill or stroke paint) as a source node over the whole plane; confining it
// to a shape is the caller's business.
//
// - A colour is a constant node.
// - A gradient is laid out in a reference rectangle: the layer bounds the
//   caller gives, or the document when the gradient is not aligned with
//   the layer or the bounds are empty. Its axis runs through the centre
//   (moved by the offsets) in the angle's direction (0 degrees left to
//   right, 90 bottom to top) to the rectangle's edges, scaled about the
//   centre, with whole-pixel end points. Shape bursts are not drawn here
//   (null).
// - A pattern is the document's tile with that identifier, repeated with
//   the fill's phase (and the layer's reference point when linked) and
//   scale; a pattern the document lacks gives null and one log line.
//
// Everything here makes new nodes per call and reads the document only.

#include "psd/OMPSDFill.h"
#include "psd/OMPSDLayer.h"
#include "psd/OMPSDPattern.h"
#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/images/BNImageProvider.h"

#include <memory>
#include <string>

// `layerBounds` (a bounds rectangle of the layer's shape) and
// `documentBounds` (the document from (0, 0)) place gradients.
BNRenderNodePtr QFRenderNodeForFill(const OMPSDFill& fill, VKRect layerBounds,
                                    VKRect documentBounds, const OMPSDLayer& layer);

struct QFGradientEndpoints {
    VKPoint start, end;
};
// The gradient's axis in `rect` for `angle` degrees (folded into -180..180
// by whole turns), `scale` and the offsets (fractions of the rectangle):
// whole-pixel end points on the edge of the rectangle scaled about its
// offset centre.
QFGradientEndpoints QFFillGradientEndpoints(VKRect rect, double angle, double scale,
                                            double horizontalOffset, double verticalOffset);

// The fill's pattern tile repeated over the plane, or null (with a log
// line naming the pattern) when the layer's document lacks the pattern or
// its tile cannot be read as colour.
BNRenderNodePtr QFPatternNodeForFill(const OMPSDPatternFill& fill, const OMPSDLayer& layer);
// The phase by which a pattern is moved: its own (negated), and, when
// linked with the layer, the layer's effects reference point as well.
VKPoint QFPatternPhase(double horizontalPhase, double verticalPhase, bool isLinkedWithLayer,
                       const OMPSDLayer& layer);
// The first of the layer's document's patterns with that identifier, or
// null.
std::shared_ptr<const OMPSDPattern> QFPatternForIdentifier(const OMPSDLayer& layer,
                                                           const std::string& identifier);
// The tile's planes as an RGB provider with opacity when stored: RGB
// tiles as they are, a grayscale tile's one plane as red, green and blue,
// an indexed tile through its colour table. 16-bit samples read at half
// range. Null for other image modes, and for a tile with a plane that
// claims more samples than its compressed bytes can hold.
std::shared_ptr<const BNImageProvider> QFImageProviderForPattern(const OMPSDPattern& pattern);
