#pragma once
// BNBufferCache: large pool buffers kept between render calls, per thread.
//
// Every render call has a rendering context of its own, and a tile is one
// call, so without a cache every tile took its buffers from the system
// afresh and paid a page fault for each page it touched. The contexts give
// their buffers to the cache of the thread they end on, and take from the
// cache of the thread they render on before asking the system; a worker
// that renders tile after tile then reuses memory that is already mapped.
//
// Bounds. Only buffers of at least kMinimumBytes are kept (smaller ones
// cost little to fault in). Each thread keeps at most kMaxBuffersPerThread
// buffers and kMaxBytesPerThread bytes, and all threads together at most
// kMaxBytes; a buffer that does not fit pushes out the thread's least
// recently given buffers, or is freed itself when it is larger than the
// bounds allow. A thread's buffers are freed when the thread ends.
//
// Threads. Each thread reaches only its own cache (no locks); the total
// across threads is one atomic count. A buffer is lent to one taker at a
// time: once taken it leaves the cache until it is given back.

#include <cstddef>
#include <cstdint>
#include <vector>

class BNBufferCache {
public:
    static constexpr uint64_t kMinimumBytes = uint64_t{64} << 10;
    static constexpr size_t kMaxBuffersPerThread = 16;
    static constexpr uint64_t kMaxBytesPerThread = uint64_t{64} << 20;
    static constexpr uint64_t kMaxBytes = uint64_t{256} << 20;

    // The calling thread's cache; null while the thread is ending.
    static BNBufferCache* current();

    // The smallest kept buffer of at least `size` bytes and not much larger
    // (an eighth more at most), with its capacity in `capacity`; null when
    // none fits. The buffer leaves the cache.
    void* take(uint64_t size, uint64_t* capacity);
    // Keeps `buffer`, `capacity` bytes from TarrowAllocAligned, or frees it
    // (see Bounds). `buffer` must not be used afterwards.
    void give(void* buffer, uint64_t capacity);
    // Frees every kept buffer.
    void clear();

    size_t bufferCount() const { return buffers_.size(); }
    uint64_t byteCount() const { return bytes_; }
    // Bytes kept by all threads together.
    static uint64_t totalByteCount();

    BNBufferCache() = default;
    ~BNBufferCache();
    BNBufferCache(const BNBufferCache&) = delete;
    BNBufferCache& operator=(const BNBufferCache&) = delete;

private:
    struct Buffer {
        void* data;
        uint64_t capacity;
    };

    // Frees the least recently given buffer.
    void evictOldest();

    std::vector<Buffer> buffers_;  // least recently given first
    uint64_t bytes_ = 0;
};
