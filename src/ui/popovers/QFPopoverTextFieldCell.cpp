#include "ui/popovers/QFPopoverTextFieldCell.h"

#include "kit/gui/OMDrawing.h"
#include "kit/gui/OMShadow.h"
#include "kit/gui/OMTemplateEffect.h"
#include "ui/popovers/QFPopoverStyle.h"
#include "ui/window/QFTextMeasure.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
// Text sits this far right of D's edge, where the line edit puts it too.
constexpr double kTextInset = 2;

}  // namespace

OMAttributedString QFPopoverTextFieldCell::stringAttributes(const QFont& font) const {
    return OMAttributedString{{}, font, kTextFlags};
}

QColor QFPopoverTextFieldCell::placeholderColor(const QColor& textColor) const {
    QColor color = textColor;
    color.setAlphaF(textColor.alphaF() * kPlaceholderEditingAlpha);
    return color;
}

QRectF QFPopoverTextFieldCell::drawingRectForBounds(const QRectF& bounds, const QString& string,
                                                    const QFont& font) const {
    const OMEdgeInsets& p = padding_;
    QRectF rect(bounds.x() + p.left + 3, bounds.y() + p.top + 1,
                bounds.width() - p.left - p.right - 6, bounds.height() - p.top - p.bottom - 6);
    if (sizesEditorToFit_) {
        const QString& measured =
            string.isEmpty() && !placeholderString_.isEmpty() ? placeholderString_ : string;
        const double width = QFTextBoundingSize(measured, font, kTextFlags).width();
        rect.setWidth(std::min(rect.width(), std::ceil(width) + 4));
    }
    return rect;
}

QRectF QFPopoverTextFieldCell::backgroundRectForDrawingRect(const QRectF& d,
                                                            const QRectF& frame) const {
    const OMEdgeInsets& p = padding_;
    QRectF box(d.x() - p.left - 1, d.y() - p.top - 2, d.width() + p.left + p.right + 2,
               d.height() + p.top + p.bottom + 3);
    box.adjust(-0.5, -0.5, 0.5, 0.5);
    // The box reaches a point above the frame; its rim stays visible.
    box.setTop(std::max(box.top(), frame.top() + 0.5));
    return box;
}

void QFPopoverTextFieldCell::drawWithFrame(QPainter& painter, const QRectF& frame,
                                           const QString& string, const QFont& font,
                                           const QColor& textColor, bool editing) const {
    const QRectF d = drawingRectForBounds(frame, string, font);
    const QPainterPath box = OMBezierPathWithRoundedRect(backgroundRectForDrawingRect(d, frame), 2);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (editing) {
        OMShadow{QPointF(0, -2), 3, QColor::fromRgbF(0, 0, 0, 0.3)}.drawOutsideBezierPath(painter,
                                                                                          box);
    }
    painter.fillPath(box, Qt::white);
    painter.strokePath(box, QPen(QColor::fromRgbF(0, 0, 0, editing ? 0.3 : 0.2), 1));
    painter.restore();

    const QRectF textRect = d.translated(kTextInset, 0);
    if (!placeholderString_.isEmpty() && string.isEmpty()) {
        painter.save();
        painter.setFont(font);
        painter.setPen(editing ? placeholderColor(textColor) : textColor);
        painter.drawText(textRect, kTextFlags, placeholderString_);
        painter.restore();
    } else if (!editing) {
        OMAttributedString text = stringAttributes(font);
        text.text = string;
        OMTemplateEffect effect;
        effect.setFillColor(QColor(Qt::black));
        effect.drawAttributedString(painter, text, textRect,
                                    QFPopoverStyle::subpixelBackgroundColorWithMask(0));
    }
}
