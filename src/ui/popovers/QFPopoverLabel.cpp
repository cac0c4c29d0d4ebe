#include "ui/popovers/QFPopoverLabel.h"

#include "ui/window/QFStyleMask.h"
#include "ui/window/QFTextMeasure.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

QFPopoverLabel::QFPopoverLabel(QWidget* parent) : QWidget(parent) {
    text_ = QFPopoverStyle::textAttributesForLabelType(labelType_);
    // Gives way in width, never in height.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void QFPopoverLabel::setText(const QString& newText, bool force) {
    if (!force && newText == text_.text) return;
    const QString text = newText;  // it may be text_'s own
    text_ = QFPopoverStyle::textAttributesForLabelType(labelType_);
    text_.text = text;
    const QSizeF size = QFTextBoundingSize(text, text_.font, text_.flags);
    textSize_ = QSizeF(std::ceil(size.width()), std::ceil(size.height()));
    updateGeometry();
    update();
}

void QFPopoverLabel::setLabelType(int32_t type) {
    if (type == labelType_) return;
    labelType_ = type;
    setText(text_.text, true);
}

void QFPopoverLabel::setPadding(OMEdgeInsets padding) {
    padding_ = padding;
    update();
}

QSizeF QFPopoverLabel::intrinsicContentSize() const {
    return {textSize_.width() + 2 + padding_.left + padding_.right,
            textSize_.height() + 2 + padding_.top + padding_.bottom};
}

QSize QFPopoverLabel::sizeHint() const {
    const QSizeF size = intrinsicContentSize();
    return {static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height()))};
}

QRectF QFPopoverLabel::textRectInBounds(const QRectF& bounds) const {
    return QFPopoverStyle::textRectInBounds(bounds, padding_, textSize_.height());
}

void QFPopoverLabel::paintEvent(QPaintEvent*) {
    if (text_.text.isEmpty()) return;
    const QRectF rect = textRectInBounds(QRectF(this->rect()));
    OMAttributedString shown = text_;
    shown.text = QFontMetricsF(text_.font).elidedText(text_.text, Qt::ElideRight, rect.width());
    QPainter painter(this);
    const unsigned mask = QFStyleMaskForWindow(this);
    QFPopoverStyle::textEffectForLabelType(labelType_, mask)
        .drawAttributedString(painter, shown, rect,
                              QFPopoverStyle::subpixelBackgroundColorWithMask(mask));
}
