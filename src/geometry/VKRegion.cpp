#include "geometry/VKRegion.h"

#include <algorithm>
#include <cmath>

namespace {

bool usable(VKRect rect) {
    rect = VKRectStandardize(rect);
    return !VKRectIsEmpty(rect) && !std::isnan(rect.origin.x) && !std::isnan(rect.origin.y) &&
           !std::isnan(rect.size.width) && !std::isnan(rect.size.height);
}

}  // namespace

std::shared_ptr<VKRegion> VKRegion::regionWithRect(VKRect rect) {
    auto region = std::make_shared<VKRegion>();
    if (usable(rect)) region->rects_.push_back(VKRectStandardize(rect));
    return region;
}

void VKRegion::subtractRect(VKRect cut) {
    if (!usable(cut)) return;
    std::vector<VKRect> kept;
    kept.reserve(rects_.size() + 4);
    for (const VKRect& r : rects_) {
        VKRect common = VKRectIntersection(r, cut);
        if (VKRectIsEmpty(common)) {
            kept.push_back(r);
            continue;
        }
        // Up to four pieces: full-width bands above and below the cut, then
        // the parts left and right of it within the cut's rows.
        double minX = VKRectGetMinX(r), maxX = VKRectGetMaxX(r);
        double minY = VKRectGetMinY(r), maxY = VKRectGetMaxY(r);
        double cutMinX = VKRectGetMinX(common), cutMaxX = VKRectGetMaxX(common);
        double cutMinY = VKRectGetMinY(common), cutMaxY = VKRectGetMaxY(common);
        if (cutMinY > minY) kept.push_back(VKRectMake(minX, minY, maxX - minX, cutMinY - minY));
        if (cutMinX > minX)
            kept.push_back(VKRectMake(minX, cutMinY, cutMinX - minX, cutMaxY - cutMinY));
        if (cutMaxX < maxX)
            kept.push_back(VKRectMake(cutMaxX, cutMinY, maxX - cutMaxX, cutMaxY - cutMinY));
        if (cutMaxY < maxY) kept.push_back(VKRectMake(minX, cutMaxY, maxX - minX, maxY - cutMaxY));
    }
    rects_ = std::move(kept);
}

void VKRegion::enumerateRectsUsingBlock(
    const std::function<void(VKRect, size_t, bool*)>& block) const {
    bool stop = false;
    for (size_t i = 0; i < rects_.size() && !stop; ++i)
        block(rects_[i], i, &stop);
}
