#include "compositing/fills/QFFillRendering.h"

#include "compositing/fills/QFCorrectedLightAngle.h"
#include "compositing/providers/QFGradientProvider.h"
#include "compositing/providers/QFImageProvider.h"
#include "compositing/shared/QFLayerList.h"
#include "platform/core/Log.h"
#include "psd/OMPSDDocument.h"
#include "rendergraph/gradients/BNAngularGradientNode.h"
#include "rendergraph/gradients/BNDiamondGradientNode.h"
#include "rendergraph/gradients/BNLinearGradientNode.h"
#include "rendergraph/gradients/BNRadialGradientNode.h"
#include "rendergraph/gradients/BNReflectedGradientNode.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/images/BNPatternNode.h"

#include <cmath>
#include <numbers>

namespace {

// Where a generator of each gradient style is placed.
struct GradientPlacement {
    VKPoint center;            // angle, diamond and radial
    double angle = 0;          // angle and diamond, degrees, already corrected
    double radius = 0;         // diamond and radial
    QFGradientEndpoints axis;  // linear and reflected
};

// The generator of `style`; null for shape bursts and unknown styles.
BNRenderNodePtr gradientNodeForStyle(OMPSDGradientStyle style, const GradientPlacement& p,
                                     std::shared_ptr<const BNGradientProvider> provider,
                                     bool dither) {
    switch (style) {
        case OMPSDGradientStyleAngle:
            return BNAngularGradientNode::create(p.center, p.angle, std::move(provider), dither);
        case OMPSDGradientStyleDiamond:
            return BNDiamondGradientNode::create(p.center, p.angle, p.radius, std::move(provider),
                                                 dither);
        case OMPSDGradientStyleLinear:
            return BNLinearGradientNode::create(p.axis.start, p.axis.end, std::move(provider),
                                                dither);
        case OMPSDGradientStyleRadial:
            return BNRadialGradientNode::create(p.center, p.radius, std::move(provider), dither);
        case OMPSDGradientStyleReflected:
            return BNReflectedGradientNode::create(p.axis.start, p.axis.end, std::move(provider),
                                                   dither);
        default:
            return nullptr;
    }
}

BNRenderNodePtr gradientFillNode(const OMPSDGradientFill& fill, VKRect layerBounds,
                                 VKRect documentBounds) {
    VKRect q =
        VKRectIsEmpty(layerBounds) || !fill.isAlignedWithLayer() ? documentBounds : layerBounds;
    GradientPlacement placement;
    placement.center =
        VKPointMake(std::floor(VKRectGetMidX(q) + fill.horizontalOffset() * VKRectGetWidth(q)),
                    std::floor(VKRectGetMidY(q) + fill.verticalOffset() * VKRectGetHeight(q)));
    placement.angle = QFCorrectedLightAngle(fill.angle());
    placement.axis = QFFillGradientEndpoints(q, fill.angle(), fill.scale(), fill.horizontalOffset(),
                                             fill.verticalOffset());
    placement.radius = std::hypot(placement.axis.start.x - placement.center.x,
                                  placement.axis.start.y - placement.center.y);
    if (fill.style() == OMPSDGradientStyleReflected) {
        // A reflected gradient runs from the centre to the end point and is
        // mirrored through the centre.
        VKPoint end = placement.axis.end;
        placement.axis.start =
            VKPointMake(2 * placement.center.x - end.x, 2 * placement.center.y - end.y);
    }
    return gradientNodeForStyle(
        fill.style(), placement,
        std::make_shared<QFGradientProvider>(fill.gradient(), fill.isReversed()),
        fill.isDithered());
}

// Rounds towards zero.
double truncated(double value) {
    return value >= 0 ? std::floor(value) : std::ceil(value);
}

}  // namespace

BNRenderNodePtr QFRenderNodeForFill(const OMPSDFill& fill, VKRect layerBounds,
                                    VKRect documentBounds, const OMPSDLayer& layer) {
    switch (fill.kind()) {
        case OMPSDFill::Kind::color: {
            const OMPSDColor& c = static_cast<const OMPSDColorFill&>(fill).color();
            return BNConstantColorNode::create({c.red(), c.green(), c.blue(), 1.0, 0.0},
                                               BNChannelMaskRGBA);
        }
        case OMPSDFill::Kind::gradient:
            return gradientFillNode(static_cast<const OMPSDGradientFill&>(fill), layerBounds,
                                    documentBounds);
        case OMPSDFill::Kind::pattern:
            return QFPatternNodeForFill(static_cast<const OMPSDPatternFill&>(fill), layer);
    }
    return nullptr;
}

QFGradientEndpoints QFFillGradientEndpoints(VKRect rect, double angle, double scale,
                                            double horizontalOffset, double verticalOffset) {
    // Documents keep angles within -180..180; others are folded in by whole
    // turns.
    if (std::isfinite(angle) && (angle < -180 || angle > 180))
        angle -= 360 * std::round(angle / 360);
    double m = std::abs(angle);
    double hw = VKRectGetWidth(rect) * 0.5, hh = VKRectGetHeight(rect) * 0.5;
    // A point on the edge of the half-extent box in the angle's direction,
    // within 45 degrees of the horizontal found by its slope, else of the
    // vertical by its inverse slope.
    auto slope = [](double degrees) { return std::tan(degrees * std::numbers::pi / 180); };
    double x, y;
    if (m <= 45 || m >= 135) {
        double t = slope(m <= 45 ? m : 180 - m);
        if (t * hw < hh)
            x = hw, y = t * hw;
        else
            x = hh / t, y = hh;
    } else {
        double u = slope(m <= 90 ? 90 - m : m - 90);
        if (u * hh <= hw)
            x = u * hh, y = hh;
        else
            x = hw, y = hw / u;
    }
    if (angle > 0) y = -y;  // positive angles point up; y grows downwards
    if (m > 90) x = -x;
    if (scale != 1) {
        x = truncated(x * scale);
        y = truncated(y * scale);
    }
    double ox = VKRectGetMidX(rect) + 2 * hw * horizontalOffset;
    double oy = VKRectGetMidY(rect) + 2 * hh * verticalOffset;
    return {VKPointMake(std::floor(ox - x), std::floor(oy - y)),
            VKPointMake(std::floor(ox + x), std::floor(oy + y))};
}

std::shared_ptr<const BNImageProvider> QFImageProviderForPattern(const OMPSDPattern& pattern) {
    std::shared_ptr<const OMPSDChannelReference> planes[3], transparency;
    for (const auto& reference : pattern.channelReferences()) {
        // The whole tile is held while it repeats, so a damaged rectangle
        // must not get as far as asking for that memory.
        if (reference && !reference->compressedBytesCanHoldPlane()) {
            lf::log("Pattern '{}': {} claims more samples than the document stores", pattern.name(),
                    reference->debugIdentifier());
            return nullptr;
        }
        int id = reference ? reference->identifier() : -2;
        if (id >= 0 && id <= 2 && !planes[id]) planes[id] = reference;
        if (id == -1 && !transparency) transparency = reference;
    }
    QFImageProvider::ChannelReferenceList references;
    switch (pattern.imageMode()) {
        case OMPSDDocument::rgb:
            references = {planes[0], planes[1], planes[2]};
            break;
        case OMPSDDocument::grayscale:
            references = {planes[0], planes[0], planes[0]};
            break;
        case OMPSDDocument::indexed:
            if (!planes[0]) return nullptr;
            return QFImageProvider::createIndexed(planes[0], transparency, pattern.colorTable());
        default:
            return nullptr;
    }
    if (!references[0] || !references[1] || !references[2]) return nullptr;
    std::vector<BNChannel> identifiers{BNChannelRed, BNChannelGreen, BNChannelBlue};
    if (transparency) {
        references.push_back(transparency);
        identifiers.push_back(BNChannelOpacity);
    }
    return QFImageProvider::create(std::move(references), std::move(identifiers), std::nullopt,
                                   QFImageProviderHalfRange16BitOption);
}

std::shared_ptr<const OMPSDPattern> QFPatternForIdentifier(const OMPSDLayer& layer,
                                                           const std::string& identifier) {
    if (auto document = layer.document())
        for (const auto& candidate : document->patterns())
            if (candidate && candidate->identifier() == identifier) return candidate;
    return nullptr;
}

BNRenderNodePtr QFPatternNodeForFill(const OMPSDPatternFill& fill, const OMPSDLayer& layer) {
    std::string identifier = fill.patternReference() ? fill.patternReference()->identifier() : "";
    std::shared_ptr<const OMPSDPattern> pattern = QFPatternForIdentifier(layer, identifier);
    if (!pattern) {
        lf::log("Unable to find pattern with identifier: {}", identifier);
        return nullptr;
    }
    auto provider = QFImageProviderForPattern(*pattern);
    if (!provider) {
        lf::log(
            "Pattern {} of layer {}: its tile is not RGB, grayscale or indexed colour, or "
            "is damaged",
            identifier, QFLayerLogName(layer));
        return nullptr;
    }
    return BNPatternNode::create(std::move(provider), fill.scale(),
                                 QFPatternPhase(fill.horizontalPhase(), fill.verticalPhase(),
                                                fill.isLinkedWithLayer(), layer));
}

VKPoint QFPatternPhase(double horizontalPhase, double verticalPhase, bool isLinkedWithLayer,
                       const OMPSDLayer& layer) {
    VKPoint phase = VKPointMake(-horizontalPhase, -verticalPhase);
    if (isLinkedWithLayer) {
        OMPSDPoint reference = layer.effectsReferencePoint();
        phase.x -= reference.x;
        phase.y -= reference.y;
    }
    return phase;
}
