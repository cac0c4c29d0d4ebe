#include "kit/gui/OMCursor.h"

#include "kit/gui/OMImageContext.h"

#include <QPixmap>

#include <cmath>

namespace {

int& cursorLockCount() {
    static int count = 0;
    return count;
}

}  // namespace

void OMLockCursor() {
    ++cursorLockCount();
}
void OMUnlockCursor() {
    --cursorLockCount();
}
bool OMIsCursorLocked() {
    return cursorLockCount() >= 1;
}

void OMSetCursor(QWidget& view, const QCursor& cursor) {
    if (!OMIsCursorLocked()) view.setCursor(cursor);
}

void OMUnsetCursor(QWidget& view) {
    if (!OMIsCursorLocked()) view.unsetCursor();
}

OMShadow OMStandardCursorShadow() {
    return {QPointF(0, -1), 1.8, QColor::fromRgbF(0, 0, 0, 0.65f)};
}

OMCursorGeometry OMCursorGeometryForImage(QSizeF imageSize, QPointF hotSpot,
                                          const OMShadow& shadow) {
    const double blur = shadow.blurRadius, ox = shadow.offset.x(), oy = shadow.offset.y();
    const QSizeF size(std::ceil(imageSize.width() + 2 * blur + std::fabs(ox)),
                      std::ceil(imageSize.height() + 2 * blur + std::fabs(oy)));
    // Placed (blur - ox, blur - oy) from the bottom left, y up, so that the
    // shadow falls inside the picture.
    const QPointF origin(blur - ox, size.height() - (blur - oy) - imageSize.height());
    const QPoint hot(static_cast<int>(hotSpot.x() + std::round(blur - ox)),
                     static_cast<int>(size.height() -
                                      (std::round(blur - oy) + imageSize.height() - hotSpot.y())));
    return {size, origin, hot};
}

QCursor OMCursorWithImage(const OMImage& image, QPointF hotSpot, const OMShadow& shadow) {
    const OMCursorGeometry geometry = OMCursorGeometryForImage(image.size(), hotSpot, shadow);
    QPainter* painter = OMBeginImageContextWithOptions(false, true, geometry.size.width(),
                                                       geometry.size.height(), 0);
    if (!painter) return QCursor();
    const QRectF place(geometry.imageOrigin, image.size());
    // The cursor's picture is a bitmap at the screen's scale: its shadow is
    // measured in points.
    shadow.drawShadowOfShape(
        *painter, [&](QPainter& layer) { image.draw(layer, place); }, place,
        OMCurrentImageContextScale(), QRectF(), false);
    image.draw(*painter, place);
    QPixmap pixmap = QPixmap::fromImage(OMCreateImageFromImageContext());
    pixmap.setDevicePixelRatio(OMCurrentImageContextScale());
    OMEndImageContext();
    return QCursor(pixmap, geometry.hotSpot.x(), geometry.hotSpot.y());
}
