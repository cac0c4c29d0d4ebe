#include "ui/widgets/QFEtchedTextField.h"

#include "ui/window/QFStyleMask.h"
#include "ui/window/QFTextMeasure.h"
#include "ui/window/QFWindowStyle.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

QFEtchedTextField::QFEtchedTextField(QWidget* parent) : QWidget(parent) {
    text_.flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine;
}

void QFEtchedTextField::setStringValue(const QString& text) {
    text_.text = text;
    update();
}

void QFEtchedTextField::setFont(const QFont& font) {
    text_.font = font;
    QWidget::setFont(font);
    update();
}

void QFEtchedTextField::setWraps(bool wraps) {
    text_.flags = Qt::AlignHCenter | Qt::AlignTop | (wraps ? Qt::TextWordWrap : Qt::TextSingleLine);
    update();
}

QSizeF QFEtchedTextField::cellSizeForBounds(const QRectF& bounds) const {
    const QSizeF size = QFTextBoundingSize(text_.text, text_.font, text_.flags, bounds.width());
    // A line that does not wrap is cut at the width.
    return {std::ceil(std::min(size.width(), bounds.width())), std::ceil(size.height())};
}

void QFEtchedTextField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QFWindowStyle::placeholderTextEffectWithMask(QFStyleMaskForWindow(this))
        .drawAttributedString(painter, text_, rect());
}
