#include "kernels/KernelRuntime.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

uint64_t probeCacheLineSize() {
    long line = sysconf(_SC_LEVEL1_DCACHE_LINESIZE);
    if (line > 0) return static_cast<uint64_t>(line);
    // Some kernels answer 0 through sysconf but still publish the value.
    std::ifstream file("/sys/devices/system/cpu/cpu0/cache/index0/coherency_line_size");
    uint64_t fromFile = 0;
    if (file >> fromFile && fromFile > 0) return fromFile;
    return 64;
}

uint64_t nextPowerOfTwo(uint64_t value) {
    uint64_t power = 1;
    while (power < value)
        power <<= 1;
    return power;
}

}  // namespace

uint64_t TarrowCacheLineSize() {
    static const uint64_t size = probeCacheLineSize();
    return size;
}

void* TarrowAllocAligned(uint64_t size) {
    const uint64_t line = TarrowCacheLineSize();
    if (line == 1) return std::malloc(size);
    // posix_memalign needs a power of two that is a multiple of sizeof(void*).
    uint64_t alignment = nextPowerOfTwo(line);
    if (alignment < 8) alignment = 8;
    void* block = nullptr;
    if (posix_memalign(&block, alignment, size) != 0) return nullptr;
    return block;
}

void TarrowError(const char* format, ...) {
    char message[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    std::fprintf(stderr, "*** Tarrow Error: %s\nSet a breakpoint on TarrowError to debug.\n",
                 message);
}

const uint8_t* TarrowGetNoiseTable() {
    // A linear congruential generator with a fixed seed; bits 16 to 23 of
    // each state are the byte (the low bits of such a generator repeat).
    static const struct Table {
        uint8_t bytes[kTarrowNoiseTableSize];
        Table() {
            uint32_t state = 0x2545F491u;
            for (uint8_t& byte : bytes) {
                state = state * 1103515245u + 12345u;
                byte = static_cast<uint8_t>(state >> 16);
            }
        }
    } table;
    return table.bytes;
}
