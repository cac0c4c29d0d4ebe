#pragma once
// What the layer effects share: the measures of their blurs and offsets
// (which their bounds repeat, so that the bounds hold what the nodes draw),
// contours, colour and coverage nodes, and the closing blend of the
// shadows, glows and satin.
//
// Units: sizes and distances in pixels, spread in percent, angles in
// degrees counter-clockwise in document coordinates (y grows downwards).
// Everything here builds nodes only, on the build's thread.

#include "geometry/VKGeometry.h"
#include "psd/OMPSDColor.h"
#include "psd/OMPSDContour.h"
#include "psd/OMPSDLayer.h"
#include "rendergraph/core/BNRenderNode.h"

#include <cstdint>
#include <memory>

// The part of a shadow's or glow's size that its spread chokes solid:
// size * spread / 100, to the nearest whole pixel.
double QFEffectChoke(double size, double spread);
// `shape` grown outwards by the spread's choke (itself when there is none),
// and what is left of the size for the blur.
struct QFSpreadShape {
    BNRenderNodePtr node;
    double size;
};
QFSpreadShape QFSpreadShapeForEffect(const BNRenderNodePtr& shape, double size, double spread);
// The blur radius of an effect of `size`: one pixel less from 2 up, which
// reaches as far as Photoshop's effects do.
double QFShortenedBlurSize(double size);

// Where an effect's coverage before noise and contours is below this
// share, the noisy or contoured coverage is held down to it, so that they
// do not light up the effect's faint far edge.
inline constexpr double QFEffectLimitThreshold = 0.125;

// The document's global light, in degrees; 30 and 30 (a new document's)
// for a layer without a document.
struct QFGlobalLight {
    double angle, altitude;
};
QFGlobalLight QFGlobalLightForLayer(const OMPSDLayer& layer);

// The document's rectangle from (0, 0), where fills lay out what their
// layer bounds do not place.
VKRect QFDocumentRectForLayer(const OMPSDLayer& layer);

// How far a shadow lies from its layer, as the move (x right, y down) in
// whole pixels: away from the light at `angle`, or at the document's global
// angle when `usesGlobalLight`. Each component is the cosine or sine of the
// angle times the distance, in single precision, rounded halves away from
// zero.
VKPoint QFLightOffset(double angle, bool usesGlobalLight, double distance, const OMPSDLayer& layer);
// `node` moved by `offset` (QFLightOffset).
BNRenderNodePtr QFNodeMovedBy(const BNRenderNodePtr& node, VKPoint offset);

// Whether `contour` maps [minRange, maxRange] as the identity: no contour
// (whatever the range), or the straight line from (0, 0) to (1, 1) over
// 0..1.
bool QFIsIdentityContour(const std::shared_ptr<const OMPSDContour>& contour, double minRange,
                         double maxRange);
// `node` mapped through `contour` squeezed onto [minRange, maxRange]; the
// node itself for an identity contour.
BNRenderNodePtr QFContourMappingNodeForContour(const BNRenderNodePtr& node,
                                               const std::shared_ptr<const OMPSDContour>& contour,
                                               double minRange = 0, double maxRange = 1);

// `color` shaped by the one-channel `mask`, its coverage in the fill channel.
BNRenderNodePtr QFColorNodeWithMask(const OMPSDColor& color, const BNRenderNodePtr& mask);
// `node` with its coverage in the fill channel (made opaque first when it
// has no opacity), so that it blends through the fill-aware kernels; null
// for null.
BNRenderNodePtr QFOpacityAsFillNode(const BNRenderNodePtr& node);

// `coverage` (a plane or a picture) divided by `factorMask`, taking the
// effect's `opacity` as its fill, which leaves 1 for the blend; unchanged
// without a factor mask.
BNRenderNodePtr QFCoverageWithinFactorMask(const BNRenderNodePtr& coverage,
                                           const BNRenderNodePtr& factorMask, double& opacity);
// `background` with `paint` blended over it in the blend mode of
// `blendKey`, at `fill`; the background itself when no node can be made.
BNRenderNodePtr QFBlendEffectPaint(const BNRenderNodePtr& background, const BNRenderNodePtr& paint,
                                   uint32_t blendKey, double fill);
// The closing blend of the shadows, glows and satin: `background` with
// `color` painted where the one-channel `coverage` is, in the blend mode of
// `blendKey`. The effect's `opacity` is the blend's fill, or, when a
// `factorMask` is given, goes into the coverage divided by it. The
// background itself when a node cannot be made.
BNRenderNodePtr QFBlendEffectCoverage(const BNRenderNodePtr& background,
                                      const BNRenderNodePtr& coverage, const OMPSDColor& color,
                                      uint32_t blendKey, double opacity,
                                      const BNRenderNodePtr& factorMask);
