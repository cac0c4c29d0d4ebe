#pragma once
// The kernel set: one table holding a function pointer for every pixel
// kernel of the library, in a form chosen for the processor.
//
// Three sets exist: the portable reference forms (plain C++; the streaming
// kernels among them are laid out so that the compiler vectorises them for
// the baseline processor), and sets for processors with SSE4.1 and with AVX2
// in which the streaming kernels (fills, scaling, both blend tables,
// crossfades, masks and channel kernels) are replaced by forms written on
// vector registers; copies use the C library's memcpy, which already picks
// the processor's best form, and lookups, gradients, noise and shading stay
// on the reference forms. TarrowKernelList.h lists the kernels of each kind.
// Every form gives results identical to the reference, bit for bit.
//
// The active set is chosen once, on first use, from the processor's feature
// flags; setting the environment variable LF_KERNELS_REFERENCE to anything
// but "" or "0" forces the reference set. The Tarrow* entry points of the
// kernel headers, constant function pointers, call through the active set;
// tests and benchmarks may reach every set that the processor can run
// through TarrowKernelSetFor.
//
// Sets are immutable and live for the whole program; reading them is safe
// from any thread.

#include "kernels/BlendKernels.h"
#include "kernels/FillCopyScaleKernels.h"
#include "kernels/GradientKernels.h"
#include "kernels/LookupKernels.h"
#include "kernels/MaskKernels.h"
#include "kernels/NoiseKernels.h"
#include "kernels/TarrowKernelList.h"

enum class TarrowIsa { reference, sse4, avx2 };

inline constexpr const char* kTarrowReferenceEnvironmentVariable = "LF_KERNELS_REFERENCE";

struct TarrowKernelSet {
    TarrowIsa isa;
    const char* name;  // "reference", "sse4" or "avx2"

    // One field for each kernel and blend table of the kernel list.
#define TARROW_KERNEL_FIELD(field, Type, EntryPoint) Type field;
    TARROW_KERNELS(TARROW_KERNEL_FIELD)
    TARROW_BLEND_TABLES(TARROW_KERNEL_FIELD)
#undef TARROW_KERNEL_FIELD
};

// The set in use, chosen once for this processor.
const TarrowKernelSet& TarrowKernels();

// The set of one instruction set, or null when this processor cannot run it.
const TarrowKernelSet* TarrowKernelSetFor(TarrowIsa isa);

// The choice TarrowKernels makes: AVX2 when the processor has it, else SSE4.1
// when it has that, else the reference; the reference whenever
// `forceReference` (the environment variable's value, or null) is neither
// null, "" nor "0".
TarrowIsa TarrowChooseIsa(bool hasSse4, bool hasAvx2, const char* forceReference);
