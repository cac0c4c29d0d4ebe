#include "kit/gui/OMDeviceSpace.h"

#include <QPaintDevice>

#include <cmath>

namespace {

double devicePixelRatio(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    return device ? device->devicePixelRatio() : 1.0;
}

}  // namespace

QTransform OMUserToDeviceTransform(const QPainter& painter) {
    const double ratio = devicePixelRatio(painter);
    return painter.worldTransform() * QTransform::fromScale(ratio, ratio);
}

double OMDeviceScale(const QPainter& painter) {
    const QTransform transform = OMUserToDeviceTransform(painter);
    return transform.m11() + transform.m21();
}

QRectF OMAlignRectToDevicePixels(const QPainter& painter, const QRectF& rect) {
    const QTransform toDevice = OMUserToDeviceTransform(painter);
    bool invertible = false;
    const QTransform toUser = toDevice.inverted(&invertible);
    if (!invertible) return rect;
    const QRectF device = toDevice.mapRect(rect);
    const double left = std::floor(device.left()), top = std::floor(device.top());
    const QRectF integral(left, top, std::ceil(device.right()) - left,
                          std::ceil(device.bottom()) - top);
    return toUser.mapRect(integral);
}

void OMDrawInDeviceSpace(QPainter& painter, const std::function<void(QPainter&)>& draw) {
    const double ratio = devicePixelRatio(painter);
    painter.save();
    painter.setWorldTransform(QTransform::fromScale(1.0 / ratio, 1.0 / ratio));
    draw(painter);
    painter.restore();
}
