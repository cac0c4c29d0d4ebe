#include "kit/gui/OMDeviceLayer.h"

#include "kit/gui/OMAlphaBlur.h"
#include "kit/gui/OMDeviceSpace.h"

OMDeviceLayer::OMDeviceLayer(const QRect& deviceBounds)
    : bounds_(deviceBounds),
      image_(deviceBounds.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied) {
    image_.fill(Qt::transparent);
}

void OMDeviceLayer::paint(const QTransform& userToDevice, const OMShapeDrawer& draw,
                          QPointF deviceOffset) {
    QPainter painter(&image_);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    painter.setTransform(userToDevice * QTransform::fromTranslate(deviceOffset.x() - bounds_.x(),
                                                                  deviceOffset.y() - bounds_.y()));
    draw(painter);
}

void OMDeviceLayer::composite(const OMDeviceLayer& other, QPainter::CompositionMode mode,
                              const QRectF& deviceClip) {
    QPainter painter(&image_);
    if (!deviceClip.isEmpty()) painter.setClipRect(deviceClip.translated(-bounds_.topLeft()));
    painter.setCompositionMode(mode);
    painter.drawImage(QPointF(other.bounds_.topLeft() - bounds_.topLeft()), other.image_);
}

void OMDeviceLayer::fill(const QColor& color, QPainter::CompositionMode mode,
                         const QRectF& deviceClip) {
    QPainter painter(&image_);
    painter.setCompositionMode(mode);
    painter.fillRect(
        deviceClip.isEmpty() ? QRectF(image_.rect()) : deviceClip.translated(-bounds_.topLeft()),
        color);
}

OMDeviceLayer OMDeviceLayer::shadow(const QRect& deviceBounds, const QTransform& userToDevice,
                                    const OMShapeDrawer& drawShape, QPointF deviceOffset,
                                    double deviceBlur, const QColor& color) {
    OMDeviceLayer shape(deviceBounds);
    shape.paint(userToDevice, drawShape, deviceOffset);
    const QImage coverage = OMGaussianBlurAlpha(shape.image_.convertToFormat(QImage::Format_Alpha8),
                                                OMGaussianSigmaForBlurRadius(deviceBlur));

    OMDeviceLayer shadow(deviceBounds);
    const QRgb premultiplied = qPremultiply(color.rgba());
    for (int y = 0; y < coverage.height(); ++y) {
        const uchar* alpha = coverage.constScanLine(y);
        auto* out = reinterpret_cast<QRgb*>(shadow.image_.scanLine(y));
        for (int x = 0; x < coverage.width(); ++x) {
            const int a = alpha[x];
            auto scaled = [a](int channel) { return (channel * a + 127) / 255; };
            out[x] = qRgba(scaled(qRed(premultiplied)), scaled(qGreen(premultiplied)),
                           scaled(qBlue(premultiplied)), scaled(qAlpha(premultiplied)));
        }
    }
    return shadow;
}

void OMDeviceLayer::drawOnto(QPainter& painter, QPainter::CompositionMode mode) const {
    OMDrawInDeviceSpace(painter, [&](QPainter& device) {
        device.setCompositionMode(mode);
        device.drawImage(QPointF(bounds_.topLeft()), image_);
    });
}
