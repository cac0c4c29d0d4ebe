#include "flows/scanner/QFPSDScanner.h"

#include "flows/icns/QFICNSElement.h"
#include "flows/recipes/QFLayerWalk.h"
#include "flows/recipes/QFResourcePathComponents.h"
#include "flows/recipes/QFStringValues.h"
#include "flows/scanner/QFLayerExportBounds.h"
#include "flows/scanner/RetinaSuffix.h"
#include "kit/OMFoundation.h"
#include "platform/core/Log.h"
#include "platform/settings/UserDefaults.h"

#include <algorithm>
#include <optional>
#include <set>

namespace {

constexpr std::string_view kSlicesName = "@slices";
constexpr std::string_view kBoundsName = "@bounds";
constexpr std::string_view kExtraRetinaTag = "+@2x";

// The extensions of tagged names, built once.
const std::set<std::string, std::less<>>& exportExtensions() {
    static const std::set<std::string, std::less<>> extensions = {"png",  "icns", "tif",
                                                                  "tiff", "jpg",  "jpeg"};
    return extensions;
}

std::string trimmed(std::string_view text) {
    return OMFoundation::stringByTrimmingWhitespaceAndNewlines(text);
}

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    for (size_t start = 0;;) {
        size_t end = text.find(separator, start);
        pieces.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return pieces;
        start = end + 1;
    }
}

bool isGroupNamedSlices(const OMPSDLayer& layer) {
    return layer.isGroup() && layer.name() == kSlicesName;
}

// Every "@bounds" and "@slices" layer of `layers` and below: they only
// mark rectangles and are hidden while a recipe renders.
QFLayerList reservedLayers(const QFLayerList& layers) {
    QFLayerList reserved;
    QFForEachLayer(layers, [&](const std::shared_ptr<OMPSDLayer>& layer) {
        if (layer->name() == kBoundsName || layer->name() == kSlicesName) reserved.push_back(layer);
    });
    return reserved;
}

bool switchValue(const std::string& value) {
    if (value == "off") return false;
    if (value == "on") return true;
    return QFStringBoolValue(value);
}

}  // namespace

QFPSDScanner::QFPSDScanner() {
    auto defaults = lf::UserDefaults::standard();
    shouldAutoDownSize_ = !defaults->boolForKey("QFAuto1xDisabled");
    shouldRender2x_ = defaultShouldRender2x_ = defaults->boolForKey("QFAuto2xEnabled");
}

bool QFPSDScanner::isTaggedName(const std::string& name) {
    std::string withoutTag = name;
    OMFoundation::removeSuffix(withoutTag, kExtraRetinaTag);
    return exportExtensions().contains(QFLowercasePathExtension(withoutTag));
}

lf::Status QFPSDScanner::scanPSD(const OMPSDDocument& document) {
    documentRect_ = VKRectMake(0, 0, document.width(), document.height());
    // A "qf-auto-2x" switch of an earlier document ends with it.
    shouldRender2x_ = defaultShouldRender2x_;
    prefixPathComponents_.clear();
    scanLayers(document.layers(), true, 0);
    return {};
}

VKRect QFPSDScanner::calculateBoundsForLayer(const OMPSDLayer& layer, bool includeEffects) const {
    return VKRectIntersection(QFExportBoundsForLayer(layer, includeEffects), documentRect_);
}

void QFPSDScanner::applySwitches(const QFLayerList& layers) {
    for (const auto& layer : layers) {
        const std::string& name = layer->name();
        if (!name.starts_with("qf-") && !name.starts_with("+@")) continue;
        std::vector<std::string> pieces = split(name, '=');
        if (pieces.size() < 2) continue;
        std::string key = trimmed(pieces[0]);
        bool value = switchValue(trimmed(pieces[1]));
        if (key == "qf-auto-1x" || key == "+@1x")
            shouldAutoDownSize_ = value;
        else if (key == "qf-auto-2x" || key == "+@2x")
            shouldRender2x_ = value;
    }
}

void QFPSDScanner::scanLayers(const QFLayerList& layers, bool isDocumentRoot, int depth) {
    bool savedAutoDownSize = shouldAutoDownSize_;
    // Switches first: one governs every layer of its list, before it too.
    applySwitches(layers);

    for (const auto& layer : layers) {
        if (layer->isGroup() && layer->name() != kSlicesName) {
            if (depth >= QFMaximumGroupDepth) {
                lf::log("Group {} is nested more than {} deep; its tags are not read",
                        QFLayerLogName(*layer), QFMaximumGroupDepth);
            } else if (layer->name().ends_with('/')) {
                prefixPathComponents_.push_back(layer->name().substr(0, layer->name().size() - 1));
                scanLayers(layer->sublayers(), false, depth + 1);
                prefixPathComponents_.pop_back();
            } else {
                scanLayers(layer->sublayers(), false, depth + 1);
            }
        }
        if (layer->isGroup()) {
            for (const auto& sublayer : layer->sublayers())
                if (isGroupNamedSlices(*sublayer)) addRecipeForLayers({layer}, *sublayer);
        }
        if (isTaggedName(layer->name())) addRecipeForLayer(layer);
    }

    if (isDocumentRoot) {
        for (const auto& layer : layers)
            if (isGroupNamedSlices(*layer)) addRecipeForLayers(layers, *layer);
    }
    shouldAutoDownSize_ = savedAutoDownSize;
}

void QFPSDScanner::addRecipeForLayer(const std::shared_ptr<OMPSDLayer>& layer) {
    VKRect bounds = calculateBoundsForLayer(*layer, true);
    const std::string& name = layer->name();
    if (QFLowercasePathExtension(name) == "icns") {
        addICNSRecipeForLayers({layer}, bounds, name);
        return;
    }
    auto recipe = std::make_shared<QFImageExportRecipe>(QFLayerList{layer});
    bool trim = true;
    if (layer->isGroup()) {
        recipe->setLayersToHide(reservedLayers(layer->sublayers()));
        if (auto maskBounds = QFGroupMaskBounds(*layer)) {
            bounds = *maskBounds;
            trim = false;
        }
        for (const auto& sublayer : layer->sublayers()) {
            if (sublayer->name() != kBoundsName) continue;
            bounds = calculateBoundsForLayer(*sublayer, false);
            trim = false;
        }
    }
    recipe->setShouldTrimTransparency(trim);
    addRectsToRecipe(*recipe, bounds, name);
    imageRecipes_.push_back(std::move(recipe));
}

void QFPSDScanner::addRecipeForLayers(const QFLayerList& layers, const OMPSDLayer& slicesLayer) {
    auto recipe = std::make_shared<QFImageExportRecipe>(layers);
    recipe->setLayersToHide(reservedLayers(layers));
    recipe->setShouldTrimTransparency(false);
    for (const auto& slice : slicesLayer.sublayers()) {
        VKRect bounds = calculateBoundsForLayer(*slice, false);
        if (QFLowercasePathExtension(slice->name()) == "icns")
            addICNSRecipeForLayers(layers, bounds, slice->name());
        else
            addRectsToRecipe(*recipe, bounds, slice->name());
    }
    imageRecipes_.push_back(std::move(recipe));
}

void QFPSDScanner::addRectsToRecipe(QFImageExportRecipe& recipe, VKRect bounds,
                                    const std::string& name) {
    VKRect rect = VKRectIntegral(bounds);
    for (const std::string& written : split(name, ',')) {
        std::string piece = trimmed(written);

        std::optional<double> percentage;
        size_t space = piece.find(' ');
        if (space != std::string::npos && space > 0 && piece[space - 1] == '%') {
            double value = QFStringDoubleValue(std::string_view(piece).substr(0, space - 1));
            if (value > 0) {
                percentage = value * 0.01;
                piece = trimmed(std::string_view(piece).substr(space));
            }
        }
        if (!prefixPathComponents_.empty()) {
            std::string folder;
            for (const auto& component : prefixPathComponents_)
                folder += component + "/";
            piece = folder + piece;
        }
        bool extraRetina = OMFoundation::removeSuffix(piece, kExtraRetinaTag);

        if (!percentage) {
            bool retina = RetinaSuffix::hasRetinaSuffix(piece);
            if (shouldAutoDownSize_ && retina)
                recipe.addRect(rect, RetinaSuffix::stringByRemovingRetinaSuffix(piece), 1.0, true,
                               false);
            else if ((shouldRender2x_ && !retina) || extraRetina)
                recipe.addRect(rect, RetinaSuffix::stringByAppendingRetinaSuffix(piece), 2.0, false,
                               false);
        }

        // A reduced output renders at twice its scale and is halved, as a
        // 1x copy of a "@2x" name is.
        double scale = percentage.value_or(1.0);
        bool downSample = scale < 1.0;
        recipe.addRect(rect, piece, downSample ? 2 * scale : scale, downSample, true);
    }
}

void QFPSDScanner::addICNSRecipeForLayers(const QFLayerList& layers, VKRect rect,
                                          const std::string& name) {
    if (layers.size() == 1) {
        if (auto maskBounds = QFGroupMaskBounds(*layers.front())) rect = *maskBounds;
    }
    double width = VKRectGetWidth(rect), height = VKRectGetHeight(rect);
    double longer = std::max(width, height);
    std::optional<VKSize> exact, upper, lower;
    for (VKSize size : QFICNSElement::supportedSizes()) {
        if (size.width == width && size.height == height) {
            exact = size;
            break;
        }
        if (size.width >= longer && (!upper || size.width < upper->width)) upper = size;
        if (size.width <= longer && (!lower || size.width > lower->width)) lower = size;
    }
    VKSize chosen = VKSizeMake(width, height);
    int64_t behavior = QFIconExportRecipe::automatic;
    if (exact) {
        chosen = *exact;
    } else if (!upper) {
        if (lower) {
            chosen = *lower;
            behavior = QFIconExportRecipe::scale;
        }
    } else if (lower && longer < 0.8 * upper->width) {
        chosen = *lower;
    } else {
        chosen = *upper;
        behavior = QFIconExportRecipe::centre;
    }
    auto recipe = std::make_shared<QFIconExportRecipe>(layers, rect, std::vector{chosen}, name);
    recipe->setLayersToHide(reservedLayers(layers));
    recipe->setSizingBehaviors({behavior});
    iconRecipes_.push_back(std::move(recipe));
}
