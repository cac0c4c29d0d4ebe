#pragma once
// The box of a pixel layer's pixels that are at least half covered: where
// effects lay their gradients out, so that the faint anti-aliased fringe
// around a layer's pixels does not widen them.
//
// Reads the layer's transparency plane once (decompressing it, as drawing
// it would) and keeps the box with the layer; safe from any thread.

#include "geometry/VKGeometry.h"
#include "psd/OMPSDLayer.h"

#include <optional>

// The bounds of the pixels whose transparency sample is at least half of
// full (8-bit 128, 16-bit 32768), in document pixels. None when the plane
// does not tell them apart: the layer has none (all its pixels are
// covered), its depth is another, its samples are damaged, or no pixel is
// half covered.
std::optional<VKRect> QFHalfCoveredPixelBounds(const OMPSDLayer& layer);
