#include "TestNodes.h"
#include "kernels/KernelRuntime.h"
#include "rendergraph/core/BNBufferCache.h"
#include "rendergraph/core/BNRenderer.h"

#include <gtest/gtest.h>

#include <barrier>
#include <set>
#include <thread>
#include <vector>

using namespace rendergraph_test;

namespace {

constexpr uint64_t kKiB = 1024, kMiB = 1024 * 1024;

void* allocate(uint64_t size) {
    return TarrowAllocAligned(size);
}

}  // namespace

TEST(BNBufferCache, LendsTheSmallestKeptBufferThatFitsAndNoBufferTwice) {
    BNBufferCache cache;
    void* small = allocate(128 * kKiB);
    void* middle = allocate(256 * kKiB);
    void* large = allocate(1 * kMiB);
    cache.give(large, 1 * kMiB);
    cache.give(middle, 256 * kKiB);
    cache.give(small, 128 * kKiB);
    EXPECT_EQ(cache.bufferCount(), 3u);
    EXPECT_EQ(cache.byteCount(), 1 * kMiB + 384 * kKiB);

    uint64_t capacity = 0;
    EXPECT_EQ(cache.take(100 * kKiB, &capacity), nullptr) << "128 KiB is too large for 100 KiB";
    EXPECT_EQ(cache.take(240 * kKiB, &capacity), middle);
    EXPECT_EQ(capacity, 256 * kKiB);
    EXPECT_EQ(cache.take(240 * kKiB, &capacity), nullptr) << "lent out already";
    EXPECT_EQ(cache.take(128 * kKiB, &capacity), small);
    EXPECT_EQ(cache.take(2 * kMiB, &capacity), nullptr);
    EXPECT_EQ(cache.bufferCount(), 1u);
    std::free(middle);
    std::free(small);
}

TEST(BNBufferCache, KeepsLargeBuffersWithinItsBoundsOldestOut) {
    BNBufferCache cache;
    cache.give(allocate(BNBufferCache::kMinimumBytes - 4096), BNBufferCache::kMinimumBytes - 4096);
    cache.give(allocate(BNBufferCache::kMaxBytesPerThread + 4096),
               BNBufferCache::kMaxBytesPerThread + 4096);
    EXPECT_EQ(cache.bufferCount(), 0u) << "too small or too large to keep";

    std::vector<void*> given;
    for (size_t i = 0; i < BNBufferCache::kMaxBuffersPerThread + 4; ++i) {
        given.push_back(allocate(64 * kKiB));
        cache.give(given.back(), 64 * kKiB);
    }
    EXPECT_EQ(cache.bufferCount(), BNBufferCache::kMaxBuffersPerThread);
    std::set<void*> lent;
    uint64_t capacity = 0;
    while (void* buffer = cache.take(64 * kKiB, &capacity))
        lent.insert(buffer);
    EXPECT_EQ(lent, std::set<void*>(given.begin() + 4, given.end())) << "the four oldest freed";
    for (void* buffer : lent)
        cache.give(buffer, 64 * kKiB);

    // Bytes: eight buffers of 8 MiB make 64 MiB; a ninth pushes the oldest out.
    for (int i = 0; i < 9; ++i)
        cache.give(allocate(8 * kMiB), 8 * kMiB);
    EXPECT_LE(cache.byteCount(), BNBufferCache::kMaxBytesPerThread);
    EXPECT_EQ(cache.bufferCount(), 8u);
    cache.clear();
    EXPECT_EQ(cache.bufferCount(), 0u);
    EXPECT_EQ(cache.byteCount(), 0u);
}

TEST(BNBufferCache, ConcurrentThreadsKeepTheirTotalWithinItsBound) {
    // Every thread offers its cache more than it keeps; together they offer
    // twice the process-wide bound.
    constexpr int kThreads = 8;
    constexpr uint64_t kBuffer = 4 * kMiB;
    const uint64_t before = BNBufferCache::totalByteCount();
    std::barrier kept(kThreads + 1), checked(kThreads + 1);
    std::vector<uint64_t> bytes(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            BNBufferCache& cache = *BNBufferCache::current();
            for (uint64_t offered = 0; offered < 2 * BNBufferCache::kMaxBytes / kThreads;
                 offered += kBuffer)
                cache.give(allocate(kBuffer), kBuffer);
            bytes[static_cast<size_t>(t)] = cache.byteCount();
            kept.arrive_and_wait();
            checked.arrive_and_wait();  // the thread's cache is freed as it ends
        });
    }
    kept.arrive_and_wait();
    uint64_t sum = 0;
    for (uint64_t b : bytes)
        sum += b;
    EXPECT_LE(BNBufferCache::totalByteCount(), BNBufferCache::kMaxBytes);
    EXPECT_EQ(BNBufferCache::totalByteCount(), before + sum);
    checked.arrive_and_wait();
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(BNBufferCache::totalByteCount(), before);
}

// A render call reuses the memory of an earlier call on its thread, but only
// once the earlier call's surfaces are gone.
TEST(BNRenderingContext, LaterCallsReuseOnlyReleasedBuffers) {
    BNBufferCache::current()->clear();
    VKRect rect = VKRectMake(0, 0, 123, 77);  // 150 KiB of RGBA
    auto first = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true, nullptr, 1);
    auto second = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true, nullptr, 2);

    BNSurfacePtr kept = BNRenderer().renderNode(first, rect, 1.0);
    ASSERT_TRUE(kept);
    std::vector<float> keptSamples = samplesOf(*kept);
    const float* keptData = kept->data();
    BNSurfacePtr other = BNRenderer().renderNode(second, rect, 1.0);
    ASSERT_TRUE(other);
    const float* otherData = other->data();
    EXPECT_NE(otherData, keptData);
    EXPECT_EQ(samplesOf(*kept), keptSamples) << "a surface still alive was written over";

    // Each call's context goes with its last surface, and the buffer to this
    // thread's cache.
    other.reset();
    kept.reset();
    EXPECT_EQ(BNBufferCache::current()->bufferCount(), 2u);
    BNSurfacePtr again = BNRenderer().renderNode(first, rect, 1.0);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->data() == keptData || again->data() == otherData);
    EXPECT_EQ(samplesOf(*again), keptSamples);
    EXPECT_EQ(BNBufferCache::current()->bufferCount(), 1u);
}
