#include "DocumentRender.h"

#include "compositing/QFRGBAConversion.h"
#include "compositing/QFTilingHelper.h"
#include "platform/AtomicFile.h"
#include "platform/DispatchSemaphore.h"
#include "platform/ImageEncoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

std::optional<RGBAImage> RenderNodeTiled(const BNRenderNodePtr& node, VKRect rect,
                                         const RenderOptions& options) {
    RGBAImage image;
    bool succeeded = false;
    lf::DispatchSemaphore done(0);
    auto helper = QFTilingHelper::create(options.tileSize, nullptr);
    helper->renderNode(
        node, rect, options.scale,
        [&, done](const uint8_t* bytes, uint64_t width, uint64_t height, uint64_t bytesPerRow,
                  bool finished, double, bool allSucceeded) mutable {
            if (!finished) return;
            image.width = width;
            image.height = height;
            image.pixels.assign(bytes, bytes + bytesPerRow * height);
            succeeded = allSucceeded;
            done.signal();
        });
    done.wait();
    if (!succeeded) return std::nullopt;
    return image;
}

std::optional<RGBAImage> RenderNodeWhole(const BNRenderNodePtr& node, VKRect rect, double scale) {
    BNSurfacePtr surface =
        QFRenderNodeWithColorProfile(node, BNColorProfile::mainDisplayProfile(), rect, scale);
    if (!surface) return std::nullopt;
    RGBAImage image;
    QFCopyUnpremultipliedRGBA(
        *surface, true,
        [&](const uint8_t* bytes, uint64_t width, uint64_t height, uint64_t bytesPerRow) {
            image.width = width;
            image.height = height;
            image.pixels.assign(bytes, bytes + bytesPerRow * height);
        });
    return image;
}

VKRect DocumentRect(const OMPSDDocument& document) {
    return VKRectMake(0, 0, document.width(), document.height());
}

std::shared_ptr<OMPSDLayer> FindLayerNamed(const OMPSDDocument& document, const std::string& name) {
    for (const auto& layer : document.allLayers())
        if (layer->name() == name) return layer;
    return nullptr;
}

namespace {

bool fail(std::string* error, std::string reason) {
    if (error) *error = std::move(reason);
    return false;
}

// The whole plane as 8-bit samples, 16-bit ones rounded to the nearest
// 8-bit level.
std::optional<std::vector<uint8_t>> readPlane8(const OMPSDChannelReference& plane,
                                               uint64_t pixels) {
    uint64_t bytesPerSample = plane.depth() / 8;
    auto bytes = plane.byteArray();
    if (!bytes || bytes->length() < pixels * bytesPerSample) return std::nullopt;
    std::vector<uint8_t> raw(pixels * bytesPerSample);
    if (!bytes->copyBytes(raw.data(), BARange{0, raw.size()})) return std::nullopt;
    if (bytesPerSample == 1) return raw;
    std::vector<uint8_t> samples(pixels);
    for (uint64_t i = 0; i < pixels; ++i) {
        uint32_t value = (uint32_t{raw[2 * i]} << 8) | raw[2 * i + 1];
        samples[i] = static_cast<uint8_t>((value * 255 + 32767) / 65535);
    }
    return samples;
}

}  // namespace

std::optional<RGBAImage> MergedImagePremultiplied(const OMPSDDocument& document,
                                                  std::string* error) {
    auto failed = [&](std::string reason) -> std::optional<RGBAImage> {
        fail(error, std::move(reason));
        return std::nullopt;
    };
    bool rgb = document.colorMode() == OMPSDDocument::rgb;
    if (!rgb && document.colorMode() != OMPSDDocument::grayscale)
        return failed("only RGB and grayscale merged images are read");
    if (document.depth() != 8 && document.depth() != 16)
        return failed("only 8- and 16-bit merged images are read");
    const auto& planes = document.mergedChannelReferences();
    int colorPlanes = rgb ? 3 : 1;
    if (static_cast<int>(planes.size()) < colorPlanes) return failed("no merged image");

    uint64_t width = document.width(), height = document.height(), pixels = width * height;
    std::vector<std::vector<uint8_t>> colour;
    std::optional<std::vector<uint8_t>> alpha;
    for (const auto& plane : planes) {
        int id = plane->identifier();
        if ((id < 0 || id >= colorPlanes) && id != -1) continue;
        auto samples = readPlane8(*plane, pixels);
        if (!samples)
            return failed("the merged image's " + plane->debugIdentifier() + " is unreadable");
        if (id == -1)
            alpha = std::move(samples);
        else
            colour.push_back(std::move(*samples));
    }
    if (static_cast<int>(colour.size()) != colorPlanes) return failed("no merged image");

    RGBAImage image{width, height, std::vector<uint8_t>(pixels * 4)};
    for (uint64_t i = 0; i < pixels; ++i) {
        int a = alpha ? (*alpha)[i] : 255;
        for (int k = 0; k < 3; ++k) {
            int c = colour[rgb ? k : 0][i];
            // Matted on white: C = P + 255 - A.
            image.pixels[i * 4 + k] =
                static_cast<uint8_t>(alpha ? std::clamp(c + a - 255, 0, a) : c);
        }
        image.pixels[i * 4 + 3] = static_cast<uint8_t>(a);
    }
    return image;
}

bool MergedImageIsFlattenedOnWhite(const OMPSDDocument& document) {
    for (const auto& plane : document.mergedChannelReferences())
        if (plane->identifier() == -1) return false;
    const auto& layers = document.layers();
    if (layers.empty()) return false;  // the merged image is the whole document
    const OMPSDLayer& bottom = *layers.front();
    bool isBackground = bottom.layerNameSource() == OMPSDFourCC("bgnd") ||
                        (!bottom.isGroup() && !bottom.channelReferenceForIdentifier(-1));
    return !isBackground;
}

RGBAImage RenderAsStoredInMergedImage(const OMPSDDocument& document, RGBAImage render) {
    if (!MergedImageIsFlattenedOnWhite(document)) return render;
    // Premultiplied over white: each colour gains what the coverage leaves.
    for (size_t i = 0; i + 3 < render.pixels.size(); i += 4) {
        int rest = 255 - render.pixels[i + 3];
        for (int k = 0; k < 3; ++k)
            render.pixels[i + k] = static_cast<uint8_t>(std::min(255, render.pixels[i + k] + rest));
        render.pixels[i + 3] = 255;
    }
    return render;
}

std::optional<ImageComparison> CompareImages(const RGBAImage& reference,
                                             const RGBAImage& candidate) {
    if (reference.width != candidate.width || reference.height != candidate.height ||
        reference.pixels.size() != candidate.pixels.size())
        return std::nullopt;
    ImageComparison result;
    uint64_t pixels = reference.width * reference.height, over8 = 0, sum = 0;
    for (uint64_t i = 0; i < pixels; ++i) {
        bool over = false;
        for (int k = 0; k < 4; ++k) {
            int d = std::abs(int{reference.pixels[i * 4 + k]} - int{candidate.pixels[i * 4 + k]});
            sum += static_cast<uint64_t>(d);
            result.maxDifference = std::max(result.maxDifference, d);
            over = over || d > 8;
        }
        over8 += over;
    }
    result.over8 = pixels ? static_cast<double>(over8) / static_cast<double>(pixels) : 0.0;
    result.mae = pixels ? static_cast<double>(sum) / static_cast<double>(pixels * 4) : 0.0;
    return result;
}

bool WritePNG(const std::string& path, const RGBAImage& premultiplied, std::string* error) {
    const lf::RGBABuffer pixels{premultiplied.pixels.data(), premultiplied.height,
                                premultiplied.width, premultiplied.width * 4};
    auto png = lf::encodeImage(pixels, lf::ImageType::PNG);
    if (!png) return fail(error, "cannot encode " + path + ": " + lf::describe(png.error()));
    lf::Status written = lf::writeFileAtomically(path, *png);
    if (!written) return fail(error, lf::describe(written.error()));
    return true;
}
