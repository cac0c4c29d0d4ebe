#include "kit/gui/OMAnimationCache.h"

#include "kit/gui/OMDeviceSpace.h"

#include <cmath>

void OMAnimationCache::invalidate() {
    drawBlock_ = nullptr;
    bitmaps_.clear();
}

size_t OMAnimationCache::cachedBitmapCount() const {
    size_t count = 0;
    for (const auto& [progress, byOptions] : bitmaps_)
        count += byOptions.size();
    return count;
}

void OMAnimationCache::drawRect(QPainter& painter, const QRectF& rect, const QWidget* controlView,
                                double progress, unsigned options,
                                QPainter::CompositionMode operation) {
    if (!controlView) return;
    const double scale = OMDeviceScale(painter);
    const QRectF bounds = QRectF(controlView->rect());
    if (bounds != lastKnownControlViewBounds_ || scale != lastKnownScaleFactor_) {
        bitmaps_.clear();
        lastKnownControlViewBounds_ = bounds;
        lastKnownScaleFactor_ = scale;
    }

    if (scale != 1.0 && scale != 2.0) {
        if (drawBlock_) drawBlock_(painter, bounds, progress, options);
        return;
    }
    // Signed, so a progress below 0 has keys of its own.
    const auto progressKey = static_cast<int64_t>(std::llround(progress * 100));
    auto& byOptions = bitmaps_[progressKey];
    auto cached = byOptions.find(options);
    if (cached == byOptions.end()) {
        if (!drawBlock_) return;
        QImage bitmap(static_cast<int>(bounds.width() * scale),
                      static_cast<int>(bounds.height() * scale),
                      QImage::Format_ARGB32_Premultiplied);
        if (bitmap.isNull()) return;
        bitmap.fill(Qt::transparent);
        {
            QPainter bitmapPainter(&bitmap);
            bitmapPainter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                                         QPainter::TextAntialiasing);
            bitmapPainter.scale(scale, scale);
            bitmapPainter.translate(-bounds.topLeft());
            drawBlock_(bitmapPainter, bounds, progress, options);
        }
        cached = byOptions.emplace(options, std::move(bitmap)).first;
    }

    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setCompositionMode(operation);
    const QRectF source((rect.x() - bounds.x()) * scale, (rect.y() - bounds.y()) * scale,
                        rect.width() * scale, rect.height() * scale);
    painter.drawImage(rect, cached->second, source);
    painter.restore();
}
