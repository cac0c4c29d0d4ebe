#include "debugger/QFBooleanCanvas.h"

#include "geometry/VKGeometryStrings.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>

QFBooleanCanvas::QFBooleanCanvas(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void QFBooleanCanvas::addVisualBooleanPath(std::shared_ptr<QFVisualBooleanPath> record) {
    if (!record) return;
    record->setCanvas(this);
    maxPathBounds_ = VKRectUnion(maxPathBounds_, record->pathBounds());
    records_.push_back(std::move(record));
    recalculateScales();
    update();
}

void QFBooleanCanvas::recalculateScales() {
    for (const auto& record : records_)
        record->calculatePixelScaleAndCenteringOffset();
}

void QFBooleanCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    recalculateScales();
}

void QFBooleanCanvas::mouseMoveEvent(QMouseEvent* event) {
    // Mouse moves count while the window is the active one.
    if (records_.empty() || !isActiveWindow()) return;
    pathPoint_ = records_.front()->convertPointToPathCoordinates(event->position());
    update();
}

void QFBooleanCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), Qt::white);
    if (!records_.empty()) records_.back()->drawInContext(painter);
    const QPointF mouseLocation = mapFromGlobal(QCursor::pos());
    for (const auto& record : records_)
        record->drawAnnotationsInContext(painter, mouseLocation);

    QFont font = QApplication::font();
    font.setPointSizeF(11.0);
    painter.setFont(font);
    painter.setPen(QColor::fromRgbF(0.3, 0.3, 0.3, 1.0));
    painter.drawText(rect().adjusted(10, 0, 0, 0), Qt::AlignLeft | Qt::AlignBottom,
                     QString::fromStdString(NSStringFromVKPoint(pathPoint_)));
}
