#include "ui/window/QFWindowContentView.h"

#include "ui/window/QFWindowMoveTracker.h"

#include <QRegion>

#include <cmath>

QFWindowContentView::QFWindowContentView(QWidget* parent) : QWidget(parent) {
    new QFWindowMoveTracker(this, QFWindowMoveTracker::Events::Take);  // owned by the view
    setContentView(nullptr);
}

void QFWindowContentView::setContentView(QWidget* view) {
    if (!view) {
        if (!emptyView_) emptyView_ = new QWidget(this);  // owned as a child
        view = emptyView_;
    }
    if (view == contentView_) return;
    if (contentView_) {
        contentView_->hide();
        if (contentView_ != emptyView_) contentView_->setParent(nullptr);
    }
    contentView_ = view;
    view->setParent(this);
    resizeSubviews();
    view->show();
}

void QFWindowContentView::setPartialTitlebarHeight(double height) {
    partialTitlebarHeight_ = height;
    resizeSubviews();
}

QRect QFWindowContentView::contentRect() const {
    const int strip = static_cast<int>(std::ceil(partialTitlebarHeight_));
    return QRect(0, strip, width(), std::max(0, height() - strip));
}

void QFWindowContentView::resizeSubviews() {
    const QRect content = contentRect();
    if (contentView_) contentView_->setGeometry(content);
    // An empty region would clear the mask: a point outside lets all through.
    setMask(content.isEmpty() ? QRegion(-1, -1, 1, 1) : QRegion(content));
}

void QFWindowContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    resizeSubviews();
}
