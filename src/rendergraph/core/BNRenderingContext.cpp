#include "rendergraph/core/BNRenderingContext.h"

#include "kernels/KernelRuntime.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNBufferCache.h"

#include <algorithm>
#include <cstdlib>

std::shared_ptr<BNRenderingContext> BNRenderingContext::create() {
    return std::shared_ptr<BNRenderingContext>(new BNRenderingContext);
}

BNRenderingContext::~BNRenderingContext() {
    for (const Slot& slot : pool_)
        leavePool(slot);
}

void* BNRenderingContext::allocateFromSystem(uint64_t size) {
    void* memory = TarrowAllocAligned(size);
    if (memory) ++systemAllocations_;
    return memory;
}

void* BNRenderingContext::allocateForPool(uint64_t size, uint64_t* capacity) {
    if (BNBufferCache* cache = BNBufferCache::current()) {
        if (void* memory = cache->take(size, capacity)) {
            ++systemAllocations_;
            return memory;
        }
    }
    *capacity = size;
    return allocateFromSystem(size);
}

void BNRenderingContext::leavePool(const Slot& slot) {
    if (!slot.data) return;
    if (BNBufferCache* cache = BNBufferCache::current())
        cache->give(slot.data, slot.size);
    else
        std::free(slot.data);
}

void* BNRenderingContext::allocateMemoryWithSize(uint64_t size) {
    // Reuse: the slots are sorted by size and empty slots have size 0, so
    // the first free fit is the smallest free buffer that is large enough.
    for (Slot& slot : pool_) {
        if (!slot.inUse && slot.data && slot.size >= size) {
            slot.inUse = true;
            return slot.data;
        }
    }
    auto empty =
        std::find_if(pool_.begin(), pool_.end(), [](const Slot& slot) { return slot.size == 0; });
    if (empty == pool_.end()) {
        lf::log("No more room in the pool");
        return allocateFromSystem(size);
    }
    if (size > UINT64_MAX - (kPoolGranule - 1)) {
        lf::log("Not big enough of a buffer!");
        return nullptr;
    }
    // At least one granule, so that a slot with a buffer never has size 0.
    uint64_t rounded =
        std::max<uint64_t>((size + kPoolGranule - 1) / kPoolGranule, 1) * kPoolGranule;
    uint64_t capacity = 0;
    void* memory = allocateForPool(rounded, &capacity);
    if (!memory) return nullptr;
    *empty = Slot{capacity, true, memory};
    std::sort(pool_.begin(), pool_.end(),
              [](const Slot& a, const Slot& b) { return a.size < b.size; });
    return memory;
}

void BNRenderingContext::releaseMemory(void* memory) {
    if (!memory) return;
    for (Slot& slot : pool_) {
        if (slot.data == memory) {
            slot.inUse = false;
            return;
        }
    }
    std::free(memory);  // served outside the pool
}

void BNRenderingContext::reclaimUnusedMemory() {
    for (Slot& slot : pool_) {
        if (slot.inUse || !slot.data) continue;
        leavePool(slot);
        slot = Slot{};
    }
}

BNSurfacePtr BNRenderingContext::surfaceWithRect(VKRect rect, double scaleFactor,
                                                 BNChannelMask channels) {
    uint64_t stride = BNSurface::bytesPerRowForRect(rect, scaleFactor, channels);
    uint64_t rows = BNPixelCount(VKRectGetHeight(rect), scaleFactor);
    if (rows != 0 && stride > UINT64_MAX / rows) return nullptr;
    void* memory = allocateMemoryWithSize(stride * rows);
    if (!memory) return nullptr;
    return std::make_shared<BNSurface>(
        rect, scaleFactor, channels, static_cast<float*>(memory), stride,
        [context = shared_from_this()](float* data) { context->releaseMemory(data); },
        BNSurface::Memory::owned);
}
