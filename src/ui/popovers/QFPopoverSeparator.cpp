#include "ui/popovers/QFPopoverSeparator.h"

#include "ui/popovers/QFPopoverStyle.h"

#include <QPainter>

QFPopoverSeparator::QFPopoverSeparator(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void QFPopoverSeparator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QFPopoverStyle::drawListSeparatorInRect(painter, QRectF(rect()));
}
