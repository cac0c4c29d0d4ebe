#pragma once
// Blend modes by number, in Photoshop's order: the index into the blend
// kernel tables, shared by the blend node and the layer compositing. The
// render graph blends with the kernels' own numbers and names
// (kTarrowBlendNormal to kTarrowBlendLuminosity, kTarrowBlendModeCount).

#include "kernels/BlendKernels.h"

using BNBlendMode = TarrowBlendMode;
