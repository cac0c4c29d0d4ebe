#include "ui/window/QFStandardWindowButton.h"

#include "kit/gui/OMShadow.h"
#include "kit/gui/OMTemplateEffect.h"
#include "ui/window/QFColorDerivation.h"
#include "ui/window/QFWindow.h"
#include "ui/window/QFWindowStyle.h"

#include <QPaintEvent>

namespace {

// The oval and the inner oval of a button of `bounds`.
QRectF outerOval(const QRectF& bounds) {
    return bounds.adjusted(1, 2, -1, -2);
}

QRectF innerOval(const QRectF& bounds) {
    return outerOval(bounds).adjusted(1, 1.25, -1, -1.25);
}

QPainterPath ellipse(const QRectF& rect) {
    QPainterPath path;
    path.addEllipse(rect);
    return path;
}

// The effect of the etched oval, from the chrome colour of the state.
OMTemplateEffect etchedEffect(bool active) {
    const QColor base = QFWindowStyle::windowBackgroundColorWhenActive(active);
    OMTemplateEffect effect;
    effect.setFillColor(QFDerivedColor(base, 0, 5, 0.7, 0.1));
    effect.setFillGradient(
        OMGradient(QFDerivedColor(base, 0, 3, 0.8, 0.25), QFDerivedColor(base, 0, 3, 0.8, 0)));
    effect.setFillGradientAngle(90);
    const QColor faint = QFDerivedColor(base, 0, 2.5, 0.6, 0.1);
    const QColor strong = QFDerivedColor(base, 0, 2.5, 0.6, 0.6);
    effect.setInnerShadows(
        {OMShadow{QPointF(0, -0.5), 1, faint}, OMShadow{QPointF(0, 0), 1.5, strong}});
    return effect;
}

}  // namespace

QFStandardWindowButton::QFStandardWindowButton(Kind kind, QWidget* parent)
    : QAbstractButton(parent), kind_(kind) {
    setFocusPolicy(Qt::NoFocus);
    resize(sizeHint());
    connect(this, &QAbstractButton::clicked, this, &QFStandardWindowButton::perform);
}

QRectF QFStandardWindowButton::standardFrame(Kind kind) {
    return QRectF(7 + 20 * static_cast<int>(kind), 3, 14, 16);
}

QSize QFStandardWindowButton::sizeHint() const {
    return standardFrame(kind_).size().toSize();
}

void QFStandardWindowButton::perform() {
    QWidget* window = this->window();
    switch (kind_) {
        case Close:
            window->close();
            break;
        case Miniaturize:
            if (auto* flowWindow = qobject_cast<QFWindow*>(window))
                flowWindow->miniaturize();
            else
                window->showMinimized();
            break;
        case Zoom:
            if (window->isMaximized())
                window->showNormal();
            else
                window->showMaximized();
            break;
    }
}

void QFStandardWindowButton::drawEtchedLook(QPainter& painter, const QRectF& bounds, bool active) {
    const QRectF outer = outerOval(bounds);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // A highlight etched below the oval, outside it.
    QPainterPath around;
    around.setFillRule(Qt::OddEvenFill);
    around.addRect(bounds);
    around.addEllipse(outer);
    painter.setClipPath(around);
    OMShadow{QPointF(0, -2), 1.5, QColor::fromRgbF(1, 1, 1, 0.7f)}.drawWithBezierPath(
        painter, ellipse(innerOval(bounds)));
    painter.setClipping(false);
    etchedEffect(active).drawBezierPath(painter, ellipse(outer));
    painter.restore();
}

void QFStandardWindowButton::drawFullLook(QPainter& painter, const QRectF& bounds, Kind kind,
                                          bool pressed, bool enabled) {
    const QRectF outer = outerOval(bounds);
    const QColor base = QFWindowStyle::windowBackgroundColorWhenActive(true);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QFDerivedColor(base, 0, 6, 0.35, 0.6), 0.5));
    painter.setBrush(QFDerivedColor(base, 0, 5, pressed ? 0.4 : 0.55, enabled ? 1.0 : 0.4));
    painter.drawEllipse(outer.adjusted(0.25, 0.25, -0.25, -0.25));
    // The glyph: a cross to close, a bar to miniaturise, a plus to zoom.
    QPen glyph(QColor::fromRgbF(1, 1, 1, 0.9f), 1.3, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(glyph);
    const QPointF c = outer.center();
    const double r = outer.width() * 0.22;
    switch (kind) {
        case Close:
            painter.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
            painter.drawLine(c + QPointF(-r, r), c + QPointF(r, -r));
            break;
        case Miniaturize:
            painter.drawLine(c + QPointF(-r * 1.2, 0), c + QPointF(r * 1.2, 0));
            break;
        case Zoom:
            painter.drawLine(c + QPointF(-r * 1.2, 0), c + QPointF(r * 1.2, 0));
            painter.drawLine(c + QPointF(0, -r * 1.2), c + QPointF(0, r * 1.2));
            break;
    }
    painter.restore();
}

void QFStandardWindowButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    auto* window = qobject_cast<QFWindow*>(this->window());
    if (window && window->metaObject() == &QFWindow::staticMetaObject &&
        window->drawRectForButton(painter, *this))
        return;
    drawFullLook(painter, rect(), kind_, isDown(), isEnabled());
}
