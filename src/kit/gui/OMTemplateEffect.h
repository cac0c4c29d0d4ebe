#pragma once
// OMTemplateEffect: a drawing recipe that the interface's style sheets hand
// to views: a fill (a colour, a gradient at an angle, or both), outer
// shadows and inner shadows, applied to a shape given as an image (its
// alpha), a path or text.
//
// The outer shadows are drawn around the shape first (cut away where the
// shape is), then the fill and the inner shadows inside it. Shadows follow
// OMShadow: y-up offsets, applied in device space. For a shape given as an
// image they are multiplied by the device scale (so they keep their size in
// points), except when drawing the window's title label, whose recipes were
// made for unscaled shadows; for paths they stay in device pixels.
//
// Everything is put together in offscreen layers at the painter's device
// resolution (OMDeviceLayer.h) and composited once; image shapes are drawn
// over whole device pixels so that 1x and 2x displays both look crisp.
//
// Threads: a value; drawing touches only the painter given.

#include "kit/gui/OMAttributedString.h"
#include "kit/gui/OMDeviceLayer.h"
#include "kit/gui/OMGradient.h"
#include "kit/gui/OMImage.h"
#include "kit/gui/OMShadow.h"

#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <memory>
#include <optional>
#include <vector>

class OMTemplateEffect {
public:
    const std::optional<QColor>& fillColor() const { return fillColor_; }
    void setFillColor(std::optional<QColor> color) { fillColor_ = std::move(color); }
    // Drawn over the fill colour.
    const std::optional<OMGradient>& fillGradient() const { return fillGradient_; }
    void setFillGradient(std::optional<OMGradient> gradient) {
        fillGradient_ = std::move(gradient);
    }
    double fillGradientAngle() const { return fillGradientAngle_; }
    void setFillGradientAngle(double degrees) { fillGradientAngle_ = degrees; }
    // Drawn in order.
    const std::vector<OMShadow>& shadows() const { return shadows_; }
    void setShadows(std::vector<OMShadow> shadows) { shadows_ = std::move(shadows); }
    const std::vector<OMShadow>& innerShadows() const { return innerShadows_; }
    void setInnerShadows(std::vector<OMShadow> shadows) { innerShadows_ = std::move(shadows); }

    // The effect on the alpha of `image` scaled into `rect`.
    void drawImage(QPainter& painter, const OMImage& image, const QRectF& rect,
                   bool forQFWindowLabelSigh = false) const;
    // The effect on `path`, within its bounds.
    void drawBezierPath(QPainter& painter, const QPainterPath& path) const;
    // The effect on the glyphs of `text` laid out in `rect`, in the fill
    // colour; nothing without a fill colour. A background colour, when the
    // text is drawn on a known opaque one, is laid under the glyphs first.
    void drawAttributedString(QPainter& painter, const OMAttributedString& text, const QRectF& rect,
                              const std::optional<QColor>& subpixelBackgroundColor = {}) const;

    // The text drawn in black into a new image of `size` points, at the
    // primary screen's scale; null for an empty size.
    std::shared_ptr<OMImage> imageForAttributedString(const OMAttributedString& text,
                                                      QSizeF size) const;

    // A new image of `image` drawn with the effect, with room around it for
    // the shadows, and `image`'s place in it as its alignment rectangle;
    // null for a null or empty image.
    std::shared_ptr<OMImage> applyEffectToImage(const OMImage* image) const;
    // `rect` grown by the room the outer shadows need.
    QRectF applyEffectToAlignmentRect(const QRectF& rect) const;

private:
    // One drawing: the shape and where it goes, in device pixels.
    struct Pass {
        QTransform toDevice;
        QRect canvas;        // device pixels that every layer covers
        QRectF rect;         // the shape's rectangle, in the painter's coordinates
        double shadowScale;  // device pixels per shadow unit
        OMShapeDrawer drawMask;
    };
    Pass makePass(const QPainter& painter, const QRectF& rect, double shadowScale,
                  OMShapeDrawer drawMask) const;
    OMDeviceLayer outerStyling(const Pass& pass, bool skipLastShadow) const;
    OMDeviceLayer innerStyling(const Pass& pass, bool skipFillColor) const;
    // The room the outer shadows need on each side, in points.
    QSizeF margins() const;

    std::optional<QColor> fillColor_;
    std::optional<OMGradient> fillGradient_;
    double fillGradientAngle_ = 0;
    std::vector<OMShadow> shadows_;
    std::vector<OMShadow> innerShadows_;
};
