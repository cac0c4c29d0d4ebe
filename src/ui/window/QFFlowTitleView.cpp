#include "ui/window/QFFlowTitleView.h"

#include <QEvent>
#include <QHBoxLayout>

QFFlowTitleView::QFFlowTitleView(QWidget* parent)
    : QWidget(parent), wrapper_(new QWidget(this)), layout_(new QHBoxLayout(wrapper_)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
}

void QFFlowTitleView::setLabel(QWidget* label) {
    replace(label_, label);
}

void QFFlowTitleView::setMainButton(QWidget* button) {
    replace(mainButton_, button);
}

void QFFlowTitleView::replace(QPointer<QWidget>& part, QWidget* view) {
    if (view == part) return;
    if (part) {
        part->hide();
        part->setParent(nullptr);
    }
    part = view;
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

bool QFFlowTitleView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest) {
        layoutWrapper();
        updateGeometry();  // the size it asks for may have changed with them
    }
    return handled;
}

void QFFlowTitleView::layoutWrapper() {
    layout_->activate();
    const QSize size = layout_->sizeHint();
    wrapper_->setGeometry((width() - size.width()) / 2, (height() - size.height()) / 2,
                          size.width(), size.height());
}
