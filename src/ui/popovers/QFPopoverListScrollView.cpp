#include "ui/popovers/QFPopoverListScrollView.h"

#include "ui/popovers/QFPopoverListView.h"

#include <QEvent>
#include <QGraphicsEffect>
#include <QLinearGradient>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

// The view's mask: what the scroll view draws, with its alpha multiplied
// by the mask. Nothing is masked while no edge fades.
class FadeMaskEffect final : public QGraphicsEffect {
public:
    explicit FadeMaskEffect(QFPopoverListScrollView& view) : QGraphicsEffect(&view), view_(view) {}

protected:
    void draw(QPainter* painter) override {
        if (view_.maskTopOpacity() == 0 && view_.maskBottomOpacity() == 0) {
            drawSource(painter);
            return;
        }
        QPoint offset;
        QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, NoPad);
        if (pixmap.isNull()) return;
        {
            QPainter masking(&pixmap);
            masking.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            masking.drawImage(QPointF(), view_.maskImage(pixmap.devicePixelRatio()));
        }
        painter->drawPixmap(offset, pixmap);
    }

private:
    QFPopoverListScrollView& view_;
};

}  // namespace

QFPopoverListScrollView::QFPopoverListScrollView(QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setGraphicsEffect(new FadeMaskEffect(*this));  // owned by the view
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            &QFPopoverListScrollView::reflectScrolledClipView);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &QFPopoverListScrollView::reflectScrolledClipView);
}

bool QFPopoverListScrollView::viewportEvent(QEvent* event) {
    const bool handled = QScrollArea::viewportEvent(event);
    if (event->type() == QEvent::Resize) {
        // The content spans the width that the scroller leaves.
        if (QWidget* content = widget()) content->resize(viewport()->width(), content->height());
        reflectScrolledClipView();
    }
    return handled;
}

void QFPopoverListScrollView::reflectScrolledClipView() {
    if (auto* list = qobject_cast<QFPopoverListView*>(parentWidget()))
        list->tileWithAnimation(false);
    const QWidget* content = widget();
    if (!content) return;
    const double visibleTop = verticalScrollBar()->value();
    const double visibleBottom = visibleTop + viewport()->height();
    const double top = std::clamp(visibleTop / maskFeatherHeight_, 0.0, 1.0);
    const double bottom =
        std::clamp((content->height() - visibleBottom) / maskFeatherHeight_, 0.0, 1.0);
    if (top == maskTopOpacity_ && bottom == maskBottomOpacity_) return;
    maskTopOpacity_ = top;
    maskBottomOpacity_ = bottom;
    if (QGraphicsEffect* effect = graphicsEffect()) effect->update();
}

void QFPopoverListScrollView::drawMask(QPainter& painter, const QRectF& bounds) const {
    const double feather = maskFeatherHeight_;
    QRectF middle = bounds.adjusted(0, feather, 0, -feather);
    // Each band fades from its outer edge, at 1 - sqrt(o), to opaque at
    // its inner edge; a band with nothing beyond it is opaque.
    auto band = [&](const QRectF& strip, double outerY, double innerY, double opacity) {
        if (opacity == 0) {
            middle = middle.united(strip);
            return;
        }
        QLinearGradient gradient(QPointF(strip.x(), outerY), QPointF(strip.x(), innerY));
        gradient.setColorAt(0, QColor::fromRgbF(0, 0, 0, 1 - std::sqrt(opacity)));
        gradient.setColorAt(1, Qt::black);
        painter.fillRect(strip, gradient);
    };
    band(QRectF(bounds.x(), bounds.top(), bounds.width(), feather), bounds.top(),
         bounds.top() + feather, maskTopOpacity_);
    band(QRectF(bounds.x(), bounds.bottom() - feather, bounds.width(), feather), bounds.bottom(),
         bounds.bottom() - feather, maskBottomOpacity_);
    if (middle.height() > 0) painter.fillRect(middle, Qt::black);
}

QImage QFPopoverListScrollView::maskImage(double scale) const {
    QImage mask(size() * scale, QImage::Format_ARGB32_Premultiplied);
    mask.setDevicePixelRatio(scale);
    mask.fill(Qt::transparent);
    QPainter painter(&mask);
    drawMask(painter, QRectF(QPointF(), QSizeF(size())));
    return mask;
}
