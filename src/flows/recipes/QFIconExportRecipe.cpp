#include "flows/recipes/QFIconExportRecipe.h"

#include "kernels/ImageOps.h"

#include <algorithm>
#include <cstring>

namespace {

// Icons up to this size are stored in the Generic RGB profile whatever the
// document's profile.
constexpr double kLargestGenericIcon = 128;

using Pixels = std::vector<uint8_t>;  // premultiplied RGBA, rows of width * 4 bytes

lf::RGBABuffer bufferOf(const Pixels& pixels, uint64_t width, uint64_t height) {
    return {pixels.data(), height, width, width * 4, lf::RGBAAlpha::PremultipliedLast};
}

// `art` on a transparent canvas of `width` by `height`, floor((W - w) / 2)
// from the left and ceil((H - h) / 2) from the top; none when it is larger.
std::optional<Pixels> centred(const lf::RGBABuffer& art, uint64_t width, uint64_t height) {
    if (art.width > width || art.height > height) return std::nullopt;
    Pixels canvas(width * height * 4, 0);
    uint64_t left = (width - art.width) / 2, top = (height - art.height + 1) / 2;
    for (uint64_t y = 0; y < art.height; ++y)
        std::memcpy(canvas.data() + ((top + y) * width + left) * 4, art.row(y), art.width * 4);
    return canvas;
}

std::optional<Pixels> scaled(const lf::RGBABuffer& art, uint64_t width, uint64_t height) {
    Pixels out(width * height * 4);
    lf::ImageBuffer source{const_cast<uint8_t*>(art.data), uint32_t(art.height),
                           uint32_t(art.width), art.rowBytes};
    lf::ImageBuffer destination{out.data(), uint32_t(height), uint32_t(width), width * 4};
    if (lf::scaleRGBA8888(source, destination) != lf::kImageOpNoError) return std::nullopt;
    return out;
}

// Made square (centred on a transparent square of the longer side, which
// keeps the proportions), then scaled.
std::optional<Pixels> squaredAndScaled(const lf::RGBABuffer& art, uint64_t width, uint64_t height) {
    if (art.width == art.height) return scaled(art, width, height);
    uint64_t side = std::max(art.width, art.height);
    auto square = centred(art, side, side);
    if (!square) return std::nullopt;
    return scaled(bufferOf(*square, side, side), width, height);
}

}  // namespace

QFIconExportRecipe::QFIconExportRecipe(QFLayerList layers, VKRect rect,
                                       std::vector<VKSize> iconSizes, std::string path)
    : layers_(std::move(layers)), rect_(rect), path_(std::move(path)) {
    if (!layers_.empty()) psdDocument_ = layers_.back()->document();
    if (psdDocument_) colorSpace_ = QFDocumentColorSpace::forDocument(*psdDocument_);
    setIconSizes(std::move(iconSizes));
}

void QFIconExportRecipe::setIconSizes(std::vector<VKSize> sizes) {
    std::erase_if(sizingBehaviors_, [&](const auto& stored) {
        return std::find(sizes.begin(), sizes.end(), stored.first) == sizes.end();
    });
    iconSizes_ = std::move(sizes);
}

void QFIconExportRecipe::setSizingBehaviors(const std::vector<int64_t>& behaviors) {
    sizingBehaviors_.clear();
    if (behaviors.size() != iconSizes_.size()) return;
    for (size_t i = 0; i < behaviors.size(); ++i)
        sizingBehaviors_[iconSizes_[i]] = behaviors[i];
}

std::vector<int64_t> QFIconExportRecipe::sizingBehaviors() const {
    std::vector<int64_t> behaviors;
    for (VKSize size : iconSizes_)
        behaviors.push_back(sizingBehaviorForSize(size));
    return behaviors;
}

void QFIconExportRecipe::setSizingBehavior(int64_t behavior, VKSize size) {
    if (std::find(iconSizes_.begin(), iconSizes_.end(), size) != iconSizes_.end())
        sizingBehaviors_[size] = behavior;
}

int64_t QFIconExportRecipe::sizingBehaviorForSize(VKSize size) const {
    auto found = sizingBehaviors_.find(size);
    return found == sizingBehaviors_.end() ? automatic : found->second;
}

bool QFIconExportRecipe::isStoredInGenericRGB(VKSize size) const {
    return !colorSpace_.profile || size.width <= kLargestGenericIcon;
}

lf::Data QFIconExportRecipe::fitPixelData(const lf::RGBABuffer& art, VKSize size) const {
    auto width = static_cast<uint64_t>(size.width), height = static_cast<uint64_t>(size.height);
    if (width == 0 || height == 0 || art.width == 0 || art.height == 0) return {};
    std::optional<Pixels> fitted;
    switch (sizingBehaviorForSize(size)) {
        case automatic:
            // Art of the icon's size is centred on itself: copied as it is.
            if (art.width <= width && art.height <= height)
                fitted = centred(art, width, height);
            else
                fitted = squaredAndScaled(art, width, height);
            break;
        case scale:
            fitted = squaredAndScaled(art, width, height);
            break;
        default:
            fitted = centred(art, width, height);
    }
    if (!fitted) return {};

    if (isStoredInGenericRGB(size)) {
        auto from =
            colorSpace_.profile ? colorSpace_.profile : lf::ColorProfile::mainDisplayProfile();
        auto converted = lf::convertRGBA(bufferOf(*fitted, width, height), *from,
                                         *lf::ColorProfile::genericRGBProfile());
        if (!converted) return {};
        fitted = std::move(*converted);
    }
    lf::unpremultiplyRGBA(fitted->data(), fitted->data(), fitted->size() / 4);
    return lf::Data(std::move(*fitted));
}

void QFIconExportRecipe::run() {
    results_.clear();
    auto image = renderNode(createRenderNodeForLayers(layers_), rect_, 1.0, nullptr);
    std::vector<std::shared_ptr<QFICNSElement>> elements;
    for (VKSize size : iconSizes_) {
        auto element = std::make_shared<QFICNSElement>();
        element->setSize(size);
        if (image) {
            lf::RGBABuffer art{image->bytes(), image->height(), image->width(),
                               image->bytesPerRow(), lf::RGBAAlpha::PremultipliedLast};
            if (shouldTrimTransparency()) trimPixelData(art);
            element->setPixelData(fitPixelData(art, size));
        }
        // The profile the pixels are in.
        element->setICCProfileData(isStoredInGenericRGB(size)
                                       ? lf::ColorProfile::genericRGBProfile()->iccData()
                                       : colorSpace_.iccData);
        elements.push_back(std::move(element));
    }
    results_[path_] = std::move(elements);
}

nlohmann::json QFIconExportRecipe::plistRepresentation() const {
    nlohmann::json sizes = nlohmann::json::array(), behaviors = nlohmann::json::array();
    for (VKSize size : iconSizes_) {
        sizes.push_back({size.width, size.height});
        behaviors.push_back(sizingBehaviorForSize(size));
    }
    return {{"rect", {rect_.origin.x, rect_.origin.y, rect_.size.width, rect_.size.height}},
            {"shouldTrimTransparency", shouldTrimTransparency()},
            {"path", path_},
            {"sizingBehaviors", behaviors},
            {"iconSizes", sizes},
            {"rendering", plistRepresentationForLayers(layers_)}};
}
