#pragma once
// Device space: the pixels a painter finally writes. The kit draws its
// effects and crisp edges there: a painter's own coordinates (points) map
// onto it through the painter's world transform and its device's pixel
// ratio.
//
// Threads: plain functions.

#include <QPainter>
#include <QRectF>
#include <QTransform>

#include <functional>

// From the painter's coordinates to device pixels.
QTransform OMUserToDeviceTransform(const QPainter& painter);

// The scale from the painter's coordinates to device pixels along x: the
// width of a 1 by 1 square on the device.
double OMDeviceScale(const QPainter& painter);

// `rect` grown outwards to whole device pixels, in the painter's coordinates.
QRectF OMAlignRectToDevicePixels(const QPainter& painter, const QRectF& rect);

// Calls `draw` with the painter set to draw in device pixels; the painter's
// state is restored afterwards.
void OMDrawInDeviceSpace(QPainter& painter, const std::function<void(QPainter&)>& draw);
