#include "ui/window/QFWindowButtonsTrackingView.h"

#include <QCursor>
#include <QEvent>

QFWindowButtonsTrackingView::QFWindowButtonsTrackingView(QWidget* parent) : QWidget(parent) {}

void QFWindowButtonsTrackingView::setTrackedButtons(std::vector<QWidget*> buttons) {
    for (const auto& button : buttons_) {
        if (button) button->removeEventFilter(this);
    }
    buttons_.assign(buttons.begin(), buttons.end());
    for (QWidget* button : buttons)
        button->installEventFilter(this);
}

void QFWindowButtonsTrackingView::setHasMouseInside(bool inside) {
    if (inside == hasMouseInside_) return;
    hasMouseInside_ = inside;
    update();
    for (const auto& button : buttons_) {
        if (button) button->update();
    }
}

void QFWindowButtonsTrackingView::updateTrackingAreas() {
    setHasMouseInside(isVisible() && rect().contains(mapFromGlobal(QCursor::pos())));
}

bool QFWindowButtonsTrackingView::eventFilter(QObject* watched, QEvent* event) {
    // The pointer moving onto a button leaves this view without leaving
    // the area; only the bounds decide.
    if (event->type() == QEvent::Enter) setHasMouseInside(true);
    if (event->type() == QEvent::Leave) updateTrackingAreas();
    return QWidget::eventFilter(watched, event);
}

void QFWindowButtonsTrackingView::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    setHasMouseInside(true);
}

void QFWindowButtonsTrackingView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    updateTrackingAreas();
}
