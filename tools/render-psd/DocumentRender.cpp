#include "DocumentRender.h"

#include "compositing/QFLayerContent.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "compositing/shared/QFRGBAConversion.h"
#include "compositing/tiling/QFTilingHelper.h"
#include "flows/runs/QFExportFlowError.h"
#include "platform/core/SystemInfo.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/images/ImageEncoder.h"
#include "platform/writing/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

bool RenderFitsBudget(VKRect rect, const RenderOptions& options, std::string* error) {
    auto allowed = QFTilingHelper::checkImageSize(
        BNPixelCount(VKRectGetWidth(rect), options.scale),
        BNPixelCount(VKRectGetHeight(rect), options.scale), options.pixelBudget);
    if (!allowed && error) *error = allowed.error().localizedDescription();
    return allowed.ok();
}

std::shared_ptr<const QFRGBAImage> RenderNodeTiled(const BNRenderNodePtr& node, VKRect rect,
                                                   const RenderOptions& options,
                                                   std::string* error) {
    if (!RenderFitsBudget(rect, options, error)) return nullptr;
    auto helper = QFTilingHelper::create(options.tileSize, nullptr);
    helper->setPixelBudget(options.pixelBudget);
    helper->setKeepsPremultiplied(!options.straight);
    bool succeeded = false;
    lf::DispatchSemaphore done(0);
    auto image = helper->renderNode(node, rect, options.scale,
                                    [&, done](const uint8_t*, uint64_t, uint64_t, uint64_t,
                                              bool finished, double, bool allSucceeded) mutable {
                                        if (!finished) return;
                                        succeeded = allSucceeded;
                                        done.signal();
                                    });
    done.wait();
    if (!succeeded || !image) {
        if (error) *error = "the render failed";
        return nullptr;
    }
    return image;
}

std::shared_ptr<const QFRGBAImage> RenderNodeWhole(const BNRenderNodePtr& node, VKRect rect,
                                                   double scale) {
    BNSurfacePtr surface =
        QFRenderNodeWithColorProfile(node, BNColorProfile::mainDisplayProfile(), rect, scale);
    if (!surface) return nullptr;
    auto image = QFRGBAImage::create(surface->widthInPixels(), surface->heightInPixels());
    if (!image) return nullptr;
    QFConvertSurfaceToRGBA(*surface, true, image->mutableBytes(), image->bytesPerRow(),
                           image->width(), image->height());
    return image;
}

void DecompressVisibleChannels(const QFLayerList& layers) {
    std::vector<std::shared_ptr<const OMPSDChannelReference>> channels;
    std::vector<const QFLayerList*> lists{&layers};  // groups nest deep: no recursion
    while (!lists.empty()) {
        const QFLayerList& list = *lists.back();
        lists.pop_back();
        for (const auto& layer : list) {
            if (!layer || !layer->isVisible()) continue;
            if (layer->isGroup()) lists.push_back(&layer->sublayers());
            channels.insert(channels.end(), layer->channelReferences().begin(),
                            layer->channelReferences().end());
        }
    }
    auto planeBytes = [](const OMPSDChannelReference& channel) {
        uint64_t rowBytes = 0, total = 0;
        return channel.planeSize(&rowBytes, &total) ? total : 0;
    };
    std::stable_sort(channels.begin(), channels.end(),
                     [&](const auto& a, const auto& b) { return planeBytes(*a) > planeBytes(*b); });
    // One worker per processor takes the next largest plane until none is
    // left.
    auto next = std::make_shared<std::atomic<size_t>>(0);
    lf::DispatchGroup group;
    for (int worker = 0; worker < lf::activeProcessorCount(); ++worker)
        group.async(lf::DispatchQueue::tileWorkers(), [&channels, next] {
            for (size_t i; (i = (*next)++) < channels.size();)
                channels[i]->byteArray();
        });
    group.wait();
}

bool DocumentIsDrawable(const OMPSDDocument& document, std::string* error) {
    std::optional<QFExportFlowFailure> failure;
    if (document.colorMode() != OMPSDDocument::rgb &&
        document.colorMode() != OMPSDDocument::grayscale)
        failure = QFExportFlowFailure::unsupportedColorMode;
    else if (document.depth() != 8 && document.depth() != 16)
        failure = QFExportFlowFailure::unsupportedColorDepth;
    if (!failure) return true;
    if (error) {
        lf::Error refused = QFExportFlowError(*failure);
        *error = refused.localizedDescription() + ": " + refused.localizedFailureReason();
    }
    return false;
}

BNRenderNodePtr RenderNodeForDocument(const OMPSDDocument& document, std::string* error) {
    if (!document.allLayers().empty()) return QFRenderNodeForLayers(document.layers());
    const int colourPlanes = document.colorMode() == OMPSDDocument::grayscale ? 1 : 3;
    const auto& planes = document.mergedChannelReferences();
    const auto isColour = [&](const auto& plane) {
        return plane->identifier() >= 0 && plane->identifier() < colourPlanes;
    };
    if (std::ranges::count_if(planes, isColour) < colourPlanes) {
        if (error) *error = "the document has neither layers nor image data";
        return nullptr;
    }
    return QFImageNodeForChannels(planes, QFTransparencyModeDropped);
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

std::shared_ptr<const QFRGBAImage> MergedImagePremultiplied(const OMPSDDocument& document,
                                                            std::string* error) {
    auto failed = [&](std::string reason) -> std::shared_ptr<const QFRGBAImage> {
        fail(error, std::move(reason));
        return nullptr;
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

    auto image = QFRGBAImage::create(width, height);
    if (!image) return failed("no memory for the merged image");
    uint8_t* out = image->mutableBytes();
    for (uint64_t i = 0; i < pixels; ++i) {
        int a = alpha ? (*alpha)[i] : 255;
        for (int k = 0; k < 3; ++k) {
            int c = colour[rgb ? k : 0][i];
            // Matted on white: C = P + 255 - A.
            out[i * 4 + k] = static_cast<uint8_t>(alpha ? std::clamp(c + a - 255, 0, a) : c);
        }
        out[i * 4 + 3] = static_cast<uint8_t>(a);
    }
    return image;
}

bool MergedImageIsReal(const OMPSDDocument& document, const QFRGBAImage& merged) {
    if (auto versionInfo = document.versionInfo(); versionInfo && !versionInfo->hasRealMergedData)
        return false;
    return !std::ranges::all_of(merged.span(), [](uint8_t v) { return v == 255; });
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

std::shared_ptr<const QFRGBAImage> RenderAsStoredInMergedImage(
    const OMPSDDocument& document, std::shared_ptr<const QFRGBAImage> render) {
    if (!render || !MergedImageIsFlattenedOnWhite(document)) return render;
    auto flattened = QFRGBAImage::create(render->width(), render->height());
    if (!flattened) return nullptr;
    // Premultiplied over white: each colour gains what the coverage leaves.
    const uint8_t* in = render->bytes();
    uint8_t* out = flattened->mutableBytes();
    for (uint64_t i = 0; i < render->byteCount(); i += 4) {
        int coverage = in[i + 3], rest = 255 - coverage;
        for (int k = 0; k < 3; ++k) {
            int colour = render->isPremultiplied() ? in[i + k] : (in[i + k] * coverage + 127) / 255;
            out[i + k] = static_cast<uint8_t>(std::min(255, colour + rest));
        }
        out[i + 3] = 255;
    }
    return flattened;
}

std::optional<ImageComparison> CompareImages(const QFRGBAImage& reference,
                                             const QFRGBAImage& candidate) {
    if (reference.width() != candidate.width() || reference.height() != candidate.height())
        return std::nullopt;
    // Premultiplied bytes of either image.
    auto premultiplied = [](const QFRGBAImage& image, uint64_t pixel, int k) -> int {
        const uint8_t* p = image.bytes() + pixel * 4;
        if (image.isPremultiplied() || k == 3) return p[k];
        return (p[k] * p[3] + 127) / 255;
    };
    ImageComparison result;
    uint64_t pixels = reference.width() * reference.height(), over8 = 0, sum = 0;
    for (uint64_t i = 0; i < pixels; ++i) {
        bool over = false;
        for (int k = 0; k < 4; ++k) {
            int d = std::abs(premultiplied(reference, i, k) - premultiplied(candidate, i, k));
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

bool WritePNG(const std::string& path, const QFRGBAImage& image, std::string* error) {
    const lf::RGBABuffer pixels{
        image.bytes(), image.height(), image.width(), image.bytesPerRow(),
        image.isPremultiplied() ? lf::RGBAAlpha::PremultipliedLast : lf::RGBAAlpha::Last};
    auto png = lf::encodeImage(pixels, lf::ImageType::PNG);
    if (!png) return fail(error, "cannot encode " + path + ": " + lf::describe(png.error()));
    lf::Status written = lf::writeFileAtomically(path, *png);
    if (!written) return fail(error, lf::describe(written.error()));
    return true;
}
