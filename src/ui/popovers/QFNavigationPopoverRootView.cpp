#include "ui/popovers/QFNavigationPopoverRootView.h"

#include "ui/popovers/QFNavigationPopoverView.h"

#include <algorithm>
#include <cmath>

QFNavigationPopoverRootView::QFNavigationPopoverRootView(double maxHeight, QWidget* parent)
    : QWidget(parent), maxHeight_(maxHeight) {
    setMaximumHeight(static_cast<int>(std::floor(maxHeight)));
}

void QFNavigationPopoverRootView::setVisibleView(QFNavigationPopoverView* view) {
    if (QFNavigationPopoverView* previous = visibleView_) {
        previous->releaseContent();
        previous->hide();
        previous->deleteLater();
    }
    visibleView_ = view;
    if (!view) return;
    view->setParent(this);
    view->setGeometry(rect());
    view->show();
}

QSize QFNavigationPopoverRootView::fittingSize() const {
    if (!visibleView_) return {0, 0};
    const QSize fitting = visibleView_->fittingSize();
    return {fitting.width(), std::min(fitting.height(), maximumHeight())};
}

void QFNavigationPopoverRootView::layoutVisibleView() {
    if (!visibleView_) return;
    visibleView_->setGeometry(rect());
    visibleView_->layoutSubviews();
}

void QFNavigationPopoverRootView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutVisibleView();
}
