#include "rendergraph/core/BNBufferCache.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#endif

namespace {

std::atomic<uint64_t> totalBytes{0};

// Set once the thread's cache is gone, so that a context that ends during
// the thread's exit frees its buffers instead of reaching a destroyed cache.
thread_local bool threadEnding = false;

struct ThreadCache {
    BNBufferCache cache;
    ~ThreadCache() { threadEnding = true; }  // before the cache's own destructor
};

// Frees a buffer that is not in any cache.
void release(void* data, uint64_t capacity) {
    ASAN_UNPOISON_MEMORY_REGION(data, capacity);
    std::free(data);
}

}  // namespace

BNBufferCache* BNBufferCache::current() {
    if (threadEnding) return nullptr;
    thread_local ThreadCache threadCache;
    return &threadCache.cache;
}

uint64_t BNBufferCache::totalByteCount() {
    return totalBytes.load(std::memory_order_relaxed);
}

BNBufferCache::~BNBufferCache() {
    clear();
}

void* BNBufferCache::take(uint64_t size, uint64_t* capacity) {
    auto best = buffers_.end();
    for (auto it = buffers_.begin(); it != buffers_.end(); ++it)
        if (it->capacity >= size && it->capacity - size <= size / 8 &&
            (best == buffers_.end() || it->capacity < best->capacity))
            best = it;
    if (best == buffers_.end()) return nullptr;
    Buffer taken = *best;
    buffers_.erase(best);
    bytes_ -= taken.capacity;
    totalBytes.fetch_sub(taken.capacity, std::memory_order_relaxed);
    ASAN_UNPOISON_MEMORY_REGION(taken.data, taken.capacity);
    *capacity = taken.capacity;
    return taken.data;
}

void BNBufferCache::give(void* buffer, uint64_t capacity) {
    if (!buffer) return;
    if (capacity < kMinimumBytes || capacity > kMaxBytesPerThread) {
        release(buffer, capacity);
        return;
    }
    while (buffers_.size() >= kMaxBuffersPerThread || bytes_ + capacity > kMaxBytesPerThread)
        evictOldest();
    // Count the buffer in the total before keeping it, making room among
    // this thread's buffers while the total would pass its bound.
    uint64_t total = totalBytes.load(std::memory_order_relaxed);
    for (;;) {
        if (total + capacity > kMaxBytes) {
            if (buffers_.empty()) {
                release(buffer, capacity);
                return;
            }
            evictOldest();
            total = totalBytes.load(std::memory_order_relaxed);
        } else if (totalBytes.compare_exchange_weak(total, total + capacity,
                                                    std::memory_order_relaxed)) {
            break;
        }
    }
    ASAN_POISON_MEMORY_REGION(buffer, capacity);
    buffers_.push_back({buffer, capacity});
    bytes_ += capacity;
}

void BNBufferCache::evictOldest() {
    Buffer oldest = buffers_.front();
    buffers_.erase(buffers_.begin());
    bytes_ -= oldest.capacity;
    totalBytes.fetch_sub(oldest.capacity, std::memory_order_relaxed);
    release(oldest.data, oldest.capacity);
}

void BNBufferCache::clear() {
    while (!buffers_.empty())
        evictOldest();
}
