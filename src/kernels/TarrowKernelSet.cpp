#include "kernels/TarrowKernelSet.h"

#include "kernels/detail/KernelInstall.h"

#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

bool processorRuns(TarrowIsa isa) {
    __builtin_cpu_init();
    switch (isa) {
        case TarrowIsa::reference:
            return true;
        case TarrowIsa::sse4:
            return __builtin_cpu_supports("sse4.1");
        case TarrowIsa::avx2:
            return __builtin_cpu_supports("avx2");
    }
    return false;
}

// The instruction-set units are compiled for their instruction set as a
// whole, their installers included: a set is made only for a processor that
// runs it.
TarrowKernelSet makeSet(TarrowIsa isa) {
    using namespace tarrow_detail;
    TarrowKernelSet set{};
    set.isa = isa;
    installReferenceStreamingKernels(set);
    installLookupKernels(set);
    installAdjustmentKernels(set);
    installGradientKernels(set);
    installNoiseKernels(set);
    switch (isa) {
        case TarrowIsa::reference:
            set.name = "reference";
            break;
        case TarrowIsa::sse4:
            set.name = "sse4";
            installSse4StreamingKernels(set);
            break;
        case TarrowIsa::avx2:
            set.name = "avx2";
            installAvx2StreamingKernels(set);
            break;
    }
    return set;
}

}  // namespace

TarrowIsa TarrowChooseIsa(bool hasSse4, bool hasAvx2, const char* forceReference) {
    if (forceReference && *forceReference && std::strcmp(forceReference, "0") != 0)
        return TarrowIsa::reference;
    if (hasAvx2) return TarrowIsa::avx2;
    if (hasSse4) return TarrowIsa::sse4;
    return TarrowIsa::reference;
}

const TarrowKernelSet* TarrowKernelSetFor(TarrowIsa isa) {
    // Made only where the processor runs them: even an installer may hold
    // instructions of its set.
    auto madeIfRun = [](TarrowIsa each) -> std::optional<TarrowKernelSet> {
        if (!processorRuns(each)) return std::nullopt;
        return makeSet(each);
    };
    static const std::optional<TarrowKernelSet> sets[] = {
        madeIfRun(TarrowIsa::reference), madeIfRun(TarrowIsa::sse4), madeIfRun(TarrowIsa::avx2)};
    const auto& set = sets[static_cast<int>(isa)];
    return set ? &*set : nullptr;
}

const TarrowKernelSet& TarrowKernels() {
    static const TarrowKernelSet& active = *TarrowKernelSetFor(
        TarrowChooseIsa(processorRuns(TarrowIsa::sse4), processorRuns(TarrowIsa::avx2),
                        std::getenv(kTarrowReferenceEnvironmentVariable)));
    return active;
}
