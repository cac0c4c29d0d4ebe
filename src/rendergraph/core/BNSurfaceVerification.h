#pragma once
// Developer checks of rendered surfaces: every sample in [0, 1] and colour
// premultiplied (no colour sample above its pixel's coverage). Nothing in
// the render road calls them; they help find a node that writes bad values.

#include "rendergraph/core/BNSurface.h"

class BNRenderRequest;

// Opacity-only surfaces: every sample in [0, 1]. Prints "Out of range: %g"
// for the first bad sample.
bool BNVerifyGraySurface(const BNSurface& surface);
// Four-channel surfaces: each sample in [0, 1] and R, G, B no greater than
// the fourth sample; logs the first fault.
bool BNVerifyRGBASurface(const BNSurface& surface);
// Masks 8, 15 and 23 through the two checks above; any other mask fails.
bool BNVerifySurface(const BNSurface& surface);

// Checks the request's surface; on a fault logs "Bad surface", dumps the
// surface as "BadSurface" and ends the process with a failure status.
void BNVerifyRequestSurface(const BNRenderRequest& request);
