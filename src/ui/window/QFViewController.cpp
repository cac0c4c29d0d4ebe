#include "ui/window/QFViewController.h"

QFViewController::~QFViewController() {
    delete navigationPopoverTitleButtonView_.data();
    delete view_.data();
}

QWidget* QFViewController::view() {
    if (!view_) view_ = loadView();
    return view_;
}

QWidget* QFViewController::loadView() {
    return new QWidget;  // owned by this controller
}

void QFViewController::setNavigationPopoverTitleButtonView(QWidget* view) {
    if (view == navigationPopoverTitleButtonView_) return;
    delete navigationPopoverTitleButtonView_.data();
    navigationPopoverTitleButtonView_ = view;
}
