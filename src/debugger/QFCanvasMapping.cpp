#include "debugger/QFCanvasMapping.h"

#include <algorithm>
#include <cmath>

QFCanvasMapping QFCanvasMapping::forCanvas(QSizeF canvasSize, VKRect maxPathBounds) {
    QFCanvasMapping mapping;
    if (!VKRectIsFinite(maxPathBounds)) return mapping;
    const double pathWidth = VKRectGetWidth(maxPathBounds);
    const double pathHeight = VKRectGetHeight(maxPathBounds);
    // A canvas no larger than its margins still gets a drawing area of one
    // point, so the scale stays finite.
    const double areaWidth = std::max(canvasSize.width() - 2 * kMargin, 1.0);
    const double areaHeight = std::max(canvasSize.height() - 2 * kMargin, 1.0);
    // The bounds fit on both axes at the larger of the two ratios.
    const double scale = std::max(pathWidth / areaWidth, pathHeight / areaHeight);
    if (!std::isfinite(scale) || scale <= 0) return mapping;
    mapping.pixelScale = scale;
    mapping.centeringOffset = {(scale * areaWidth - pathWidth) * 0.5,
                               (areaHeight * scale - pathHeight) * 0.5};
    mapping.pathOrigin = {VKRectGetMinX(maxPathBounds), VKRectGetMinY(maxPathBounds)};
    return mapping;
}

QPointF QFCanvasMapping::canvasPoint(VKPoint p) const {
    return {(p.x - pathOrigin.x + centeringOffset.x) / pixelScale + kMargin,
            (p.y - pathOrigin.y + centeringOffset.y) / pixelScale + kMargin};
}

VKPoint QFCanvasMapping::pathPoint(QPointF p) const {
    return {(p.x() - kMargin) * pixelScale - centeringOffset.x + pathOrigin.x,
            (p.y() - kMargin) * pixelScale - centeringOffset.y + pathOrigin.y};
}

QRectF QFCanvasMapping::canvasRect(VKRect r) const {
    return {canvasPoint(r.origin),
            QSizeF(VKRectGetWidth(r) / pixelScale, VKRectGetHeight(r) / pixelScale)};
}

VKRect QFCanvasMapping::squareAround(VKPoint p) const {
    const double side = 6.0 * pixelScale;
    return VKRectMake(p.x - side / 2, p.y - side / 2, side, side);
}
