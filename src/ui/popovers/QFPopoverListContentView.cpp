#include "ui/popovers/QFPopoverListContentView.h"

#include "ui/popovers/QFPopoverListView.h"

#include <QPaintEvent>
#include <QPainter>

#include <cmath>

QFPopoverListContentView::QFPopoverListContentView(QWidget* parent) : QWidget(parent) {}

void QFPopoverListContentView::setIntrinsicContentHeight(double height) {
    intrinsicContentHeight_ = height;
    resize(width(), static_cast<int>(std::ceil(height)));
    updateGeometry();
}

QSize QFPopoverListContentView::sizeHint() const {
    return {width(), static_cast<int>(std::ceil(intrinsicContentHeight_))};
}

void QFPopoverListContentView::paintEvent(QPaintEvent* event) {
    if (!ownerListView_) return;
    QPainter painter(this);
    ownerListView_->drawContentViewRect(painter, QRectF(event->rect()));
}
