#pragma once
// How the kernel sets are put together: each source file of the library
// installs its kernels into a set. TarrowKernelSet.cpp calls these.

#include "kernels/TarrowKernelSet.h"

namespace tarrow_detail {

// Reference forms of the streaming kernels, copies and the limit-to-mask
// kernel (StreamingKernels.cpp).
void installReferenceStreamingKernels(TarrowKernelSet& set);
// Vector forms of the streaming kernels, over the reference set
// (StreamingKernels_sse4.cpp, StreamingKernels_avx2.cpp).
void installSse4StreamingKernels(TarrowKernelSet& set);
void installAvx2StreamingKernels(TarrowKernelSet& set);

void installLookupKernels(TarrowKernelSet& set);      // LookupKernels.cpp
void installAdjustmentKernels(TarrowKernelSet& set);  // AdjustmentKernels.cpp
void installGradientKernels(TarrowKernelSet& set);    // GradientKernels.cpp
void installNoiseKernels(TarrowKernelSet& set);       // NoiseKernels.cpp

}  // namespace tarrow_detail
