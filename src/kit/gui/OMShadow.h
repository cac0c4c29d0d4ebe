#pragma once
// OMShadow: a drop shadow's offset, blur radius and colour, and the drawing
// of the shadow alone that a path casts.
//
// Offsets are y-up, as the shadow recipes of the interface are written:
// a positive y casts the shadow upwards on screen. Drop shadows apply in
// device space: the shadows drawn here take their offset and blur radius in
// device pixels, whatever the painter's scale: the interface's shadow
// recipes give sizes of the screen's pixels, and a shadow one pixel high
// stays one pixel high on a 2x display; the template effects scale them
// where they should follow the points (OMTemplateEffect.h).
//
// Threads: a value; drawing touches only the painter given.

#include "kit/gui/OMDeviceLayer.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>

struct OMShadow {
    QPointF offset;
    double blurRadius = 0;
    QColor color = QColor(0, 0, 0, 85);  // black at a third

    // The offset in y-down device pixels, for shadows drawn at `scale`
    // device pixels per shadow unit.
    QPointF deviceOffset(double scale) const { return {offset.x() * scale, -offset.y() * scale}; }

    // Only the shadow that filling `path` would cast; the path itself stays
    // invisible. With `omitContents`, the shadow shows only outside the path.
    void drawWithBezierPath(QPainter& painter, const QPainterPath& path,
                            bool omitContents = false) const;
    void drawOutsideBezierPath(QPainter& painter, const QPainterPath& path) const {
        drawWithBezierPath(painter, path, true);
    }
    // The shadow that the surroundings of `path` cast into it, as if the
    // path were a hole; with `omitExterior`, only inside the path.
    void drawInsideBezierPath(QPainter& painter, const QPainterPath& path,
                              bool omitExterior = true) const;

    // Draws onto `painter` the shadow of the shape `drawShape` (in the
    // painter's coordinates, within `shapeBounds`), at `scale` device pixels
    // per shadow unit, only inside `clip` when it is not empty, and, with
    // `cutShape`, not inside the shape.
    void drawShadowOfShape(QPainter& painter, const OMShapeDrawer& drawShape,
                           const QRectF& shapeBounds, double scale, const QRectF& clip,
                           bool cutShape) const;
};
