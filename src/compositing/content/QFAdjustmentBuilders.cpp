// The content builders of adjustment layers: each maps the layer's input
// (its backdrop) through the adjustment.
#include "compositing/content/QFContentBuilders.h"
#include "compositing/providers/QFBrightnessContrastContourProvider.h"
#include "compositing/providers/QFContourProviders.h"
#include "compositing/providers/QFGradientProvider.h"
#include "compositing/providers/QFPSDContourProvider.h"
#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDDocument.h"
#include "rendergraph/adjustments/BNColorizeNode.h"
#include "rendergraph/adjustments/BNContourMappingNode.h"
#include "rendergraph/adjustments/BNHueSaturationAdjustmentNode.h"
#include "rendergraph/adjustments/BNSelectiveColorNode.h"
#include "rendergraph/adjustments/BNVibranceAdjustmentNode.h"
#include "rendergraph/gradients/BNGradientMappingNode.h"

#include <algorithm>
#include <cmath>

namespace {

// Red, green and blue each through their own curve (none keeps a channel).
BNRenderNodePtr mappedColors(const BNRenderNodePtr& input,
                             std::shared_ptr<const BNContourProvider> red,
                             std::shared_ptr<const BNContourProvider> green,
                             std::shared_ptr<const BNContourProvider> blue) {
    if (!red && !green && !blue) return input;
    BNContourProviders providers;
    providers[BNChannelRed] = std::move(red);
    providers[BNChannelGreen] = std::move(green);
    providers[BNChannelBlue] = std::move(blue);
    return BNContourMappingNode::create(input, std::move(providers), 0.0, 1.0);
}

// Red, green and blue through one curve.
BNRenderNodePtr mappedColors(const BNRenderNodePtr& input,
                             const std::shared_ptr<const BNContourProvider>& curve) {
    return mappedColors(input, curve, curve, curve);
}

BNHueSaturationAdjustment adjustmentForRange(const OMPSDHueSaturationRange& range) {
    BNHueSaturationAdjustment adjustment;
    adjustment.setHue(range.hue);
    adjustment.setSaturation(range.saturation);
    adjustment.setLightness(range.lightness);
    adjustment.setRange0(range.range0);
    adjustment.setRange1(range.range1);
    adjustment.setRange2(range.range2);
    adjustment.setRange3(range.range3);
    return adjustment;
}

}  // namespace

std::shared_ptr<const BNContourProvider> QFContourProviderForCurve(
    const std::shared_ptr<const OMPSDContour>& curve) {
    if (!curve) return nullptr;
    const auto& points = curve->points();
    if (points.size() == 2 && points[0].horizontal() == 0 && points[0].vertical() == 0 &&
        points[1].horizontal() == 1 && points[1].vertical() == 1)
        return nullptr;
    return std::make_shared<QFPSDContourProvider>(*curve);
}

std::shared_ptr<const BNContourProvider> QFLevelsProviderForRecord(const OMPSDLevelsRecord& r) {
    constexpr double e = 2.220446049250313e-16;
    if (std::abs(r.inputFloor) < e && std::abs(r.inputCeiling - 1) < e &&
        std::abs(r.outputFloor) < e && std::abs(r.outputCeiling - 1) < e &&
        std::abs(r.gamma - 1) < e)
        return nullptr;
    return std::make_shared<QFLevelsContourProvider>(r.inputFloor, r.inputCeiling, r.outputFloor,
                                                     r.outputCeiling, r.gamma);
}

BNRenderNodePtr QFBrightnessContrastContentBuilder(const OMPSDLayer& layer,
                                                   const BNRenderNodePtr& input) {
    std::shared_ptr<const BNContourProvider> provider;
    if (auto descriptor = layer.contentGeneratorExtraData()) {
        int32_t version = 0, brightness = 0, contrast = 0;
        descriptor->decodeInt(&version, "Vrsn");
        descriptor->decodeInt(&brightness, "Brgh");
        descriptor->decodeInt(&contrast, "Cntr");
        if (version != 1) return input;
        provider = std::make_shared<QFBrightnessContrastContourProvider>(brightness, contrast);
    } else {
        const OMPSDAttributesAtom* atom = layer.attributesAtomForKey(OMPSDFourCC("brit"));
        if (!atom || atom->data().size() < 6) return input;
        OMPSDBinaryReader reader(atom->data().span());
        auto brightness = static_cast<int16_t>(reader.u16());
        auto contrast = static_cast<int16_t>(reader.u16());
        provider =
            std::make_shared<QFLegacyBrightnessContrastContourProvider>(brightness, contrast);
    }
    return mappedColors(input, provider);
}

BNRenderNodePtr QFColorBalanceContentBuilder(const OMPSDLayer& layer,
                                             const BNRenderNodePtr& input) {
    auto balance = layer.colorBalance();
    auto channel = [&](int c) {
        return std::make_shared<QFColorBalanceContourProvider>(balance.get(), c);
    };
    return mappedColors(input, channel(0), channel(1), channel(2));
}

BNRenderNodePtr QFCurvesContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input) {
    auto curves = layer.curves();
    if (!curves) return input;
    // The channels' own curves come before the master curve.
    BNRenderNodePtr node = mappedColors(input, QFContourProviderForCurve(curves->redCurve()),
                                        QFContourProviderForCurve(curves->greenCurve()),
                                        QFContourProviderForCurve(curves->blueCurve()));
    if (auto master = QFContourProviderForCurve(curves->masterCurve()))
        node = mappedColors(node, master);
    return node;
}

BNRenderNodePtr QFLevelsContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input) {
    auto levels = layer.levels();
    if (!levels) return input;
    // The records after the master follow the document's channels: a
    // grayscale document's one channel, drawn as red, green and blue alike,
    // has the first.
    auto document = layer.document();
    bool gray = document && document->colorMode() == OMPSDDocument::grayscale;
    BNRenderNodePtr node =
        mappedColors(input, QFLevelsProviderForRecord(levels->recordAtIndex(1)),
                     QFLevelsProviderForRecord(levels->recordAtIndex(gray ? 1 : 2)),
                     QFLevelsProviderForRecord(levels->recordAtIndex(gray ? 1 : 3)));
    if (auto master = QFLevelsProviderForRecord(levels->recordAtIndex(0)))
        node = mappedColors(node, master);
    return node;
}

BNRenderNodePtr QFExposureContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input) {
    auto exposure = layer.exposure();
    if (!exposure) return input;
    return mappedColors(input, std::make_shared<QFExposureProvider>(
                                   exposure->exposure(), exposure->offset(), exposure->gamma()));
}

BNRenderNodePtr QFInvertContentBuilder(const OMPSDLayer&, const BNRenderNodePtr& input) {
    return mappedColors(input, std::make_shared<QFBlockContourProvider>(
                                   [](float* values, uint64_t count, BNRenderingContext&) {
                                       float step = count > 1 ? -1.0f / float(count - 1) : 0.0f;
                                       float value = 1.0f;
                                       for (uint64_t k = 0; k < count; ++k, value += step)
                                           values[k] = value;
                                   }));
}

BNRenderNodePtr QFPosterizeContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input) {
    // Fewer than two levels would divide by zero (or flatten everything);
    // such a record is left alone.
    uint16_t n = layer.posterizeLevels();
    if (n < 2) return input;
    // Posterize works on 8-bit levels: level floor(v n / 256) of the value
    // v rounded to 8 bits, drawn as floor(level 255 / (n - 1)). Each entry
    // holds the output of the 8-bit value nearest to it, so that an 8-bit
    // value, which falls between two entries that round to it, is looked
    // up exactly, with no in-between value beside a step.
    return mappedColors(
        input, std::make_shared<QFBlockContourProvider>(
                   [n](float* values, uint64_t count, BNRenderingContext&) {
                       double step = count > 1 ? 255.0 / double(count - 1) : 0.0;
                       for (uint64_t k = 0; k < count; ++k) {
                           uint32_t value = static_cast<uint32_t>(std::lround(double(k) * step));
                           uint32_t level = value * n / 256;
                           values[k] = static_cast<float>(level * 255 / (n - 1u)) / 255.0f;
                       }
                   }));
}

BNRenderNodePtr QFGradientMapContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input) {
    auto map = layer.gradientMap();
    if (!map) return input;
    return BNGradientMappingNode::create(
        input, std::make_shared<QFGradientProvider>(map->gradient(), map->isReversed()));
}

BNRenderNodePtr QFThresholdContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input) {
    double threshold = layer.threshold();
    return BNGradientMappingNode::create(
        input,
        std::make_shared<QFBlockGradientProvider>([threshold](float* values, uint64_t count, bool) {
            double black = std::min(threshold * double(count), double(count));
            uint64_t m = black > 0 ? static_cast<uint64_t>(black) : 0;
            for (uint64_t k = 0; k < count; ++k) {
                float level = k < m ? 0.0f : 1.0f;
                std::fill(values + 4 * k, values + 4 * k + 3, level);
                values[4 * k + 3] = 1.0f;
            }
        }));
}

BNRenderNodePtr QFHueSaturationContentBuilder(const OMPSDLayer& layer,
                                              const BNRenderNodePtr& input) {
    auto list = layer.hueSaturation();
    if (!list) return input;
    if (list->shouldColorize())
        return BNColorizeNode::create(input, list->colorizationHue(),
                                      list->colorizationSaturation(),
                                      list->colorizationLightness());
    std::vector<BNHueSaturationAdjustment> secondary;
    for (const OMPSDHueSaturationRange& range : {list->reds(), list->yellows(), list->greens(),
                                                 list->cyans(), list->blues(), list->magentas()})
        secondary.push_back(adjustmentForRange(range));
    BNHueSaturationAdjustment master;
    master.setHue(list->masterHue());
    master.setSaturation(list->masterSaturation());
    master.setLightness(list->masterLightness());
    return BNHueSaturationAdjustmentNode::create(input, master, std::move(secondary));
}

BNRenderNodePtr QFSelectiveColorContentBuilder(const OMPSDLayer& layer,
                                               const BNRenderNodePtr& input) {
    auto selective = layer.selectiveColor();
    if (!selective) return input;
    BNSelectiveColorAdjustment adjustment;
    adjustment.isAbsolute = selective->isAbsolute();
    bool changes = false;
    for (size_t g = 0; g < adjustment.groups.size(); ++g) {
        const OMPSDSelectiveColorValues& values = selective->groups()[g];
        adjustment.groups[g] = {float(values.cyan), float(values.magenta), float(values.yellow),
                                float(values.black)};
        changes = changes || values != OMPSDSelectiveColorValues();
    }
    if (!changes) return input;
    return BNSelectiveColorNode::create(input, adjustment);
}

BNRenderNodePtr QFVibranceContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input) {
    auto vibrance = layer.vibrance();
    if (!vibrance || (vibrance->vibrance() == 0 && vibrance->saturation() == 0)) return input;
    return BNVibranceAdjustmentNode::create(input, vibrance->vibrance(), vibrance->saturation());
}
