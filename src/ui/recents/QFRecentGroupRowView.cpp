#include "ui/recents/QFRecentGroupRowView.h"

#include "ui/popovers/QFPopoverStyle.h"
#include "ui/recents/QFRecentsStyle.h"
#include "ui/window/QFResources.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

QFRecentGroupRowView::QFRecentGroupRowView(QWidget* parent) : QWidget(parent) {}

std::shared_ptr<const OMImage> QFRecentGroupRowView::glyphTemplate() {
    // The registry reads each image once.
    return QFResources::shared()->imageNamed(QFImageName::RecentsHeaderTemplate);
}

double QFRecentGroupRowView::preferredHeight() {
    const auto glyph = glyphTemplate();
    return glyph ? glyph->size().height() : 0;
}

QRectF QFRecentGroupRowView::glyphRectInBounds(const QRectF& bounds, QSizeF glyphSize) {
    return QRectF(std::floor(bounds.center().x() - glyphSize.width() / 2),
                  std::floor(bounds.center().y() - glyphSize.height() / 2), glyphSize.width(),
                  glyphSize.height());
}

void QFRecentGroupRowView::paintEvent(QPaintEvent*) {
    const QRectF bounds(rect());
    const auto glyph = glyphTemplate();
    const QRectF glyphRect = glyphRectInBounds(bounds, glyph ? glyph->size() : QSizeF(0, 0));
    QPainter painter(this);
    painter.save();
    QPainterPath around;
    around.setFillRule(Qt::OddEvenFill);
    around.addRect(bounds);
    around.addRect(glyphRect.adjusted(-kGlyphMargin, 0, kGlyphMargin, 0));
    painter.setClipPath(around);
    QFPopoverStyle::drawListSeparatorInRect(painter, bounds);
    painter.restore();
    if (glyph)
        QFRecentsStyle::listSeparatorTitleEffectWithMask(0).drawImage(painter, *glyph, glyphRect);
}
