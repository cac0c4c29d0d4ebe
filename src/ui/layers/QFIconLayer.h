#pragma once
// QFIconLayer: one tile of the icon view: a picture (the content layer)
// above a name of up to two lines (QFLabelLayer), centred together in a
// square 64 points larger than the picture.
//
// The tile squashes and stretches with one number, squashAmount: at 1 the
// picture is 10 % wider and 10 % lower, standing on its bottom line moved
// 5 points down, and the name 3 points lower; at -1 the opposite. The
// number is animatable, and the tile follows its presentation value on
// every frame.
//
// Several pictures show as a stack, each smaller than the last by a tenth
// of the width, the last one in front at the bottom left.
//
// The content layer is the default picture layer unless another is set (a
// QFPreviewLayer for outputs, an image container for the input item);
// selection and the window's appearance pass on to the name and to a
// preview layer.
//
// Threads: main thread only.

#include "kit/gui/OMImage.h"
#include "ui/layers/QFIconViewItem.h"
#include "ui/layers/QFLabelLayer.h"
#include "ui/layers/QFLayer.h"

#include <QImage>
#include <QRectF>

#include <memory>
#include <string_view>
#include <vector>

class QFIconLayer : public QFLayer {
public:
    static constexpr const char* kSquashAmountKey = "squashAmount";
    // Around the picture in the tile, and between picture and name.
    static constexpr double kTileMargin = 64;
    static constexpr double kLabelGap = 14;

    // A part of a drag image: a picture and where it goes, in the tile's
    // superlayer's coordinates.
    struct DraggingImageComponent {
        enum class Kind { Icon, Label } kind;
        std::shared_ptr<OMImage> image;
        QRectF frame;
    };

    QFIconLayer();

    // The item the tile shows (not owned).
    const std::weak_ptr<QFIconViewItem>& item() const { return item_; }
    void setItem(std::weak_ptr<QFIconViewItem> item) { item_ = std::move(item); }

    QSizeF iconSize() const { return iconSize_; }
    void setIconSize(QSizeF size);
    QSizeF tileSize() const { return tileSize_; }
    const std::vector<std::shared_ptr<const OMImage>>& icons() const { return icons_; }
    void setIcons(std::vector<std::shared_ptr<const OMImage>> icons);
    const QString& label() const { return label_; }
    void setLabel(const QString& label);
    double squashAmount() const { return valueForKey(kSquashAmountKey); }
    void setSquashAmount(double amount) { setValue(amount, kSquashAmountKey); }

    const std::shared_ptr<QFLayer>& contentLayer() const { return contentLayer_; }
    void setContentLayer(std::shared_ptr<QFLayer> layer);
    const std::shared_ptr<QFLabelLayer>& labelLayer() const { return labelLayer_; }

    bool isSelected() const { return isSelected_; }
    void setSelected(bool selected);
    bool hasActiveAppearance() const { return hasActiveAppearance_; }
    void setHasActiveAppearance(bool active);

    void setContentsScale(double scale) override;
    void setRasterizationScale(double scale) override;

    // Hit tests, in the superlayer's coordinates: the name's lines, or the
    // picture's frame.
    bool contentContainsPoint(QPointF point) const;
    bool contentIntersectsRect(const QRectF& rect) const;

    // The picture (without the selection plate) and the name, for a drag.
    std::vector<DraggingImageComponent> draggingImageComponents();
    // An image of `layer` and its sublayers with a margin of 10 points;
    // `imageFrame` receives where it goes: the layer's frame grown by 10.
    static std::shared_ptr<OMImage> snapshotOfLayer(const QFLayer& layer, QRectF* imageFrame);

    // Squashes back and forth until the animation is removed.
    void jiggle();

    // Where the stacked pictures of `count` icons go in a picture of
    // `size`, first to last, with y up from the picture's bottom edge.
    static std::vector<QRectF> stackedIconRects(size_t count, QSizeF size);

    bool needsDisplayForKey(std::string_view key) const override;
    void display() override;

private:
    void updateIconImage();
    void recalculateLayout();

    std::vector<std::shared_ptr<const OMImage>> icons_;
    std::shared_ptr<QFLayer> iconLayer_;
    std::shared_ptr<QFLabelLayer> labelLayer_;
    std::shared_ptr<QFLayer> contentLayer_;
    std::shared_ptr<QFLayer> selectionLayer_;
    QSizeF iconSize_;
    QSizeF tileSize_;
    double labelHeight_ = 0;
    QPointF iconRestPosition_;
    QPointF labelRestPosition_;
    bool isSelected_ = false;
    bool hasActiveAppearance_ = false;
    std::weak_ptr<QFIconViewItem> item_;
    QString label_;
};
