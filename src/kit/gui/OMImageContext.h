#pragma once
// Offscreen image contexts: a stack of bitmaps per thread to draw into at a
// chosen scale, and to turn into images.
//
//     if (QPainter* painter = OMBeginImageContextWithOptions(false, true, 100, 50, 0)) {
//         ... draw with *painter, in points ...
//         std::shared_ptr<OMImage> image = OMImageFromImageContext();
//         OMEndImageContext();
//     }
//
// The bitmap is premultiplied 32-bit ARGB (no alpha when opaque), of
// ceil(width x scale) by ceil(height x scale) pixels with rows rounded up to
// 16 bytes. A flipped context draws with y growing downwards, as Qt does
// everywhere; an unflipped one with y growing upwards from the bottom edge.
//
// Begin answers the painter of the new context, or null when none could be
// made (an empty or too large size): then nothing was pushed and the caller
// must not end it. Contexts nest; each end closes the innermost.
//
// Threads: every thread has its own stack.

#include "kit/gui/OMImage.h"

#include <QImage>
#include <QPainter>

#include <memory>

// A scale of 0 means the primary screen's device pixel ratio (1 without a
// screen).
QPainter* OMBeginImageContextWithOptions(bool opaque, bool flipped, double width, double height,
                                         double scale);
// Not opaque, flipped, scale 1.
QPainter* OMBeginImageContext(double width, double height);

// The innermost context's painter, or null when the thread has none.
QPainter* OMCurrentImageContext();
// The innermost context's scale, 0 when the thread has none.
double OMCurrentImageContextScale();

// A copy of the innermost context's pixels; a null image when there is none.
QImage OMCreateImageFromImageContext();
// The same as an image of pixel size / scale points; null when there is none.
std::shared_ptr<OMImage> OMImageFromImageContext();

// Closes the innermost context; the one before becomes current again.
void OMEndImageContext();
