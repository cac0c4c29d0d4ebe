#include "platform/core/SystemInfo.h"

#include <malloc.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace lf {

int activeProcessorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int count = CPU_COUNT(&set);
        if (count > 0) return count;
    }
    return processorCount();
}

int processorCount() {
    long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<int>(count) : 1;
}

size_t cacheLineSize() {
    static const size_t size = [] {
        long line = sysconf(_SC_LEVEL1_DCACHE_LINESIZE);
        return line > 0 ? static_cast<size_t>(line) : size_t{64};
    }();
    return size;
}

void raiseOpenFileLimit() {
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur >= files.rlim_max) return;
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
}

void releaseFreedMemory() {
    ::malloc_trim(0);
}

void keepFreedMemoryReturnable() {
    // The allocator's thresholds move on their own: a large block freed
    // raises the size from which blocks are mapped alone (up to 32 MiB) and
    // the trim threshold to twice that, so each of the arenas (up to eight
    // a processor) keeps up to 64 MiB at its free end that malloc_trim
    // cannot give back. Fixed thresholds keep that end small; the largest
    // blocks, mapped alone, go back as they are freed.
    ::mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    ::mallopt(M_TRIM_THRESHOLD, 1024 * 1024);
}

}  // namespace lf
