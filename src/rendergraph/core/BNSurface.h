#pragma once
// BNSurface: the pixel container of the render graph. A rectangle in points
// at a scale factor (pixels per point), with the interleaved 32-bit float
// samples of the channels of its mask (BNChannel.h).
//
// Pixel (x, y), x and y counted in pixels from the rectangle's minimum
// corner, has its sample k at byte offset y * bytesPerRow + (x * n + k) * 4
// from data(), n the samples per pixel. Row 0 is at the rectangle's minimum
// y. Width and height in pixels are the rectangle's size times the scale,
// truncated.
//
// A surface does not allocate by itself: it holds a data pointer and a
// release callback that runs once, with the pointer, when the surface goes.
// So one class serves pooled memory, heap memory, zero-copy views into
// another surface and the empty surface. A surface "owns its memory" when no
// other surface shows the same pixels through it: views and relabelled
// surfaces do not, so nothing may write into them in place.
//
// A surface belongs to one render call and is used on that call's thread.

#include "geometry/VKGeometry.h"
#include "rendergraph/core/BNChannel.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class BNSurface;
using BNSurfacePtr = std::shared_ptr<BNSurface>;

class BNSurface : public std::enable_shared_from_this<BNSurface> {
public:
    using ReleaseCallback = std::function<void(float* data)>;
    enum class Memory { borrowed, owned };

    // Stores every value unchanged.
    BNSurface(VKRect rect, double scaleFactor, BNChannelMask channels, float* data,
              uint64_t bytesPerRow, ReleaseCallback releaseCallback,
              Memory memory = Memory::borrowed);
    ~BNSurface();
    BNSurface(const BNSurface&) = delete;
    BNSurface& operator=(const BNSurface&) = delete;

    // A surface over its own heap memory (rows by the stride rule), or null
    // when the memory cannot be had.
    static BNSurfacePtr create(VKRect rect, double scaleFactor, BNChannelMask channels);
    // The null rectangle, scale 1, no channels, no data.
    static BNSurfacePtr emptySurface();

    // Row stride in bytes: n * width * scale * 4 bytes (n samples per pixel),
    // rounded up to whole cache lines, plus a line while the result is a
    // power of two or zero, so large power-of-two images do not put every
    // row into the same cache sets.
    static uint64_t bytesPerRowForRect(VKRect rect, double scaleFactor, BNChannelMask channels);

    // A zero-copy view of part of the surface: the surface itself when
    // `rect` is its rectangle, null (with a log line) when `rect` is not
    // inside it. Writing into the view writes into this surface; the view
    // keeps this surface alive.
    BNSurfacePtr subsurfaceWithRect(VKRect rect);

    VKRect rect() const { return rect_; }
    double scaleFactor() const { return scaleFactor_; }
    BNChannelMask channels() const { return channels_; }
    int samplesPerPixel() const { return BNSamplesPerPixel(channels_); }
    float* data() const { return data_; }
    uint64_t bytesPerRow() const { return bytesPerRow_; }
    uint64_t widthInPixels() const;
    uint64_t heightInPixels() const;
    bool ownsMemory() const { return memory_ == Memory::owned; }

    // The first sample of pixel row y.
    float* row(uint64_t y) const {
        return reinterpret_cast<float*>(reinterpret_cast<uint8_t*>(data_) + y * bytesPerRow_);
    }
    // Sample k of pixel (x, y).
    float& sample(uint64_t x, uint64_t y, int k) const { return row(y)[x * samplesPerPixel() + k]; }

    int subsurfaceCount() const { return subsurfaceCount_; }
    void incrementSubsurfaceCount() { ++subsurfaceCount_; }
    void decrementSubsurfaceCount() { --subsurfaceCount_; }

    std::string description() const;
    // Writes the raw samples, padding included, atomically to
    // $HOME/BNDebug/<name>_<address>_<row length>_<height>_<mask>.raw. The
    // folder is not created and a failed write is not reported.
    void debugDump() const { debugDumpWithName("image"); }
    void debugDumpWithName(const std::string& name) const;

private:
    VKRect rect_;
    double scaleFactor_;
    BNChannelMask channels_;
    float* data_;
    uint64_t bytesPerRow_;
    ReleaseCallback releaseCallback_;
    Memory memory_;
    std::atomic<int> subsurfaceCount_{0};
};

// Pixels along one axis for a length in points at a scale: the product
// truncated; 0 for a negative or not-a-number product, and capped far above
// any real image so that the conversion stays defined.
uint64_t BNPixelCount(double points, double scaleFactor);
