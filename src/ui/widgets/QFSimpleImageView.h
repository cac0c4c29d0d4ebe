#pragma once
// QFSimpleImageView: one image at its own size, centred; in an inactive
// window it shows greyed, at 0.8 opacity.
//
// Threads: main thread only.

#include "kit/gui/OMAppKitView.h"
#include "kit/gui/OMImage.h"

#include <QWidget>

#include <memory>

class QFSimpleImageView : public QWidget, public OMAppKitView {
    Q_OBJECT

public:
    explicit QFSimpleImageView(QWidget* parent = nullptr);

    const std::shared_ptr<const OMImage>& image() const { return image_; }
    void setImage(std::shared_ptr<const OMImage> image);

    // The image's size; none without an image.
    QSize sizeHint() const override;

    // Where the image goes in `bounds`: its size, centred on whole points.
    static QRectF imageRectInBounds(const QRectF& bounds, QSizeF imageSize);

    bool needsDisplayForChangedWindowAppearance() override { return true; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<const OMImage> image_;
};
