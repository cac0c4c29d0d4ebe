#include "kit/gui/OMImage.h"

#include "kit/Bundle.h"

#include <map>
#include <mutex>
#include <string>

OMBitmapImageRep::OMBitmapImageRep(QImage bitmap, QSizeF size)
    : OMImageRep(size), bitmap_(bitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied)) {
    bitmap_.setDevicePixelRatio(1.0);
}

double OMBitmapImageRep::pixelScale() const {
    return size().width() > 0 ? bitmap_.width() / size().width() : 0;
}

void OMBitmapImageRep::draw(QPainter& painter, const QRectF& target, const QRectF& source,
                            QPainter::CompositionMode operation, double fraction) const {
    const double sx = size().width() > 0 ? bitmap_.width() / size().width() : 0;
    const double sy = size().height() > 0 ? bitmap_.height() / size().height() : 0;
    const QRectF pixels(source.x() * sx, source.y() * sy, source.width() * sx,
                        source.height() * sy);
    painter.save();
    painter.setCompositionMode(operation);
    painter.setOpacity(painter.opacity() * fraction);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, bitmap_, pixels);
    painter.restore();
}

OMImage OMImage::fromBitmap(QImage bitmap, double scale) {
    const QSizeF size(bitmap.width() / scale, bitmap.height() / scale);
    OMImage image(size);
    image.addRepresentation(std::make_shared<OMBitmapImageRep>(std::move(bitmap), size));
    return image;
}

std::shared_ptr<const OMImage> OMImage::named(std::string_view name) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const OMImage>, std::less<>> images;
    std::lock_guard lock(mutex);
    if (auto found = images.find(name); found != images.end()) return found->second;
    std::shared_ptr<const OMImage> image = load(*lf::Bundle::main(), name);
    images.emplace(std::string(name), image);
    return image;
}

std::shared_ptr<OMImage> OMImage::load(const lf::Bundle& bundle, std::string_view name) {
    std::shared_ptr<OMImage> image;
    for (double scale : {1.0, 2.0}) {
        const std::string file = std::string(name) + (scale == 1.0 ? "" : "@2x");
        const auto path = bundle.pathForResource(file, "png");
        if (!path) continue;
        QImage bitmap(QString::fromStdString(path->string()));
        if (bitmap.isNull()) continue;
        const QSizeF size(bitmap.width() / scale, bitmap.height() / scale);
        if (!image) image = std::make_shared<OMImage>(size);
        image->addRepresentation(
            std::make_shared<OMBitmapImageRep>(std::move(bitmap), image->size()));
    }
    return image;
}

void OMImage::addRepresentation(std::shared_ptr<const OMImageRep> representation) {
    if (representation) representations_.push_back(std::move(representation));
}

const OMImageRep* OMImage::bestRepresentation(double deviceScale) const {
    const OMImageRep* best = nullptr;
    for (const auto& representation : representations_) {
        const double density = representation->pixelScale();
        if (density == 0) return representation.get();
        if (!best) {
            best = representation.get();
            continue;
        }
        const double bestDensity = best->pixelScale();
        const bool fits = density >= deviceScale, bestFits = bestDensity >= deviceScale;
        if ((fits && (!bestFits || density < bestDensity)) ||
            (!fits && !bestFits && density > bestDensity))
            best = representation.get();
    }
    return best;
}

void OMImage::draw(QPainter& painter, const QRectF& target, const QRectF& source,
                   QPainter::CompositionMode operation, double fraction) const {
    const OMImageRep* representation = bestRepresentation(OMDeviceScale(painter));
    if (!representation || target.isEmpty()) return;
    representation->draw(painter, target, source.isEmpty() ? QRectF(QPointF(), size_) : source,
                         operation, fraction);
}

QRectF OMImage::alignmentRect() const {
    return alignmentRect_.value_or(QRectF(QPointF(), size_));
}

void OMImage::drawInAlignmentRect(QPainter& painter, const QRectF& rect,
                                  QPainter::CompositionMode operation, double fraction) const {
    const QRectF alignment = alignmentRect();
    if (alignment.isEmpty()) return;
    const double sx = rect.width() / alignment.width(), sy = rect.height() / alignment.height();
    draw(painter,
         QRectF(rect.x() - alignment.x() * sx, rect.y() - alignment.y() * sy, size_.width() * sx,
                size_.height() * sy),
         QRectF(), operation, fraction);
}
