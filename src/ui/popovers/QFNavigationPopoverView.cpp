#include "ui/popovers/QFNavigationPopoverView.h"

#include "ui/popovers/QFNavigationPopover.h"
#include "ui/popovers/QFPopoverLabel.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>

QFNavigationPopoverView::QFNavigationPopoverView(QFViewController& controller, QWidget* parent)
    : QWidget(parent),
      titleLabel_(new QFPopoverLabel(this)),
      controllerView_(controller.view()),
      titleButtonView_(controller.navigationPopoverTitleButtonView()) {
    titleLabel_->setPadding({3, 0, 6, 0});
    titleLabel_->setLabelType(QFPopoverLabelTypeHeading);
    titleLabel_->setText(controller.title());
    controllerView_->setParent(this);
    controllerView_->show();
    if (titleButtonView_) {
        titleButtonView_->setParent(this);
        titleButtonView_->show();
    }
    const QSize content = controllerView_->size();
    resize(content.width(), content.height() + titleLabel_->sizeHint().height());
    layoutSubviews();
}

QFNavigationPopover* QFNavigationPopoverView::ownerPopover() const {
    return ownerPopover_;
}

void QFNavigationPopoverView::setOwnerPopover(QFNavigationPopover* popover) {
    ownerPopover_ = popover;
}

double QFNavigationPopoverView::titleHeight() const {
    return titleLabel_->height();
}

QSize QFNavigationPopoverView::fittingSize() const {
    const QSize content = controllerView_ ? controllerView_->sizeHint() : QSize(0, 0);
    return {std::max(content.width(), 0),
            std::max(content.height(), 0) + titleLabel_->sizeHint().height()};
}

void QFNavigationPopoverView::releaseContent() {
    for (QWidget* view : {controllerView_.data(), titleButtonView_.data()}) {
        if (!view) continue;
        view->hide();
        view->setParent(nullptr);
    }
    controllerView_ = nullptr;
    titleButtonView_ = nullptr;
}

bool QFNavigationPopoverView::event(QEvent* event) {
    // A child's size hint changed while this view shows.
    if (event->type() == QEvent::LayoutRequest && ownerPopover_ &&
        ownerPopover_->visibleViewControllerView() == this)
        ownerPopover_->sizeToFitVisibleViewController();
    return QWidget::event(event);
}

void QFNavigationPopoverView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutSubviews();
}

void QFNavigationPopoverView::layoutSubviews() {
    const QSize title = titleLabel_->sizeHint();
    const int titleWidth = std::min(title.width(), width());
    titleLabel_->setGeometry((width() - titleWidth) / 2, 0, titleWidth, title.height());
    if (controllerView_)
        controllerView_->setGeometry(0, title.height(), width(), height() - title.height());
    if (titleButtonView_) {
        const QSize button = titleButtonView_->sizeHint();
        // Centred on the heading's centre line.
        const int y = static_cast<int>(std::lround((title.height() - button.height()) / 2.0));
        titleButtonView_->setGeometry(width() - kTitleButtonInset - button.width(), y,
                                      button.width(), button.height());
    }
}

void QFNavigationPopoverView::mousePressEvent(QMouseEvent* event) {
    if (QWidget* editing = window()->focusWidget()) editing->clearFocus();
    QWidget::mousePressEvent(event);
}
