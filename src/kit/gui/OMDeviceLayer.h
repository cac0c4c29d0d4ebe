#pragma once
// OMDeviceLayer: an offscreen premultiplied ARGB layer over a rectangle of
// device pixels, in which the template effects and shadows are put together
// before they reach the painter: what transparency layers, blend modes and
// drop shadows of the current context do on other platforms.
//
// Every layer of one drawing covers the same bounds, so layers combine pixel
// for pixel with composite().
//
// Threads: a layer belongs to the thread that draws with it.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QTransform>

#include <functional>

// Draws a shape, opaque, with the painter's current composition mode (the
// layers cut shapes out with it).
using OMShapeDrawer = std::function<void(QPainter&)>;

class OMDeviceLayer {
public:
    // Transparent.
    explicit OMDeviceLayer(const QRect& deviceBounds);

    const QRect& bounds() const { return bounds_; }
    const QImage& image() const { return image_; }

    // Calls `draw` with a painter on the layer that draws in the user space
    // `userToDevice` maps onto the device, moved by `deviceOffset` pixels.
    // Antialiased, smooth image scaling.
    void paint(const QTransform& userToDevice, const OMShapeDrawer& draw,
               QPointF deviceOffset = QPointF());

    // Draws `other` (of the same bounds) onto this layer with `mode`, only
    // inside `deviceClip` when it is not empty.
    void composite(const OMDeviceLayer& other, QPainter::CompositionMode mode,
                   const QRectF& deviceClip = QRectF());

    // Fills the layer (inside `deviceClip` when not empty) with `color`.
    void fill(const QColor& color, QPainter::CompositionMode mode,
              const QRectF& deviceClip = QRectF());

    // The shadow that a shape casts: the shape's coverage drawn by
    // `drawShape` (opaque), moved by `deviceOffset`, blurred by a radius of
    // `deviceBlur` pixels (OMAlphaBlur.h) and coloured with `color`.
    static OMDeviceLayer shadow(const QRect& deviceBounds, const QTransform& userToDevice,
                                const OMShapeDrawer& drawShape, QPointF deviceOffset,
                                double deviceBlur, const QColor& color);

    // Draws the layer onto `painter` at its device bounds with `mode`.
    void drawOnto(QPainter& painter,
                  QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver) const;

private:
    QRect bounds_;
    QImage image_;
};
