#include "PSDExercise.h"

#include "platform/files/Data.h"
#include "psd/OMPSDDocument.h"

namespace {

constexpr uint64_t kMaximumPlaneBytes = 16 << 20;

size_t readChannel(const OMPSDChannelReference* channel) {
    if (!channel) return 0;
    uint64_t rowBytes = 0, total = 0;
    if (!channel->planeSize(&rowBytes, &total) || total > kMaximumPlaneBytes) return 1;
    auto bytes = channel->byteArray();
    uint8_t first = 0;
    if (bytes->length() > 0) (void)bytes->copyBytes(&first, {0, 1});
    return 1 + first;
}

size_t readFill(const OMPSDFill* fill) {
    if (!fill) return 0;
    if (fill->kind() == OMPSDFill::Kind::gradient) {
        auto gradient = static_cast<const OMPSDGradientFill*>(fill)->gradient();
        return gradient ? gradient->colorStops().size() + gradient->opacityStops().size() : 1;
    }
    return 1;
}

size_t readContour(const OMPSDContour* contour) {
    return contour ? contour->points().size() + contour->continuousPieces().size() : 0;
}

size_t readLayer(const OMPSDLayer& layer) {
    size_t n = layer.name().size() + layer.identifier() % 2 + layer.layerNameSource() % 2;
    n += layer.isVisible() + layer.blendingOptions()->blendingRanges()->isOpaqueForSource();
    n += size_t(layer.effectsReferencePoint().x != 0);
    n += layer.maskIsEnabled() + layer.realMaskIsEnabled() + size_t(layer.maskDensity() > 0);
    for (const auto& channel : layer.channelReferences())
        n += readChannel(channel.get());
    if (auto mask = layer.vectorMask()) {
        for (const auto& path : mask->subpaths())
            n += path.segments().size();
        n += layer.vectorMaskIsEnabled() + layer.vectorMaskIsAlignedToPixels();
    }
    if (auto stroke = layer.vectorStroke())
        n += readFill(stroke->content().get()) + stroke->dashSet().size();
    n += readFill(layer.vectorFill().get()) + layer.colorFill().has_value();
    n += readFill(layer.gradientFill().get()) + readFill(layer.patternFill().get());
    n += readFill(layer.gradientMap().get());
    if (auto levels = layer.levels()) n += size_t(levels->recordAtIndex(0).gamma > 0);
    if (auto curves = layer.curves())
        n += readContour(curves->masterCurve().get()) + readContour(curves->blueCurve().get());
    n += layer.exposure() != nullptr;
    n += layer.colorBalance() != nullptr;
    n += layer.hueSaturation() != nullptr;
    n += layer.vibrance() != nullptr;
    n += layer.posterizeLevels() + size_t(layer.threshold() > 0.5);
    if (auto data = layer.contentGeneratorExtraData()) {
        int32_t value = 0;
        n += data->decodeInt(&value, "Brgh");
    }
    if (auto effects = layer.effects()) {
        n += effects->isVisible();
        for (const auto& effect : effects->orderedEffects())
            n += effect->isEnabled();
        if (auto shadow = effects->dropShadow()) n += readContour(shadow->contour().get());
        if (auto stroke = effects->stroke()) n += readFill(stroke->fill().get());
        if (auto bevel = effects->bevelEmboss()) n += readContour(bevel->shapeContour().get());
    }
    if (auto instance = layer.smartObjectInstance()) n += instance->snapshotIdentifier().size();
    for (const auto& sublayer : layer.sublayers())
        n += sublayer->isGroup();
    return n;
}

}  // namespace

size_t OMPSDExerciseDocument(const uint8_t* data, size_t size) {
    auto opened = OMPSDDocument::create(lf::Data::copy(data, size));
    if (!opened) return 0;
    const auto& document = **opened;
    size_t n =
        document.globalAngle() + document.globalAltitude() + document.imageResources().size();
    for (const auto& resource : document.imageResources())
        n += resource->data().size() + resource->byteArray()->length();
    if (auto info = document.versionInfo()) n += info->writerName.size();
    if (auto colorModeData = document.colorModeData()) n += colorModeData->size();
    for (const auto& layer : document.allLayers())
        n += readLayer(*layer);
    for (const auto& pattern : document.patterns())
        for (const auto& channel : pattern->channelReferences())
            n += readChannel(channel.get());
    for (const auto& snapshot : document.smartObjectSnapshots()) {
        for (const auto& channel : snapshot->channelReferences())
            n += readChannel(channel.get());
        n += readChannel(snapshot->smartFilterMask().get());
    }
    for (const auto& channel : document.mergedChannelReferences())
        n += readChannel(channel.get());
    return n;
}
