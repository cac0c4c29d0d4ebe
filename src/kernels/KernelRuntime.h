#pragma once
// The pixel-kernel library's runtime services: the processor's cache-line
// size, cache-line aligned allocation, the library's error report and the
// shared noise table read by the noise and dithering kernels.
//
// Everything here is safe to call from any thread. The cache-line size and
// the noise table are made once, on first use, and never change afterwards.

#include <cstddef>
#include <cstdint>

// Size in bytes of the noise table returned by TarrowGetNoiseTable.
inline constexpr uint32_t kTarrowNoiseTableSize = 16384;

// The processor's level-1 data cache-line size in bytes, probed once. Falls
// back to 64 when the system does not tell.
uint64_t TarrowCacheLineSize();

// A block of `size` bytes aligned to the cache line, or null when memory runs
// out. With a cache line of 1 byte this is plain malloc; line sizes below 8
// align to 8, and a line size that is not a power of two aligns to the next
// power of two. Free the block with free().
void* TarrowAllocAligned(uint64_t size);

// Writes "*** Tarrow Error: <message>\nSet a breakpoint on TarrowError to
// debug.\n" to standard error, the message formatted printf-style. Kernels
// report arguments they cannot work with here (and then write nothing).
void TarrowError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The shared table of kTarrowNoiseTableSize pseudo-random bytes. The values
// are fixed (a seeded generator), so noise and dither are the same on every
// machine and in every run. The noise kernels read the bytes as signed, the
// gradient dither as unsigned.
const uint8_t* TarrowGetNoiseTable();
