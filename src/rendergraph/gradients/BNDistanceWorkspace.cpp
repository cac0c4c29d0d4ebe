#include "rendergraph/gradients/BNDistanceWorkspace.h"

#include "rendergraph/core/BNInputMargin.h"

BNDistanceWorkspace::BNDistanceWorkspace(const BNSurface& input, const BNSurface& output,
                                         BNRenderingContext& context, double w)
    : w_(w), margin_(marginForWidth(w)) {
    std::optional<BNMargin> available = BNInputMargin(input, output);
    if (!available || available->x < margin_ || available->y < margin_) return;
    const uint64_t skipX = available->x - margin_, skipY = available->y - margin_;
    const uint64_t stride = input.bytesPerRow() / sizeof(float);
    trimmed_ = {output.widthInPixels() + 2 * margin_, output.heightInPixels() + 2 * margin_, stride,
                input.row(skipY) + skipX};
    field_.emplace(context, trimmed_.width * trimmed_.height);
}

void BNDistanceWorkspace::computeForPosition(VKStrokePosition position,
                                             BNDistanceTechnique technique, const BNSurface* band) {
    BNDistancePlanes planes;
    planes.input = trimmed_;
    planes.field = {trimmed_.width, trimmed_.height, trimmed_.width, field_->data()};
    if (band)
        planes.final = {band->widthInPixels(), band->heightInPixels(),
                        band->bytesPerRow() / sizeof(float), band->data()};
    if (position == VKStrokePositionCentered)
        BNCentredDistance(technique, planes, w_);
    else
        BNOneSidedDistance(position == VKStrokePositionInside, planes, w_);
}

const float* BNDistanceWorkspace::fieldAtOutputPixel(uint64_t x, uint64_t y) const {
    return field_->data() + (y + margin_) * trimmed_.width + x + margin_;
}
