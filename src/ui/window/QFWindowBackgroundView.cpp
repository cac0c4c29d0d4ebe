#include "ui/window/QFWindowBackgroundView.h"

#include "kit/gui/OMDeviceLayer.h"
#include "kit/gui/OMDeviceSpace.h"
#include "kit/gui/OMDrawing.h"
#include "kit/gui/OMGradient.h"
#include "platform/settings/UserDefaults.h"
#include "ui/window/QFColorDerivation.h"
#include "ui/window/QFStyleMask.h"
#include "ui/window/QFWindow.h"
#include "ui/window/QFWindowMoveTracker.h"
#include "ui/window/QFWindowStyle.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// The bitmap of `image` that suits the painter's device.
const QImage* bitmapForPainter(const OMImage& image, const QPainter& painter) {
    const auto* bitmap =
        dynamic_cast<const OMBitmapImageRep*>(image.bestRepresentation(OMDeviceScale(painter)));
    return bitmap ? &bitmap->bitmap() : nullptr;
}

void drawTiledBackground(QPainter& painter, const QRectF& bounds, bool active) {
    QSizeF tile;
    const auto image = QFWindowStyle::windowBackgroundWhenActive(active, &tile);
    const QImage* bitmap = image ? bitmapForPainter(*image, painter) : nullptr;
    if (!bitmap || bitmap->isNull()) {
        painter.fillRect(bounds, QFWindowStyle::windowBackgroundColorWhenActive(active));
        return;
    }
    // Centred horizontally, hanging from the top edge.
    QBrush brush(*bitmap);
    QTransform place;
    place.translate(std::ceil(bounds.x() + bounds.width() / 2), bounds.y());
    place.scale(tile.width() / bitmap->width(), tile.height() / bitmap->height());
    brush.setTransform(place);
    painter.fillRect(bounds, brush);
}

// A horizontal band of full opacity that fades out over 40 points at each
// end of `rect`.
OMDeviceLayer edgeFadeMask(const QRect& canvas, const QTransform& toDevice, const QRectF& rect) {
    const double fade = rect.width() > 0 ? std::min(0.5, 40.0 / rect.width()) : 0.5;
    OMGradient mask(QGradientStops{{0.0, QColor(0, 0, 0, 0)},
                                   {fade, Qt::black},
                                   {1.0 - fade, Qt::black},
                                   {1.0, QColor(0, 0, 0, 0)}});
    OMDeviceLayer layer(canvas);
    layer.paint(toDevice, [&](QPainter& painter) { mask.drawInRect(painter, rect, 0); });
    return layer;
}

// Draws what `draw` paints, faded out at the ends of `fadeRect`, onto
// `painter` with `mode`.
void drawFaded(QPainter& painter, const QRectF& area, const QRectF& fadeRect,
               QPainter::CompositionMode mode, const OMShapeDrawer& draw) {
    const QTransform toDevice = OMUserToDeviceTransform(painter);
    const QRect canvas = toDevice.mapRect(area).toAlignedRect();
    if (canvas.isEmpty()) return;
    OMDeviceLayer layer(canvas);
    layer.paint(toDevice, draw);
    layer.composite(edgeFadeMask(canvas, toDevice, fadeRect),
                    QPainter::CompositionMode_DestinationIn);
    layer.drawOnto(painter, mode);
}

QColor grey(double white, double alpha = 1.0) {
    return QColor::fromRgbF(white, white, white, alpha);
}

bool miniaturizesOnDoubleClick() {
    const auto defaults = lf::UserDefaults::standard();
    const char* key = QFWindowBackgroundView::kMiniaturizeOnDoubleClickDefault;
    return !defaults->objectForKey(key) || defaults->boolForKey(key);
}

}  // namespace

QFWindowBackgroundView::QFWindowBackgroundView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    new QFWindowMoveTracker(this, QFWindowMoveTracker::Events::PassOn);  // owned by the view
}

void QFWindowBackgroundView::setTitlebarHeight(double height) {
    titlebarHeight_ = height;
    update();
}

void QFWindowBackgroundView::setDrawsDropIndicator(bool draws) {
    if (draws == drawsDropIndicator_) return;
    drawsDropIndicator_ = draws;
    update();
}

QPainterPath QFWindowBackgroundView::roundedTopCornersPath(const QRectF& b) {
    const double r = kCornerRadius;
    QPainterPath path;
    path.moveTo(b.left(), b.bottom());
    path.lineTo(b.left(), b.top() + r);
    path.arcTo(QRectF(b.left(), b.top(), 2 * r, 2 * r), 180, -90);
    path.lineTo(b.right() - r, b.top());
    path.arcTo(QRectF(b.right() - 2 * r, b.top(), 2 * r, 2 * r), 90, -90);
    path.lineTo(b.right(), b.bottom());
    path.closeSubpath();
    return path;
}

void QFWindowBackgroundView::drawBackgroundInBounds(QPainter& painter, const QRectF& bounds,
                                                    bool active, double titlebarHeight) {
    const double x = bounds.x(), w = bounds.width(), h = bounds.height();
    const QRectF titlebar(x, bounds.y(), w, titlebarHeight);
    const QColor base = QFWindowStyle::windowBackgroundColorWhenActive(active);
    painter.save();

    drawTiledBackground(painter, bounds, active);

    // Pinstripes, one on the centre line, laid over with the overlay mode.
    painter.setCompositionMode(QPainter::CompositionMode_Overlay);
    for (double stripe = std::ceil(std::fmod(w / 2, kPinstripePitch)); stripe < x + w;
         stripe += kPinstripePitch)
        painter.fillRect(QRectF(stripe, bounds.y(), 1, h), grey(0, 0.08));

    // The title bar's sheen, dodged over the texture.
    painter.setCompositionMode(QPainter::CompositionMode_ColorDodge);
    OMGradient(grey(active ? 0.14 : 0.1), grey(0)).drawInRect(painter, titlebar, -90);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

    // The top highlight.
    painter.fillRect(QRectF(x, titlebar.top(), w, 1), grey(1, 0.3));

    // The etched bottom edge of the title bar.
    const QColor etch = QFDerivedColor(base, 0, 2.5, 0.6);
    auto line = [&](QPainter& layer, double fromBottom, QColor color, double alpha) {
        color.setAlphaF(static_cast<float>(alpha));
        layer.fillRect(QRectF(x, titlebar.bottom() - fromBottom - 1, w, 1), color);
    };
    drawFaded(painter, titlebar, titlebar, QPainter::CompositionMode_Overlay, [&](QPainter& layer) {
        line(layer, 0, etch, 0.42);
        line(layer, 1, Qt::white, 0.15);
        line(layer, 5, etch, 0.08);
    });

    // The shadow the title bar casts on the content.
    QColor shade = QFDerivedColor(base, 0, 2.5, 0.3);
    const QRectF shadow(x, titlebar.bottom(), w, 5);
    drawFaded(painter, shadow, bounds, QPainter::CompositionMode_SourceOver, [&](QPainter& layer) {
        QColor from = shade, to = shade;
        from.setAlphaF(0.08f);
        to.setAlphaF(0);
        OMGradient(from, to).drawInRect(layer, shadow, -90);
    });
    painter.restore();
}

void QFWindowBackgroundView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRectF bounds = rect();
    const QRectF dirty = event->rect();
    const double r = kCornerRadius;
    const QRectF topLeft(bounds.left(), bounds.top(), r, r);
    const QRectF topRight(bounds.right() - r, bounds.top(), r, r);
    if (dirty.intersects(topLeft) || dirty.intersects(topRight)) {
        // The corners stay clear; a window without translucency cuts them
        // with its mask instead.
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillRect(topLeft.toAlignedRect(), Qt::transparent);
        painter.fillRect(topRight.toAlignedRect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setClipPath(roundedTopCornersPath(bounds));
    }

    if (backgroundCache_.needsDrawImplementation()) {
        backgroundCache_.implementDraw(
            [titlebarHeight = titlebarHeight_](QPainter& canvas, const QRectF& rect, double,
                                               unsigned options) {
                drawBackgroundInBounds(canvas, rect, options & QFStyleMaskActive, titlebarHeight);
            });
    }
    backgroundCache_.drawRect(painter, dirty, this, 0.0, QFStyleMaskForWindow(this),
                              QPainter::CompositionMode_Source);

    if (drawsDropIndicator_) {
        painter.setClipping(false);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(QFWindowStyle::windowDropIndicatorColorWhenActive(QFStyleMaskForWindow(this) &
                                                                   QFStyleMaskActive));
        pen.setWidthF(2);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(OMBezierPathWithRoundedRect(bounds.adjusted(5, 5, -5, -5), 3));
    }
}

QRectF QFWindowBackgroundView::titlebarArea() const {
    const auto* window = qobject_cast<const QFWindow*>(this->window());
    if (!window || window->metaObject() != &QFWindow::staticMetaObject) return {};
    const QWidget* content = window->customizableContentView();
    const double contentHeight = content ? content->height() : 0;
    return QRectF(0, 0, width(), std::max(0.0, height() - contentHeight));
}

bool QFWindowBackgroundView::handleTitlebarDoubleClick(const QMouseEvent& event) {
    if (event.modifiers() & Qt::ControlModifier) return false;
    auto* window = qobject_cast<QFWindow*>(this->window());
    const QRectF area = titlebarArea();
    if (!window || area.isEmpty() || !area.contains(event.position())) return false;
    if (!miniaturizesOnDoubleClick()) return false;
    if (event.modifiers() & Qt::AltModifier)
        QFWindow::miniaturizeAll();
    else
        window->miniaturize();
    return true;
}

void QFWindowBackgroundView::mousePressEvent(QMouseEvent* event) {
    releaseEndsDoubleClick_ = false;
    event->accept();
}

void QFWindowBackgroundView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press; the double click acts when it is released.
    releaseEndsDoubleClick_ = event->button() == Qt::LeftButton;
    event->accept();
}

void QFWindowBackgroundView::mouseReleaseEvent(QMouseEvent* event) {
    const bool doubleClick = std::exchange(releaseEndsDoubleClick_, false);
    if (doubleClick && handleTitlebarDoubleClick(*event)) {
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}
