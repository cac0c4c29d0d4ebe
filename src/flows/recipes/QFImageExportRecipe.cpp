#include "flows/recipes/QFImageExportRecipe.h"

#include "compositing/shared/QFLayerList.h"
#include "flows/recipes/QFResourcePathComponents.h"
#include "flows/recipes/QFStringValues.h"
#include "platform/core/Log.h"
#include "platform/images/ImageEncoder.h"
#include "platform/settings/UserDefaults.h"
#include "rendergraph/core/BNSimpleScaleNode.h"
#include "rendergraph/core/BNSurface.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

using Entry = QFImageExportRecipeEntry;
using PixelBuffer = QFImageExportRecipePixelBuffer;

struct RectOrder {
    bool operator()(const VKRect& a, const VKRect& b) const {
        return std::tuple(a.origin.y, a.origin.x, a.size.height, a.size.width) <
               std::tuple(b.origin.y, b.origin.x, b.size.height, b.size.width);
    }
};

// The entries of one rectangle, which share a cut and its trimming.
struct RectEntries {
    std::vector<const Entry*> entries;
    bool isDownSampled = false;
};

// The user default that sets the JPEG quality, 0 to 1; 1 when unset.
double compressionQuality() {
    constexpr const char* kKey = "QFCompressionQuality";
    auto defaults = lf::UserDefaults::standard();
    std::optional<double> quality = defaults->numberForKey(kKey);
    if (auto value = defaults->objectForKey(kKey); !quality && value && value->is_string())
        quality = QFStringDoubleValue(value->get<std::string>());
    if (!quality || std::isnan(*quality)) return 1.0;
    return std::clamp(*quality, 0.0, 1.0);
}

// Pixels of an output of `rect` at `scale`, saturating.
uint64_t outputPixelCount(VKRect rect, double scale) {
    uint64_t width = BNPixelCount(VKRectGetWidth(rect), scale);
    uint64_t height = BNPixelCount(VKRectGetHeight(rect), scale), pixels = 0;
    return __builtin_mul_overflow(width, height, &pixels) ? UINT64_MAX : pixels;
}

std::string layerNames(const QFLayerList& layers) {
    std::string names;
    for (const auto& layer : layers)
        names += (names.empty() ? "" : ", ") + QFLayerLogName(*layer);
    return names;
}

}  // namespace

QFImageExportRecipe::QFImageExportRecipe(QFLayerList layers) : layers_(std::move(layers)) {
    if (!layers_.empty()) psdDocument_ = layers_.back()->document();
    if (psdDocument_) colorSpace_ = QFDocumentColorSpace::forDocument(*psdDocument_);
}

void QFImageExportRecipe::addRect(VKRect rect, std::string path, double scaleFactor,
                                  bool shouldDownSample, bool replaceExistingItems) {
    auto existing = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const Entry& entry) { return entry.path == path; });
    if (existing != entries_.end()) {
        if (!replaceExistingItems) return;
        entries_.erase(existing);
    }
    entries_.push_back(
        {rect, scaleFactor, std::move(path), shouldDownSample, replaceExistingItems});
}

bool QFImageExportRecipe::shouldReplaceExistingItemsForPath(const std::string& path) const {
    for (const auto& entry : entries_)
        if (entry.path == path) return entry.shouldReplaceExistingItems;
    return false;
}

VKRect QFImageExportRecipe::downSamplingRect(VKRect rect) {
    if (std::fmod(VKRectGetWidth(rect), 2) != 0) rect.size.width += 1;
    if (std::fmod(VKRectGetHeight(rect), 2) != 0) {
        rect.size.height += 1;
        rect.origin.y -= 1;
    }
    return rect;
}

double QFImageExportRecipe::renderScaleForScale(double scaleFactor) {
    // Compared in single precision, so that a scale written as a
    // percentage (0.5 from "25%" doubled) counts as the scale it names.
    for (double renderable : BNRenderableScaleFactors)
        if (static_cast<float>(scaleFactor) <= static_cast<float>(renderable)) return renderable;
    return std::end(BNRenderableScaleFactors)[-1];
}

void QFImageExportRecipe::run() {
    results_.clear();
    for (const auto& output : renderOutputs())
        if (auto data = createFileDataForPixelBuffer(output.pixels, output.path))
            results_[output.path] = std::move(*data);
}

std::vector<QFImageExportRecipeOutput> QFImageExportRecipe::renderOutputs() const {
    // Which entries can be made, by rectangle.
    std::map<VKRect, RectEntries, RectOrder> rects;
    for (const auto& entry : entries_) {
        if (QFLowercasePathExtension(entry.path) == "pdf") {
            lf::log("No file for \"{}\": vector output of {} is not supported", entry.path,
                    layerNames(layers_));
            continue;
        }
        uint64_t pixels = outputPixelCount(entry.rect, entry.scaleFactor);
        if (pixels == 0) continue;  // nothing to show
        if (pixels > kMaximumOutputPixels) {
            lf::log("No file for \"{}\": {} at scale {:g} is over the limit of {} pixels",
                    entry.path, NSStringFromVKRect(entry.rect), entry.scaleFactor,
                    kMaximumOutputPixels);
            continue;
        }
        RectEntries& shared = rects[entry.rect];
        shared.entries.push_back(&entry);
        shared.isDownSampled = shared.isDownSampled || entry.shouldDownSample;
    }

    // One render per scale, of the union of what its entries cut.
    std::map<double, VKRect> unions;
    for (const auto& [rect, shared] : rects) {
        VKRect cut = shared.isDownSampled ? downSamplingRect(rect) : rect;
        for (const Entry* entry : shared.entries) {
            double scale = renderScaleForScale(entry->scaleFactor);
            auto [found, inserted] = unions.emplace(scale, cut);
            if (!inserted) found->second = VKRectUnion(found->second, cut);
        }
    }
    BNRenderNodePtr node;
    std::map<double, PixelBuffer> renders;
    VKRect canvas = psdDocument_ ? VKRectMake(0, 0, psdDocument_->width(), psdDocument_->height())
                                 : VKRectInfinite;
    for (const auto& [scale, rect] : unions) {
        if (VKRectIsEmpty(rect)) continue;
        if (!node) node = createRenderNodeForLayers(layers_);
        auto image = renderNode(node, rect, scale, colorSpace_.profile);
        if (!image) continue;
        // Only the canvas shows: a cut may reach a row or column past it
        // to halve evenly, where layers without transparency (a background)
        // would otherwise render opaque.
        if (auto render =
                PixelBuffer(std::move(image), rect, scale).pixelBufferLimitedToRect(canvas))
            renders.emplace(scale, std::move(*render));
    }

    std::vector<QFImageExportRecipeOutput> outputs;
    for (const auto& [rect, shared] : rects) {
        VKRect cutRect = shared.isDownSampled ? downSamplingRect(rect) : rect;
        std::vector<PixelBuffer> cuts;
        for (const auto& [scale, render] : renders) {
            // A structured binding is captured by name: clang 14 captures
            // none implicitly.
            bool used = std::any_of(shared.entries.begin(), shared.entries.end(),
                                    [&, scale = scale](const Entry* e) {
                                        return renderScaleForScale(e->scaleFactor) == scale;
                                    });
            if (!used) continue;
            if (auto cut = render.subBufferWithRect(cutRect)) cuts.push_back(std::move(*cut));
        }
        if (shouldTrimTransparency())
            cuts = trimTransparencyFromPixelBuffers(cuts, shared.isDownSampled);

        for (const Entry* entry : shared.entries) {
            double scale = renderScaleForScale(entry->scaleFactor);
            auto cut = std::find_if(cuts.begin(), cuts.end(),
                                    [&](const PixelBuffer& b) { return b.scaleFactor() == scale; });
            if (cut == cuts.end()) continue;
            std::optional<PixelBuffer> output = *cut;
            if (scale != entry->scaleFactor) {
                output = output->scaledPixelBuffer(
                    BNPixelCount(VKRectGetWidth(cut->rect()), entry->scaleFactor),
                    BNPixelCount(VKRectGetHeight(cut->rect()), entry->scaleFactor));
            }
            if (output && entry->shouldDownSample) output = output->downSampledPixelBuffer();
            if (!output || output->widthInPixels() == 0 || output->heightInPixels() == 0) continue;
            outputs.push_back({entry->path, std::move(*output)});
        }
    }
    return outputs;
}

std::vector<QFImageExportRecipePixelBuffer> QFImageExportRecipe::trimTransparencyFromPixelBuffers(
    const std::vector<QFImageExportRecipePixelBuffer>& buffers, bool forDownSampling) {
    if (buffers.empty()) return buffers;
    QFEdgeInsets trim{INFINITY, INFINITY, INFINITY, INFINITY};
    for (const auto& buffer : buffers) {
        QFEdgeInsets insets = edgeInsetsForTrimmingPixelData(buffer.buffer());
        double scale = buffer.scaleFactor();
        trim.top = std::min(trim.top, std::floor(insets.top / scale));
        trim.left = std::min(trim.left, std::floor(insets.left / scale));
        trim.bottom = std::min(trim.bottom, std::floor(insets.bottom / scale));
        trim.right = std::min(trim.right, std::floor(insets.right / scale));
    }
    if (forDownSampling) {
        for (double* side : {&trim.top, &trim.left, &trim.bottom, &trim.right})
            *side = std::floor(*side / 2) * 2;
    }
    std::vector<QFImageExportRecipePixelBuffer> trimmed;
    for (const auto& buffer : buffers) {
        VKRect rect = buffer.rect();
        rect.origin.x += trim.left;
        rect.origin.y += trim.top;
        rect.size.width -= trim.left + trim.right;
        rect.size.height -= trim.top + trim.bottom;
        trimmed.push_back(buffer.subBufferWithRect(rect).value_or(buffer));
    }
    return trimmed;
}

std::optional<lf::Data> QFImageExportRecipe::createFileDataForPixelBuffer(
    const QFImageExportRecipePixelBuffer& buffer, const std::string& path) const {
    lf::ImageEncodingProperties properties;
    properties.lossyCompressionQuality = compressionQuality();
    if (colorSpace_.profile) properties.iccProfile = colorSpace_.iccData;
    auto data = lf::encodeImageForPath(buffer.buffer(), path, properties);
    if (!data) {
        lf::log("No file for \"{}\": {}", path, data.error().localizedDescription());
        return std::nullopt;
    }
    return std::move(*data);
}

nlohmann::json QFImageExportRecipe::plistRepresentation() const {
    nlohmann::json entries = nlohmann::json::array();
    for (const auto& entry : entries_) {
        const VKRect& r = entry.rect;
        entries.push_back({{"rect", {r.origin.x, r.origin.y, r.size.width, r.size.height}},
                           {"scaleFactor", entry.scaleFactor},
                           {"path", entry.path},
                           {"shouldDownSample", entry.shouldDownSample},
                           {"shouldReplaceExistingItems", entry.shouldReplaceExistingItems},
                           {"shouldTrimTransparency", shouldTrimTransparency()}});
    }
    return {{"entries", entries}, {"rendering", plistRepresentationForLayers(layers_)}};
}
