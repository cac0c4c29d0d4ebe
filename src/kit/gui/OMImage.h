#pragma once
// OMImage: an image measured in points, drawn from one of its
// representations: bitmaps at one or more pixel densities (a 1x and a 2x
// PNG of one picture), or a representation that draws itself (a nine-slice
// image). Drawing picks the representation that suits the painter's device
// scale.
//
// Images loaded by name come from the main bundle: "Name.png" and
// "Name@2x.png" (either may be missing), made once per name and shared.
//
// Coordinates are Qt's: origin at the top left, y growing downwards.
//
// Threads: an image may be drawn from any thread; loading by name is
// guarded. Changing an image (adding a representation, setting its
// alignment rectangle) is for the thread that made it, before sharing it.

#include "kit/gui/OMDeviceSpace.h"

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSizeF>

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace lf {
class Bundle;
}

class OMImageRep {
public:
    explicit OMImageRep(QSizeF size) : size_(size) {}
    virtual ~OMImageRep() = default;

    // In points.
    QSizeF size() const { return size_; }
    // Pixels per point along x; 0 for a representation that is no bitmap.
    virtual double pixelScale() const { return 0; }

    // Draws the part `source` (in the representation's points) into
    // `target` (in the painter's coordinates).
    virtual void draw(QPainter& painter, const QRectF& target, const QRectF& source,
                      QPainter::CompositionMode operation, double fraction) const = 0;

private:
    QSizeF size_;
};

class OMBitmapImageRep final : public OMImageRep {
public:
    // `bitmap` shows `size` points; converted to premultiplied ARGB.
    OMBitmapImageRep(QImage bitmap, QSizeF size);

    const QImage& bitmap() const { return bitmap_; }
    double pixelScale() const override;
    void draw(QPainter& painter, const QRectF& target, const QRectF& source,
              QPainter::CompositionMode operation, double fraction) const override;

private:
    QImage bitmap_;
};

class OMImage {
public:
    explicit OMImage(QSizeF size) : size_(size) {}
    // An image of one bitmap at `scale` pixels per point.
    static OMImage fromBitmap(QImage bitmap, double scale = 1.0);
    // The main bundle's image `name`, or null when it has no such file.
    static std::shared_ptr<const OMImage> named(std::string_view name);
    // `bundle`'s image `name`, read anew: "name.png" at 1x and "name@2x.png"
    // at 2x, either of which may be missing; null when both are.
    static std::shared_ptr<OMImage> load(const lf::Bundle& bundle, std::string_view name);

    QSizeF size() const { return size_; }
    bool isValid() const { return !representations_.empty(); }

    const std::vector<std::shared_ptr<const OMImageRep>>& representations() const {
        return representations_;
    }
    void addRepresentation(std::shared_ptr<const OMImageRep> representation);

    // The representation for drawing at `deviceScale`: the bitmap of the
    // lowest density at or above it, else the densest; a representation
    // that is no bitmap draws at any scale.
    const OMImageRep* bestRepresentation(double deviceScale) const;

    // Draws the part `source` of the image (all of it when `source` is
    // empty) into `target`.
    void draw(QPainter& painter, const QRectF& target, const QRectF& source = QRectF(),
              QPainter::CompositionMode operation = QPainter::CompositionMode_SourceOver,
              double fraction = 1.0) const;

    // The part that lines up with neighbouring content, in the image's
    // points; the whole image unless set.
    QRectF alignmentRect() const;
    void setAlignmentRect(const QRectF& rect) { alignmentRect_ = rect; }

    // Draws the image so that its alignment rectangle fills `rect`.
    void drawInAlignmentRect(
        QPainter& painter, const QRectF& rect,
        QPainter::CompositionMode operation = QPainter::CompositionMode_SourceOver,
        double fraction = 1.0) const;

private:
    QSizeF size_;
    std::vector<std::shared_ptr<const OMImageRep>> representations_;
    std::optional<QRectF> alignmentRect_;
};
