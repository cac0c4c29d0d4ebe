#include "compositing/content/QFLayerShapeBounds.h"

#include "compositing/content/QFContentBuilders.h"
#include "compositing/content/QFHalfCoveredPixelBounds.h"
#include "compositing/content/QFPSDStrokePathFixer.h"
#include "compositing/content/QFVectorMaskPaths.h"
#include "compositing/content/QFVectorStroke.h"
#include "geometry/VKPathAccumulator.h"
#include "geometry/VKPathStroker.h"
#include "rendergraph/blurs/BNGaussianBlurNode.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

VKRect grownByFeather(VKRect rect, double feather) {
    if (!(feather > 0)) return rect;
    double e = BNGaussianBlurNode::expansionForBlurRadius(feather);
    return VKRectInset(rect, -e, -e);
}

VKRect rectOf(const OMPSDRect& r) {
    return VKRectMake(r.left, r.top, static_cast<double>(int64_t{r.right} - r.left),
                      static_cast<double>(int64_t{r.bottom} - r.top));
}

// A shape whose vector mask is part of its shape and makes its bounds.
bool hasVectorMaskShape(const OMPSDLayer& layer) {
    bool hasPaint = layer.colorFill() || layer.gradientFill() || layer.patternFill() ||
                    QFShapeVectorStroke(layer);
    if (!hasPaint && layer.blendingOptions()->transparencyShapesLayer()) return false;
    return layer.vectorMask() && layer.vectorMaskIsEnabled() &&
           !layer.blendingOptions()->vectorMaskHidesEffects();
}

VKRect scaledRect(VKRect rect, double k) {
    return VKRectMake(rect.origin.x * k, rect.origin.y * k, rect.size.width * k,
                      rect.size.height * k);
}

// What a caller of the shape bounds counts.
struct BoundsRules {
    // The mask's feather grows the bounds (else a vector-mask shape is
    // aligned to 1/32 of a pixel instead of whole pixels).
    bool feathered = true;
    // An inverted raster mask bounds a fill or adjustment layer.
    bool invertedMaskCounts = true;
    // A pixel layer counts only its pixels at least half covered.
    bool halfCoveredPixels = false;
};

VKRect shapeBounds(const OMPSDLayer& layer, BoundsRules rules) {
    VKSize document = QFDocumentSizeForLayer(layer);
    if (hasVectorMaskShape(layer)) {
        VKRect r = QFVectorMaskPathBounds(*layer.vectorMask(), document.width, document.height);
        if (rules.feathered) r = grownByFeather(r, layer.vectorMaskFeatherAmount());
        auto stroke = QFShapeVectorStroke(layer);
        if (stroke && stroke->strokeEnabled()) {
            // An outline with nothing to stroke adds nothing (its stroke's
            // bounds are the zero rectangle, which would reach the origin).
            VKRect stroked = VKRectZero;
            if (auto path = QFSimplifiedCompoundPathForLayer(layer))
                stroked = QFStrokedPathBounds(*path, *stroke);
            if (!VKRectIsEmpty(stroked)) r = VKRectUnion(r, QFPixelAlignedRect(stroked));
        }
        if (rules.feathered) return QFPixelAlignedRect(r);
        return scaledRect(QFPixelAlignedRect(scaledRect(r, 32)), 1.0 / 32);
    }
    if (!QFContentBuilderForLayer(layer)) {
        VKRect r = rectOf(layer.rect());
        if (rules.halfCoveredPixels) r = QFHalfCoveredPixelBounds(layer).value_or(r);
        return rules.feathered ? grownByFeather(r, layer.maskFeatherAmount()) : r;
    }
    VKRect base = VKRectMake(0, 0, document.width, document.height);
    if (layer.vectorMask() && layer.vectorMaskIsEnabled())
        base = VKRectInset(VKRectIntegral(QFVectorMaskPathBounds(*layer.vectorMask(),
                                                                 document.width, document.height)),
                           -1, -1);
    VKRect m = QFLayerMaskBounds(layer);
    if (!VKRectIsNull(m) && !VKRectIsEmpty(m) &&
        (rules.invertedMaskCounts || !layer.maskIsInverted()))
        return rules.feathered ? grownByFeather(m, layer.maskFeatherAmount()) : m;
    return base;
}

}  // namespace

VKRect QFLayerShapeBounds(const OMPSDLayer& layer) {
    return shapeBounds(layer, {});
}

VKRect QFLayerShapeBoundsUnfeathered(const OMPSDLayer& layer) {
    return shapeBounds(layer, {.feathered = false});
}

VKRect QFGradientFillLayerBounds(const OMPSDLayer& layer) {
    return shapeBounds(layer, {.invertedMaskCounts = false});
}

VKRect QFLayerGradientBounds(const OMPSDLayer& layer) {
    return shapeBounds(layer, {.halfCoveredPixels = true});
}

VKRect QFLayerGradientBoundsUnfeathered(const OMPSDLayer& layer) {
    return shapeBounds(layer, {.feathered = false, .halfCoveredPixels = true});
}

VKRect QFVectorMaskPathBounds(const OMPSDCompoundPath& mask, double width, double height) {
    if (mask.subpaths().empty()) return VKRectNull;
    VKRect r = VKRectMake(0, 0, width, height);
    bool first = true;
    int operation = OMPSDPathOperationAdd;
    for (const OMPSDPath& subpath : mask.subpaths()) {
        if (subpath.operation() != OMPSDPathOperationContinue) operation = subpath.operation();
        if (operation == OMPSDPathOperationSubtract) continue;
        auto path = QFPathForVectorMaskSubpath(subpath, width, height);
        if (path->numberOfKnots() == 1 && !path->isClosed()) continue;
        // The box of the curves themselves: where a handle sticks out past
        // its curve, the box does not follow it.
        double minX = DBL_MAX, minY = DBL_MAX, maxX = -DBL_MAX, maxY = -DBL_MAX;
        path->flattenWithCallback([&](VKPoint p) {
            minX = std::min(minX, p.x);
            minY = std::min(minY, p.y);
            maxX = std::max(maxX, p.x);
            maxY = std::max(maxY, p.y);
        });
        VKRect subpathBox =
            minX <= maxX ? VKRectMake(minX, minY, maxX - minX, maxY - minY) : VKRectNull;
        if (operation == OMPSDPathOperationExclude || operation == OMPSDPathOperationAdd)
            r = first ? subpathBox : VKRectUnion(r, subpathBox);
        else if (operation == OMPSDPathOperationIntersect)
            r = VKRectIntersection(r, subpathBox);
        first = false;
    }
    return r;
}

VKRect QFVectorMaskBoundsForLayer(const OMPSDLayer& layer) {
    auto mask = layer.vectorMask();
    if (!mask) return VKRectNull;
    VKSize document = QFDocumentSizeForLayer(layer);
    return QFPixelAlignedRect(QFVectorMaskPathBounds(*mask, document.width, document.height));
}

VKRect QFLayerMaskBounds(const OMPSDLayer& layer) {
    if (auto real = layer.channelReferenceForIdentifier(-3))
        return layer.realMaskIsEnabled() ? rectOf(real->rect()) : VKRectNull;
    if (!layer.maskIsPrerenderedVectorMask() && layer.maskIsEnabled())
        if (auto user = layer.channelReferenceForIdentifier(-2)) return rectOf(user->rect());
    return VKRectNull;
}

VKRect QFStrokedPathBounds(const VKCompoundPath& path, const OMPSDVectorStroke& stroke) {
    VKStrokeStyle style = QFStrokeStyleForVectorStroke(stroke);
    auto accumulator = std::make_shared<VKPathAccumulator>();
    QFPSDStrokePathFixer fixer(std::make_shared<VKPathStroker>(accumulator, style), style);
    path.applyToPathConsumer(fixer);
    VKRect bounds = VKCompoundPath(accumulator->paths()).bounds();
    return VKRectIsNull(bounds) ? VKRectZero : bounds;
}

VKRect QFPixelAlignedRect(VKRect rect) {
    if (VKRectIsNull(rect) || !VKRectIsFinite(rect)) return rect;
    auto edge = [](double value, double (*outward)(double)) {
        double nearest = std::round(value);
        return std::fabs(nearest - value) < 1.0 / 32 ? nearest : outward(value);
    };
    double left = edge(VKRectGetMinX(rect), std::floor);
    double top = edge(VKRectGetMinY(rect), std::floor);
    double right = edge(VKRectGetMaxX(rect), std::ceil);
    double bottom = edge(VKRectGetMaxY(rect), std::ceil);
    return VKRectMake(left, top, right - left, bottom - top);
}
