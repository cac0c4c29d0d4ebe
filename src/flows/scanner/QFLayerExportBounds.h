#pragma once
// The document rectangles the tag scanner gives a layer's outputs: what a
// layer or group covers (its shape, its raster mask's non-zero samples,
// its sublayers and, when asked, its effects), and the bounds a group's
// mask fixes. Rectangles are in document pixels; none is clipped to the
// canvas here.
//
// Pure reads of the document; any thread.

#include "geometry/VKGeometry.h"
#include "psd/OMPSDChannelReference.h"
#include "psd/OMPSDLayer.h"

#include <memory>
#include <optional>

// The rectangle of `layer`: a layer's shape bounds, or a group's sublayers
// (clipped ones left out, hidden ones counted); a raster mask that hides
// anything outside it narrows that to its non-zero samples (widened by its
// feather); effects, when included, grow it. The null rectangle when it
// covers nothing.
VKRect QFExportBoundsForLayer(const OMPSDLayer& layer, bool includeEffects);

// The bounds a group's mask fixes: an enabled vector mask when the group's
// effects are not visible, else the non-zero samples of its raster mask
// (enabled or not) when that hides anything. None for a layer that is no
// group, or a group without such a mask.
std::optional<VKRect> QFGroupMaskBounds(const OMPSDLayer& layer);

// The layer's raster mask plane and the value it has outside its
// rectangle: the real mask (-3) before the user mask (-2); a user mask that
// is a pre-rendered vector mask does not count, nor a disabled one unless
// `countDisabled`.
struct QFMaskChannel {
    std::shared_ptr<const OMPSDChannelReference> channel;
    double backgroundValue;
};
std::optional<QFMaskChannel> QFMaskChannelForLayer(const OMPSDLayer& layer, bool countDisabled);

// The smallest rectangle within the plane's rectangle that holds every
// non-zero sample; the null rectangle when there is none. A plane shorter
// than its rectangle needs is logged and answers its rectangle.
VKRect QFTightMaskRect(const OMPSDChannelReference& channel);
