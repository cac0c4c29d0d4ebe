#include "ui/QFFlowTitleView.h"

#include <QHBoxLayout>

QFFlowTitleView::QFFlowTitleView(QWidget* parent)
    : QWidget(parent), wrapper_(new QWidget(this)), layout_(new QHBoxLayout(wrapper_)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
}

void QFFlowTitleView::setLabel(QWidget* label) {
    if (label == label_) return;
    if (label_) {
        label_->hide();
        label_->setParent(nullptr);
    }
    label_ = label;
    rebuild();
}

void QFFlowTitleView::setMainButton(QWidget* button) {
    if (button == mainButton_) return;
    if (mainButton_) {
        mainButton_->hide();
        mainButton_->setParent(nullptr);
    }
    mainButton_ = button;
    rebuild();
}

void QFFlowTitleView::rebuild() {
    while (QLayoutItem* item = layout_->takeAt(0))
        delete item;  // the layout's own item; the widget stays
    if (label_) {
        layout_->addWidget(label_, 0, Qt::AlignVCenter);
        if (mainButton_) layout_->addSpacing(kLabelToButton);
    }
    if (mainButton_) {
        layout_->addWidget(mainButton_, 0, Qt::AlignVCenter);
        layout_->addSpacing(kButtonToEnd);
    }
    for (QWidget* view : {label_.data(), mainButton_.data()}) {
        if (view) view->show();
    }
    layoutWrapper();
    updateGeometry();
}

QSize QFFlowTitleView::sizeHint() const {
    return layout_->sizeHint();
}

void QFFlowTitleView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutWrapper();
}

void QFFlowTitleView::layoutWrapper() {
    layout_->activate();
    const QSize size = layout_->sizeHint();
    wrapper_->setGeometry((width() - size.width()) / 2, (height() - size.height()) / 2,
                          size.width(), size.height());
}
