#include "ui/widgets/QFSimpleImageView.h"

#include "kit/gui/OMDeviceSpace.h"
#include "ui/window/QFStyleMask.h"
#include "ui/window/QFWindowStyle.h"

#include <QPainter>

#include <cmath>

QFSimpleImageView::QFSimpleImageView(QWidget* parent) : QWidget(parent) {}

void QFSimpleImageView::setImage(std::shared_ptr<const OMImage> image) {
    image_ = std::move(image);
    updateGeometry();
    update();
}

QSize QFSimpleImageView::sizeHint() const {
    if (!image_) return {-1, -1};
    const QSizeF size = image_->size();
    return {static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height()))};
}

QRectF QFSimpleImageView::imageRectInBounds(const QRectF& bounds, QSizeF imageSize) {
    return QRectF(bounds.x() + std::floor((bounds.width() - imageSize.width()) / 2),
                  bounds.y() + std::floor((bounds.height() - imageSize.height()) / 2),
                  imageSize.width(), imageSize.height());
}

void QFSimpleImageView::paintEvent(QPaintEvent*) {
    if (!image_) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF place = imageRectInBounds(rect(), image_->size());
    if (QFStyleMaskForWindow(this) & QFStyleMaskActive) {
        image_->draw(painter, place);
        return;
    }
    // Greyed from the bitmap that suits the screen; an image that has
    // none is not drawn inactive.
    const auto* bitmap =
        dynamic_cast<const OMBitmapImageRep*>(image_->bestRepresentation(OMDeviceScale(painter)));
    if (!bitmap) {
        for (const auto& representation : image_->representations()) {
            bitmap = dynamic_cast<const OMBitmapImageRep*>(representation.get());
            if (bitmap) break;
        }
    }
    if (!bitmap) return;
    const OMImage grey =
        OMImage::fromBitmap(QFWindowStyle::desaturateBitmapImageRep(bitmap->bitmap()),
                            bitmap->pixelScale() > 0 ? bitmap->pixelScale() : 1.0);
    grey.draw(painter, place, QRectF(), QPainter::CompositionMode_SourceOver, 0.8);
}
