#pragma once
// Filling surfaces with constant values, for nodes that write part or all
// of their output without an operation of their own.

#include "rendergraph/BNSurface.h"

// Sets every sample of the surface's pixels to 0 (padding untouched).
void BNClearSurface(BNSurface& surface);
