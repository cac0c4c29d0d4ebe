#pragma once
// How the kernel sets are put together: each source file of the library
// installs its kernels into a set. TarrowKernelSet.cpp calls these.

#include "kernels/TarrowKernelSet.h"

// One assignment of an installer, for use with a list of TarrowKernelList.h
// inside a function taking `TarrowKernelSet& set`: the field takes the
// installing source's form of the same name.
#define TARROW_INSTALL_KERNEL(field, Type, EntryPoint) set.field = field;

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
