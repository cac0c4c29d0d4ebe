#pragma once
// QFLayerView: a widget that shows a layer tree (QFLayer.h). Its own layer
// fills it; the tree is committed and drawn, as it shows at the moment of
// painting, whenever it changes. While any animation of the tree runs, the
// view repaints on every frame of the kit's frame loop (OMFrameLoop.h),
// after stepping the tree's animations.
//
// Threads: main thread only.

#include "ui/layers/QFLayer.h"

#include <QWidget>

#include <memory>

class QFLayerView : public QWidget, public QFLayerTreeHost {
    Q_OBJECT

public:
    explicit QFLayerView(QWidget* parent = nullptr);
    ~QFLayerView() override;

    // The view's own layer: its frame is the view's rectangle.
    const std::shared_ptr<QFLayer>& layer() const { return layer_; }

    void layerTreeDidChange() override;
    void layerTreeDidAddAnimation() override;

    // Whether frames are being run for the tree's animations.
    bool isRunningFrames() const { return isRunningFrames_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // One frame; answers whether another should follow.
    bool runFrame();

    std::shared_ptr<QFLayer> layer_;
    bool isRunningFrames_ = false;
};
