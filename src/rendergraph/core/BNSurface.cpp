#include "rendergraph/core/BNSurface.h"

#include "geometry/VKGeometryStrings.h"
#include "kernels/KernelRuntime.h"
#include "platform/core/Log.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// Release callbacks can hold other surfaces (a view holds its parent, a
// relabelled surface its input), so a long chain of them would release
// recursively. The outermost release on a thread runs the callbacks that
// the releases inside it queue, one after another.
thread_local std::vector<std::pair<BNSurface::ReleaseCallback, float*>>* pendingReleases = nullptr;

void runRelease(BNSurface::ReleaseCallback callback, float* data) {
    if (!callback) return;
    if (pendingReleases) {
        pendingReleases->emplace_back(std::move(callback), data);
        return;
    }
    std::vector<std::pair<BNSurface::ReleaseCallback, float*>> queue;
    pendingReleases = &queue;
    queue.emplace_back(std::move(callback), data);
    while (!queue.empty()) {
        auto [next, pointer] = std::move(queue.back());
        queue.pop_back();
        next(pointer);
        next = nullptr;  // its captures go here, queueing further releases
    }
    pendingReleases = nullptr;
}

}  // namespace

uint64_t BNPixelCount(double points, double scaleFactor) {
    double pixels = points * scaleFactor;
    if (!(pixels > 0)) return 0;
    constexpr double kLimit = 9007199254740992.0;  // 2^53: far above any image, still exact
    return pixels >= kLimit ? static_cast<uint64_t>(kLimit) : static_cast<uint64_t>(pixels);
}

BNSurface::BNSurface(VKRect rect, double scaleFactor, BNChannelMask channels, float* data,
                     uint64_t bytesPerRow, ReleaseCallback releaseCallback, Memory memory)
    : rect_(rect),
      scaleFactor_(scaleFactor),
      channels_(channels),
      data_(data),
      bytesPerRow_(bytesPerRow),
      releaseCallback_(std::move(releaseCallback)),
      memory_(memory) {}

BNSurface::~BNSurface() {
    if (subsurfaceCount_ != 0) {
        lf::log("*** Deallocated while subsurfaces still exist!");
        std::abort();
    }
    runRelease(std::move(releaseCallback_), data_);
}

BNSurfacePtr BNSurface::create(VKRect rect, double scaleFactor, BNChannelMask channels) {
    uint64_t stride = bytesPerRowForRect(rect, scaleFactor, channels);
    uint64_t rows = BNPixelCount(VKRectGetHeight(rect), scaleFactor);
    if (rows != 0 && stride > UINT64_MAX / rows) return nullptr;
    void* memory = TarrowAllocAligned(rows * stride);
    if (!memory) return nullptr;
    return std::make_shared<BNSurface>(
        rect, scaleFactor, channels, static_cast<float*>(memory), stride,
        [](float* data) { std::free(data); }, Memory::owned);
}

BNSurfacePtr BNSurface::emptySurface() {
    return std::make_shared<BNSurface>(VKRectNull, 1.0, 0, nullptr, 0, [](float*) {});
}

uint64_t BNSurface::bytesPerRowForRect(VKRect rect, double scaleFactor, BNChannelMask channels) {
    double raw = BNSamplesPerPixel(channels) * VKRectGetWidth(rect) * scaleFactor * 4.0;
    uint64_t stride = BNPixelCount(raw, 1.0);
    uint64_t line = TarrowCacheLineSize();
    stride = (stride + line - 1) / line * line;
    while (stride == 0 || (stride & (stride - 1)) == 0)
        stride += line;
    return stride;
}

uint64_t BNSurface::widthInPixels() const {
    return BNPixelCount(VKRectGetWidth(rect_), scaleFactor_);
}

uint64_t BNSurface::heightInPixels() const {
    return BNPixelCount(VKRectGetHeight(rect_), scaleFactor_);
}

BNSurfacePtr BNSurface::subsurfaceWithRect(VKRect rect) {
    if (VKRectEqualToRect(rect, rect_)) return shared_from_this();
    if (!VKRectContainsRect(rect_, rect)) {
        lf::log("Requested rect ({}) is not within bounds ({})", NSStringFromVKRect(rect),
                NSStringFromVKRect(rect_));
        return nullptr;
    }
    auto scaled = [&](VKRect r) {
        return VKRectIntegral(VKRectMake(r.origin.x * scaleFactor_, r.origin.y * scaleFactor_,
                                         r.size.width * scaleFactor_,
                                         r.size.height * scaleFactor_));
    };
    VKRect inner = scaled(rect), outer = scaled(rect_);
    auto dx = static_cast<uint64_t>(VKRectGetMinX(inner) - VKRectGetMinX(outer));
    auto dy = static_cast<uint64_t>(VKRectGetMinY(inner) - VKRectGetMinY(outer));
    auto* start = reinterpret_cast<float*>(reinterpret_cast<uint8_t*>(data_) + dy * bytesPerRow_ +
                                           dx * samplesPerPixel() * sizeof(float));
    incrementSubsurfaceCount();
    return std::make_shared<BNSurface>(
        rect, scaleFactor_, channels_, start, bytesPerRow_,
        [parent = shared_from_this()](float*) { parent->decrementSubsurfaceCount(); });
}

std::string BNSurface::description() const {
    return fmt::format(
        "<BNSurface: {}, rect: {}, scale: {:g}, channels: {}, data: {}, bytesPerRow: {}>",
        static_cast<const void*>(this), NSStringFromVKRect(rect_), scaleFactor_,
        BNChannelMaskLetters(channels_), static_cast<const void*>(data_), bytesPerRow_);
}

void BNSurface::debugDumpWithName(const std::string& name) const {
    const char* home = std::getenv("HOME");
    if (!home) return;
    int n = samplesPerPixel();
    uint64_t rowPixels = n ? bytesPerRow_ / (n * 4) : 0;
    std::string path =
        fmt::format("{}/BNDebug/{}_{}_{}_{}_{:x}.raw", home, name, static_cast<const void*>(this),
                    static_cast<int>(rowPixels), static_cast<int>(heightInPixels()), channels_);
    std::string temporary = path + ".tmp";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const auto* bytes = reinterpret_cast<const uint8_t*>(data_);
    uint64_t total = bytesPerRow_ * heightInPixels(), written = 0;
    while (written < total) {
        ssize_t n = ::write(fd, bytes + written, total - written);
        if (n <= 0) break;
        written += static_cast<uint64_t>(n);
    }
    bool complete = written == total && ::fsync(fd) == 0;
    ::close(fd);
    if (complete && ::rename(temporary.c_str(), path.c_str()) == 0) return;
    ::unlink(temporary.c_str());
}
