#pragma once
// VKRegion: an area made of rectangles that never overlap, so that every
// point of the area is covered exactly once. The render nodes use it to
// find the parts of an output that an input does not cover.
//
// Not safe for concurrent mutation; a region that is no longer changed may
// be read from any thread.

#include "geometry/VKGeometry.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class VKRegion {
public:
    VKRegion() = default;

    // A region holding exactly `rect`; an empty or non-finite rectangle (one
    // with a NaN edge) gives an empty region.
    static std::shared_ptr<VKRegion> regionWithRect(VKRect rect);

    // Removes `rect` from the area. The rectangles afterwards cover exactly
    // the old area minus `rect`, without overlap. An empty rectangle, or one
    // with a NaN edge, removes nothing.
    void subtractRect(VKRect rect);

    // Calls `block` once per rectangle, in stored order, with the rectangle,
    // its index and a stop flag; setting the flag ends the enumeration.
    void enumerateRectsUsingBlock(
        const std::function<void(VKRect rect, size_t index, bool* stop)>& block) const;

    const std::vector<VKRect>& rects() const { return rects_; }
    bool isEmpty() const { return rects_.empty(); }

private:
    std::vector<VKRect> rects_;
};
