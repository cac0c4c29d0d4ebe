#include "ui/QFViewController.h"

QFViewController::~QFViewController() {
    delete view_.data();
}

QWidget* QFViewController::view() {
    if (!view_) view_ = loadView();
    return view_;
}

QWidget* QFViewController::loadView() {
    return new QWidget;  // owned by this controller
}
