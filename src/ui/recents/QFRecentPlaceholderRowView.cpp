#include "ui/recents/QFRecentPlaceholderRowView.h"

#include "ui/popovers/QFPopoverStyle.h"
#include "ui/window/QFStyleMask.h"
#include "ui/window/QFTextMeasure.h"

#include <QPainter>

#include <cmath>

QFRecentPlaceholderRowView::QFRecentPlaceholderRowView(QWidget* parent) : QWidget(parent) {
    text_ = OMAttributedString{
        "You can quickly repeat previous exports from here, and optionally enable auto-repeat.",
        QFPopoverStyle::platformSystemFontOfSize(12),
        Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap};
    textSize_ = QFTextBoundingSize(text_.text, text_.font, text_.flags,
                                   kListWidth - padding_.left - padding_.right);
}

QRectF QFRecentPlaceholderRowView::textRectInBounds(const QRectF& bounds) const {
    return QFPopoverStyle::textRectInBounds(bounds, padding_, textSize_.height());
}

void QFRecentPlaceholderRowView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const unsigned mask = QFStyleMaskForWindow(this);
    QFPopoverStyle::textEffectForLabelType(QFPopoverLabelTypeDetail, mask)
        .drawAttributedString(painter, text_, textRectInBounds(QRectF(rect())),
                              QFPopoverStyle::subpixelBackgroundColorWithMask(0));
}
