// The streaming kernels on eight float lanes. Compiled with -mavx2.
#include "kernels/detail/Avx2Lanes.h"
#include "kernels/detail/KernelInstall.h"
#include "kernels/detail/StreamingKernelBodies.h"

void tarrow_detail::installAvx2StreamingKernels(TarrowKernelSet& set) {
    installStreamingKernels<Avx2Lanes>(set);
}
