#pragma once
// Bounds of a layer's shape, of its vector mask and of its raster mask, in
// document pixels, and the pixel alignment they share. The export scanner
// sizes a layer's output by them, and fill paints are laid out in them.
//
// Safe to call from any thread (the document model is read only; the
// layer's simplified vector-mask path and half-covered box are cached
// atomically).

#include "geometry/VKCompoundPath.h"
#include "geometry/VKGeometry.h"
#include "psd/OMPSDLayer.h"

// The bounds of the layer's shape:
// - a shape (or a layer whose transparency does not shape it) with an
//   enabled vector mask that is part of its shape: the mask's path bounds,
//   grown by the mask's feather and joined by the stroke, pixel aligned;
// - a pixel layer: its rectangle, grown by its mask's feather;
// - a fill or adjustment layer: its raster mask's rectangle (grown by the
//   feather) when it has one, else the document or, with an enabled vector
//   mask, the mask's bounds made integral and grown by 1.
VKRect QFLayerShapeBounds(const OMPSDLayer& layer);
// The same without feather growth; a vector-mask shape is aligned to 1/32
// of a pixel instead of whole pixels.
VKRect QFLayerShapeBoundsUnfeathered(const OMPSDLayer& layer);
// The boxes gradients are laid out in. A shape's is the box of its path's
// curves: a handle that sticks out past its curve does not widen it.
// - A gradient fill layer's: its shape bounds, except that an inverted
//   raster mask does not bound it (the layer shows outside the mask's
//   rectangle).
VKRect QFGradientFillLayerBounds(const OMPSDLayer& layer);
// - A shape's own gradient paint's, and its effects': its shape bounds,
//   except that a pixel layer's pixels count only where at least half
//   covered (QFHalfCoveredPixelBounds), so that their anti-aliased fringe
//   does not widen the gradient. With and without the feather, as the two
//   shape bounds above.
VKRect QFLayerGradientBounds(const OMPSDLayer& layer);
VKRect QFLayerGradientBoundsUnfeathered(const OMPSDLayer& layer);

// The bounds of the curves of the mask's adding and intersecting subpaths
// in document pixels (subtracting ones and single open points are passed
// over), starting from the document rectangle; null without subpaths.
VKRect QFVectorMaskPathBounds(const OMPSDCompoundPath& mask, double width, double height);
// QFVectorMaskPathBounds of the layer's vector mask, pixel aligned, whether
// or not the mask is enabled; null without a vector mask.
VKRect QFVectorMaskBoundsForLayer(const OMPSDLayer& layer);
// The rectangle of the enabled real user mask, else of the enabled user
// mask (unless it is a pre-rendered vector mask); null without.
VKRect QFLayerMaskBounds(const OMPSDLayer& layer);
// The bounds of the stroke of `path` with the vector stroke's style (after
// QFPSDStrokePathFixer); the zero rectangle when the stroke is empty.
VKRect QFStrokedPathBounds(const VKCompoundPath& path, const OMPSDVectorStroke& stroke);
// Each edge snapped to the nearest whole pixel when closer than 1/32, else
// moved outward to the next whole pixel. Null and infinite rectangles stay.
VKRect QFPixelAlignedRect(VKRect rect);
