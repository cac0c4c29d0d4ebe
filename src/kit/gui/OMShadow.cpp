#include "kit/gui/OMShadow.h"

#include "kit/gui/OMDeviceSpace.h"

#include <algorithm>
#include <cmath>

void OMShadow::drawShadowOfShape(QPainter& painter, const OMShapeDrawer& drawShape,
                                 const QRectF& shapeBounds, double scale, const QRectF& clip,
                                 bool cutShape) const {
    const QTransform toDevice = OMUserToDeviceTransform(painter);
    // Room for the shape moved by the offset and spread by the blur's reach
    // (three standard deviations).
    const QPointF moved = deviceOffset(scale);
    const double reach = 1.5 * blurRadius * scale + 2;
    QRectF device = toDevice.mapRect(shapeBounds);
    device = device.united(device.translated(moved)).adjusted(-reach, -reach, reach, reach);
    const QRect bounds = device.toAlignedRect();
    if (bounds.isEmpty()) return;

    OMDeviceLayer shadow =
        OMDeviceLayer::shadow(bounds, toDevice, drawShape, moved, blurRadius * scale, color);
    if (cutShape) {
        shadow.paint(toDevice, [&](QPainter& layer) {
            layer.setCompositionMode(QPainter::CompositionMode_DestinationOut);
            drawShape(layer);
        });
    }
    painter.save();
    if (!clip.isEmpty()) painter.setClipRect(clip, Qt::IntersectClip);
    shadow.drawOnto(painter);
    painter.restore();
}

void OMShadow::drawWithBezierPath(QPainter& painter, const QPainterPath& path,
                                  bool omitContents) const {
    const double spread = std::max(std::fabs(static_cast<float>(offset.x())),
                                   std::fabs(static_cast<float>(offset.y()))) +
                          blurRadius;
    const QRectF bounds = path.boundingRect();
    drawShadowOfShape(
        painter, [&](QPainter& layer) { layer.fillPath(path, Qt::black); }, bounds, 1.0,
        bounds.adjusted(-spread, -spread, spread, spread), omitContents);
}

void OMShadow::drawInsideBezierPath(QPainter& painter, const QPainterPath& path,
                                    bool omitExterior) const {
    const double dx = std::fabs(static_cast<float>(offset.x())) + blurRadius;
    const double dy = std::fabs(static_cast<float>(offset.y())) + blurRadius;
    // Everything around the path: its bounds grown by the shadow's reach,
    // with the path cut out.
    QPainterPath surroundings;
    surroundings.setFillRule(Qt::OddEvenFill);
    surroundings.addRect(path.boundingRect().adjusted(-dx, -dy, dx, dy));
    surroundings.addPath(path);
    auto drawSurroundings = [&](QPainter& layer) { layer.fillPath(surroundings, Qt::black); };
    if (!omitExterior) {
        drawShadowOfShape(painter, drawSurroundings, surroundings.boundingRect(), 1.0, QRectF(),
                          false);
        return;
    }
    painter.save();
    painter.setClipPath(path, Qt::IntersectClip);
    drawShadowOfShape(painter, drawSurroundings, surroundings.boundingRect(), 1.0,
                      path.boundingRect(), false);
    painter.restore();
}
