// The Tarrow* entry points: each calls its kernel in the active set.
#include "kernels/TarrowKernelSet.h"

namespace {

// Calls the kernel held in the active set's field `kField`, whose type is
// `void (*)(Arguments...)`, with the caller's arguments.
template <auto kField, class Fn>
struct Forwarder;

template <auto kField, class... Arguments>
struct Forwarder<kField, void (*)(Arguments...)> {
    static void call(Arguments... arguments) { (TarrowKernels().*kField)(arguments...); }
};

}  // namespace

// The entry points are constants, made before any code runs: calling one
// during another source's static initialisation is safe.
#define TARROW_DEFINE_ENTRY_POINT(field, Type, EntryPoint) \
    constinit const Type EntryPoint = &Forwarder<&TarrowKernelSet::field, Type>::call;
TARROW_KERNELS(TARROW_DEFINE_ENTRY_POINT)
#undef TARROW_DEFINE_ENTRY_POINT

#define TARROW_DEFINE_TABLE_ENTRY_POINT(field, Type, EntryPoint) \
    const Type& EntryPoint() {                                   \
        return TarrowKernels().field;                            \
    }
TARROW_BLEND_TABLES(TARROW_DEFINE_TABLE_ENTRY_POINT)
#undef TARROW_DEFINE_TABLE_ENTRY_POINT
