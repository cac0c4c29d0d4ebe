#pragma once
// QFCanvasMapping: how a boolean-operation record maps path coordinates
// (those of the operands) into its canvas and back. The canvas keeps a
// margin of 20 points on every side; inside it the paths of every record
// (the canvas's maxPathBounds) fit whole, centred on the axis that has room
// to spare. y grows downwards on both sides, so larger path y values lie
// lower on screen.
//
// A plain value; safe to copy between threads.

#include "geometry/VKGeometry.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

struct QFCanvasMapping {
    // The margin around the drawing, in canvas points.
    static constexpr double kMargin = 20.0;

    // Path units per canvas point; always finite and above zero.
    double pixelScale = 1.0;
    // Path units added on each axis to centre the paths.
    VKPoint centeringOffset;
    // The path point that maps to the corner of the drawing area (before
    // centring): the least corner of the bounds.
    VKPoint pathOrigin;

    // The smallest scale at which `maxPathBounds` fits into a canvas of
    // `canvasSize` less its margins, and the offsets that centre it.
    // Bounds without extent and canvases of no more than the margins leave
    // nothing to fit: those keep a scale of 1 rather than one of zero (or
    // of its infinite inverse).
    static QFCanvasMapping forCanvas(QSizeF canvasSize, VKRect maxPathBounds);

    QPointF canvasPoint(VKPoint pathPoint) const;
    VKPoint pathPoint(QPointF canvasPoint) const;
    // The rectangle on the canvas of a rectangle in path coordinates.
    QRectF canvasRect(VKRect pathRect) const;
    // The square six canvas points wide centred on a path point, in path
    // coordinates: how points are marked.
    VKRect squareAround(VKPoint pathPoint) const;
};
