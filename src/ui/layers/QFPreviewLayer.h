#pragma once
// QFPreviewLayer: the picture of an output tile: the output image shrunk to
// fit (never enlarged) on a white rounded card with a soft shadow, and,
// while the tile is selected, a rounded plate behind the card drawn with
// two gradient recipes, darker in an inactive window.
//
// The card's content is a bitmap of exactly the size shown: the image
// itself when it already has that size, else the image drawn at it.
//
// Threads: main thread only.

#include "kit/gui/OMTemplateEffect.h"
#include "ui/layers/QFLayer.h"

class QFPreviewLayer : public QFLayer {
public:
    // Between the bounds and the card's content, and between the card and
    // the plate.
    static constexpr double kImageInset = 10;
    static constexpr double kSelectionOutset = 6;

    QFPreviewLayer();

    const std::shared_ptr<const OMImage>& image() const { return image_; }
    void setImage(std::shared_ptr<const OMImage> image);
    // Where the image shows, in the layer's coordinates.
    QRectF imageRect() const { return contentLayer_->frame(); }

    bool isSelected() const { return isSelected_; }
    void setSelected(bool selected);
    bool hasActiveAppearance() const { return hasActiveAppearance_; }
    void setHasActiveAppearance(bool active);

    void setContentsScale(double scale) override;
    void setRasterizationScale(double scale) override;
    void layoutSublayers() override;

    // The plate's recipes for the current appearance, made once per process.
    const OMTemplateEffect& outerTemplateEffect() const;
    const OMTemplateEffect& innerTemplateEffect() const;
    // The plate filling `rect`: a rounded rim and a lighter inner gradient.
    void drawSelectionBackgroundInRect(QPainter& painter, const QRectF& rect) const;

    const std::shared_ptr<QFLayer>& backgroundLayer() const { return backgroundLayer_; }
    const std::shared_ptr<QFLayer>& selectionLayer() const { return selectionLayer_; }

private:
    void updateImageLayer();

    std::shared_ptr<QFLayer> backgroundLayer_;
    std::shared_ptr<QFLayer> contentLayer_;
    std::shared_ptr<QFLayer> selectionLayer_;
    bool isSelected_ = false;
    bool hasActiveAppearance_ = false;
    std::shared_ptr<const OMImage> image_;
};
