#pragma once
// BNScratchBuffer: an array borrowed from a rendering context's pool for the
// length of one render step and given back when the buffer goes. The
// contents start undefined, as all pool memory. Used on the render call's
// thread only; the context must outlive the buffer.

#include "rendergraph/core/BNRenderingContext.h"

#include <cstddef>
#include <cstdint>
#include <limits>

template <typename T>
class BNScratchBuffer {
public:
    // `count` elements, or no buffer (isValid() false) when the pool cannot
    // lend that much.
    BNScratchBuffer(BNRenderingContext& context, size_t count) : context_(context), count_(count) {
        if (count <= std::numeric_limits<uint64_t>::max() / sizeof(T))
            data_ = static_cast<T*>(context.allocateMemoryWithSize(count * sizeof(T)));
    }
    ~BNScratchBuffer() {
        if (data_) context_.releaseMemory(data_);
    }
    BNScratchBuffer(const BNScratchBuffer&) = delete;
    BNScratchBuffer& operator=(const BNScratchBuffer&) = delete;

    bool isValid() const { return data_ != nullptr; }
    T* data() const { return data_; }
    size_t size() const { return count_; }
    T& operator[](size_t index) const { return data_[index]; }

private:
    BNRenderingContext& context_;
    size_t count_;
    T* data_ = nullptr;
};
