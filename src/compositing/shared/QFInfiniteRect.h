#pragma once
// The infinite rectangle: the bounds of the transparent planes of layer
// compositing (the backdrops of groups, the content a mask hides entirely).
// The same value as the render graph's default node bounds.

#include "geometry/VKGeometry.h"

inline constexpr VKRect QFInfiniteRect = VKRectInfinite;
