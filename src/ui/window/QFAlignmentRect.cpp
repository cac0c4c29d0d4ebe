#include "ui/window/QFAlignmentRect.h"

OMEdgeInsets QFAlignmentRectInsetsOf(const QWidget& view) {
    const auto* insetting = dynamic_cast<const QFAlignmentInsets*>(&view);
    return insetting ? insetting->alignmentRectInsets() : OMEdgeInsets{};
}

QRectF QFAlignmentRectForFrame(const QWidget& view, const QRectF& frame) {
    const OMEdgeInsets insets = QFAlignmentRectInsetsOf(view);
    return frame.adjusted(insets.left, insets.top, -insets.right, -insets.bottom);
}

QRectF QFFrameForAlignmentRect(const QWidget& view, const QRectF& alignmentRect) {
    const OMEdgeInsets insets = QFAlignmentRectInsetsOf(view);
    return alignmentRect.adjusted(-insets.left, -insets.top, insets.right, insets.bottom);
}
