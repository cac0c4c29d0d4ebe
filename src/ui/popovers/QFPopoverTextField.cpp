#include "ui/popovers/QFPopoverTextField.h"

#include "kit/gui/OMCursor.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {

constexpr double kTextHeight = 22;

}  // namespace

QFPopoverTextField::QFPopoverTextField(QWidget* parent) : QLineEdit(parent) {
    cell_.setSizesEditorToFit(true);
    setFrame(false);
    // The cell draws the box; the line edit only the text and caret.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    setPalette(palette);
    setAutoFillBackground(false);
    // Focus comes from presses on the box and from focus(), never from
    // presses beside it.
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    // Not the line edit's I-beam over the whole field: updateCursor shows
    // it over the box alone.
    OMUnsetCursor(*this);
    connect(this, &QLineEdit::textChanged, this, &QFPopoverTextField::sizeFieldEditorToFit);
    sizeFieldEditorToFit();
}

void QFPopoverTextField::setPadding(OMEdgeInsets padding) {
    cell_.setPadding(padding);
    updateGeometry();
    sizeFieldEditorToFit();
}

void QFPopoverTextField::setSizesEditorToFit(bool fits) {
    cell_.setSizesEditorToFit(fits);
    sizeFieldEditorToFit();
}

void QFPopoverTextField::setPlaceholder(const QString& placeholder) {
    cell_.setPlaceholderString(placeholder);
    updateGeometry();
    sizeFieldEditorToFit();
}

bool QFPopoverTextField::isEditing() const {
    return window()->focusWidget() == this;
}

void QFPopoverTextField::focus() {
    setFocus(Qt::OtherFocusReason);
    sizeFieldEditorToFit();
}

void QFPopoverTextField::abortEditing() {
    clearFocus();
    update();
}

QRectF QFPopoverTextField::stringBoundsIncludingPadding() const {
    const QRectF d = cell_.drawingRectForBounds(QRectF(rect()), text(), font());
    const OMEdgeInsets& p = cell_.padding();
    return d.adjusted(-p.left, -p.top, p.right, p.bottom);
}

void QFPopoverTextField::sizeFieldEditorToFit() {
    const QRectF d = cell_.drawingRectForBounds(QRectF(rect()), text(), font());
    setTextMargins(static_cast<int>(std::floor(d.left())), static_cast<int>(std::floor(d.top())),
                   static_cast<int>(std::ceil(width() - d.right())),
                   static_cast<int>(std::ceil(height() - d.bottom())));
    update();
}

QSize QFPopoverTextField::sizeHint() const {
    const OMEdgeInsets& p = cell_.padding();
    return {QLineEdit::sizeHint().width(),
            static_cast<int>(std::ceil(p.top + kTextHeight + p.bottom))};
}

QSize QFPopoverTextField::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

void QFPopoverTextField::paintEvent(QPaintEvent* event) {
    const bool editing = isEditing();
    {
        QPainter painter(this);
        cell_.drawWithFrame(painter, QRectF(rect()), text(), font(),
                            palette().color(QPalette::Text), editing);
    }
    if (editing) QLineEdit::paintEvent(event);
}

void QFPopoverTextField::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    sizeFieldEditorToFit();
}

void QFPopoverTextField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    sizeFieldEditorToFit();
}

void QFPopoverTextField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    update();
}

void QFPopoverTextField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (!isEditing()) {
            event->ignore();
            return;
        }
        abortEditing();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

bool QFPopoverTextField::takesPointAt(QPointF point) const {
    return stringBoundsIncludingPadding().contains(point);
}

void QFPopoverTextField::updateCursor(QPointF point) {
    if (takesPointAt(point))
        OMSetCursor(*this, Qt::IBeamCursor);
    else if (testAttribute(Qt::WA_SetCursor))
        OMUnsetCursor(*this);
}

void QFPopoverTextField::mousePressEvent(QMouseEvent* event) {
    if (!takesPointAt(event->position())) {
        event->ignore();  // for the view behind
        return;
    }
    isTrackingPress_ = true;
    if (!isEditing()) focus();
    QLineEdit::mousePressEvent(event);
}

void QFPopoverTextField::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!takesPointAt(event->position())) {
        event->ignore();
        return;
    }
    QLineEdit::mouseDoubleClickEvent(event);
}

void QFPopoverTextField::mouseMoveEvent(QMouseEvent* event) {
    updateCursor(event->position());
    if (isTrackingPress_)
        QLineEdit::mouseMoveEvent(event);
    else
        event->ignore();
}

void QFPopoverTextField::mouseReleaseEvent(QMouseEvent* event) {
    if (!std::exchange(isTrackingPress_, false)) {
        event->ignore();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}
