#pragma once
// Canvases for the kit's drawing tests: an image to paint into and probe.

#include <QColor>
#include <QImage>
#include <QPainter>

#include <functional>

namespace lf::test {

// A transparent canvas of `width` by `height` points at `scale` pixels per
// point, painted by `draw` with antialiasing.
inline QImage paintCanvas(int width, int height, double scale,
                          const std::function<void(QPainter&)>& draw) {
    QImage canvas(static_cast<int>(width * scale), static_cast<int>(height * scale),
                  QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(scale);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    draw(painter);
    return canvas;
}

// The opacity of a pixel, 0 to 255.
inline int alphaAt(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y));
}

}  // namespace lf::test
