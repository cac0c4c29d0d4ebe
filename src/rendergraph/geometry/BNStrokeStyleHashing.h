#pragma once
// The part a stroke style plays in the identity of a render node that
// strokes with it: every parameter that changes the stroke.

#include "geometry/VKStrokeStyle.h"
#include "rendergraph/core/BNHashIdentifier.h"

// Feeds position, join and cap (8 bytes each), the dash count (8 bytes),
// the dash phase and each dash length (8 bytes each), then the width and the
// miter limit (8 bytes each).
void BNStrokeStyleUpdateHashContext(const VKStrokeStyle& style, BNHashContext& context);
