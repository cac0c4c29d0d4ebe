#include "ui/iconview/QFIconViewScrollView.h"

#include "ui/iconview/QFIconView.h"

#include <QEvent>

QFIconViewScrollView::QFIconViewScrollView(QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(false);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
}

QFIconView* QFIconViewScrollView::documentView() const {
    return qobject_cast<QFIconView*>(widget());
}

void QFIconViewScrollView::setDocumentView(QFIconView* view) {
    setWidget(view);
    if (view) view->setAutoFillBackground(false);
    fitDocumentViewWidth();
}

bool QFIconViewScrollView::viewportEvent(QEvent* event) {
    const bool handled = QScrollArea::viewportEvent(event);
    if (event->type() == QEvent::Resize) fitDocumentViewWidth();
    return handled;
}

void QFIconViewScrollView::fitDocumentViewWidth() {
    if (QFIconView* view = documentView())
        view->setFrameSize(QSizeF(viewport()->width(), view->height()));
}
