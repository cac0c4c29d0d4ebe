// The streaming kernels on four float lanes. Compiled with -msse4.1.
#include "kernels/detail/KernelInstall.h"
#include "kernels/detail/SseLanes.h"
#include "kernels/detail/StreamingKernelBodies.h"

void tarrow_detail::installSse4StreamingKernels(TarrowKernelSet& set) {
    installStreamingKernels<SseLanes>(set);
}
