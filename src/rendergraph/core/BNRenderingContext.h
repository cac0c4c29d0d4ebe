#pragma once
// BNRenderingContext: the memory pool and surface factory of one render
// call, and the settings nodes read while rendering (colour profile,
// anti-aliasing grid of the path rasteriser).
//
// The pool keeps up to 100 cache-line aligned buffers, sizes rounded up to
// 4096 bytes, sorted by size; a request takes the smallest free buffer that
// is large enough, so a call that makes and drops many surfaces of similar
// sizes reaches outside the pool about once per distinct size. There it
// takes a buffer from the thread's cache of earlier calls (BNBufferCache.h)
// or else from the system. Buffers go back to the pool when released and
// leave it through reclaimUnusedMemory (at the end of every call) or with
// the context, to the cache of the thread they leave on, which frees what
// it does not keep. Lent memory is not cleared: a node writes every sample
// of its output.
//
// Every surface the context hands out keeps it alive, so the pool outlives
// the surfaces of its call. A context is used by one thread only.

#include "geometry/VKGeometry.h"
#include "rendergraph/core/BNColorProfile.h"
#include "rendergraph/core/BNSurface.h"

#include <array>
#include <cstdint>
#include <memory>

class BNRenderingContext : public std::enable_shared_from_this<BNRenderingContext> {
public:
    static constexpr size_t kPoolSlots = 100;
    static constexpr uint64_t kPoolGranule = 4096;

    static std::shared_ptr<BNRenderingContext> create();
    ~BNRenderingContext();
    BNRenderingContext(const BNRenderingContext&) = delete;
    BNRenderingContext& operator=(const BNRenderingContext&) = delete;

    // A buffer of at least `size` bytes, or null when no memory can be had
    // (never a shorter buffer). Contents undefined.
    void* allocateMemoryWithSize(uint64_t size);
    void releaseMemory(void* memory);
    // Frees every pooled buffer that is not lent out.
    void reclaimUnusedMemory();

    // A surface over pooled memory, or null when the memory cannot be had.
    BNSurfacePtr surfaceWithRect(VKRect rect, double scaleFactor, BNChannelMask channels);

    const std::shared_ptr<const BNColorProfile>& colorProfile() const { return colorProfile_; }
    void setColorProfile(std::shared_ptr<const BNColorProfile> profile) {
        colorProfile_ = std::move(profile);
    }
    VKSize vectorAntialiasingAmount() const { return vectorAntialiasingAmount_; }
    void setVectorAntialiasingAmount(VKSize amount) { vectorAntialiasingAmount_ = amount; }

    // Buffers taken from outside the pool so far (the thread's cache or the
    // system allocator; pooled or not).
    uint64_t systemAllocationCount() const { return systemAllocations_; }

private:
    BNRenderingContext() = default;

    struct Slot {
        uint64_t size = 0;  // 0 for an empty slot
        bool inUse = false;
        void* data = nullptr;
    };

    void* allocateFromSystem(uint64_t size);
    // A buffer of `size` bytes or a little more for a pool slot (its
    // capacity in `capacity`), from the thread's cache or the system.
    void* allocateForPool(uint64_t size, uint64_t* capacity);
    // Hands a pool buffer on to the thread's cache (frees it while the
    // thread ends).
    static void leavePool(const Slot& slot);

    std::array<Slot, kPoolSlots> pool_{};
    uint64_t systemAllocations_ = 0;
    VKSize vectorAntialiasingAmount_{16.0, 16.0};
    std::shared_ptr<const BNColorProfile> colorProfile_;
};
