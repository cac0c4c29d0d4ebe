#pragma once
// What the machine offers: processors this process may run on, and the data
// cache line size; the most files it may keep open; and the one way to hand
// memory back to it.

#include <cstddef>

namespace lf {

// Processors in this process's affinity mask (at least 1); read anew on every
// call, as the mask may change while the program runs.
int activeProcessorCount();

// All online processors (at least 1).
int processorCount();

// Size in bytes of a level-1 data cache line (64 when the system does not say).
size_t cacheLineSize();

// Gives the memory that the allocator keeps after frees back to the system
// (malloc_trim): the whole free pages of every arena, and the free end of
// the main one; the free end of another thread's arena stays, up to the
// allocator's trim threshold. Costs a walk of the free lists: call it after
// large work ends, not in a loop. Any thread.
void releaseFreedMemory();

// For a process that keeps many files open at once: raises its limit of
// open files to the most it may have (the soft limit to the hard one), as
// far as the system lets it. Call once, first thing.
void raiseOpenFileLimit();

// For a process that runs long and does large work now and then: makes the
// free end of every arena go back to the system once it passes 1 MiB, so
// that releaseFreedMemory leaves little behind. Costs a few per cent on the
// largest exports. Call once, first thing, before other threads start.
void keepFreedMemoryReturnable();

}  // namespace lf
