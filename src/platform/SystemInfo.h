#pragma once
// What the machine offers: processors this process may run on, and the data
// cache line size.

#include <cstddef>

namespace lf {

// Processors in this process's affinity mask (at least 1); read anew on every
// call, as the mask may change while the program runs.
int activeProcessorCount();

// All online processors (at least 1).
int processorCount();

// Size in bytes of a level-1 data cache line (64 when the system does not say).
size_t cacheLineSize();

}  // namespace lf
