#include "ui/recents/QFRecentFlowButton.h"

#include "flows/QFFlow.h"
#include "kit/gui/OMDrawing.h"
#include "ui/recents/QFRecentsStyle.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFStyleMask.h"

#include <QPainter>

QFRecentFlowButton::QFRecentFlowButton(QWidget* parent) : QFWindowButton(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void QFRecentFlowButton::setHasSmartFlowStyle(bool smart) {
    if (smart == hasSmartFlowStyle_) return;
    hasSmartFlowStyle_ = smart;
    update();
}

void QFRecentFlowButton::reflectFlow(const QFFlow& flow) {
    setHasSmartFlowStyle(flow.behavior() != QFFlowBehaviorNone);
}

QSize QFRecentFlowButton::sizeHint() const {
    return {static_cast<int>(kSize) + 2, static_cast<int>(kSize) + 2};
}

void QFRecentFlowButton::drawInBounds(QPainter& painter, const QRectF& bounds,
                                      unsigned mask) const {
    const QRectF r = bounds.adjusted(1, 1, -1, -1);
    if (r.width() < 3) return;
    const bool smart = hasSmartFlowStyle_ || (mask & QFStyleMaskMouseInside);
    QFRecentsStyle::drawBorderedButtonWithMask(
        painter, mask, smart, OMBezierPathWithRoundedRect(r, 4),
        OMBezierPathWithRoundedRect(r.adjusted(1, 1, -1, -1), 3));
    if (auto glyph = QFResources::shared()->imageNamed(QFImageName::ActionExportTemplate)) {
        const QPointF centre = r.center();
        QFRecentsStyle::buttonContentEffectWithMask(mask, smart)
            .drawImage(painter, *glyph,
                       QRectF(centre.x() - kGlyphSize / 2, centre.y() - kGlyphSize / 2, kGlyphSize,
                              kGlyphSize));
    }
}

void QFRecentFlowButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawInBounds(painter, QRectF(rect()), drawingStyleMask());
}
