#include "ui/widgets/QFSaveCancelButton.h"

#include "kit/OMAbsoluteTime.h"
#include "kit/OMAnimationTimingFunction.h"
#include "kit/gui/OMApplicationHooks.h"
#include "kit/gui/OMDrawing.h"
#include "kit/gui/OMFrameLoop.h"
#include "ui/window/QFColorDerivation.h"
#include "ui/window/QFStyleMask.h"
#include "ui/window/QFTextMeasure.h"
#include "ui/window/QFWindowSheet.h"
#include "ui/window/QFWindowStyle.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTitleFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
constexpr double kCornerRadius = 5;

QColor srgb(int red, int green, int blue, double alpha = 1.0) {
    return QColor::fromRgbF(red / 255.0f, green / 255.0f, blue / 255.0f, static_cast<float>(alpha));
}

// The control's blue, sRGB (18, 64, 110).
QColor controlBlue() {
    return srgb(18, 64, 110);
}

// `rect` of a control `height` high, given from its bottom edge up, in the
// control's own coordinates (y downwards).
QRectF fromBottom(double x, double bottom, double width, double rectHeight, double height) {
    return QRectF(x, height - bottom - rectHeight, width, rectHeight);
}

}  // namespace

QFSaveCancelButton::QFSaveCancelButton(QWidget* parent, OMAnimator::Clock clock)
    : QAbstractButton(parent),
      clock_(clock ? std::move(clock) : OMAnimator::Clock(OMCurrentAbsoluteTime)),
      animator_(OMAnimator::create(clock_)) {
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    primaryTitle_.font = secondaryTitle_.font = QFWindowStyle::buttonTitleAttributes();
    primaryTitle_.flags = secondaryTitle_.flags = kTitleFlags;
    connect(this, &QAbstractButton::clicked, this,
            &QFSaveCancelButton::dispatchPrimaryOrSecondaryAction);
}

void QFSaveCancelButton::setTitle(OMAttributedString& title, QSizeF& size, const QString& text) {
    if (text == title.text) return;
    title.text = text;
    size = QFTextBoundingSize(text, title.font, kTitleFlags);
    updateGeometry();
    update();
}

void QFSaveCancelButton::setPrimaryTitle(const QString& title) {
    setTitle(primaryTitle_, primaryTitleSize_, title);
}

void QFSaveCancelButton::setSecondaryTitle(const QString& title) {
    setTitle(secondaryTitle_, secondaryTitleSize_, title);
}

QSizeF QFSaveCancelButton::intrinsicContentSize() const {
    const double height =
        std::max({27.0, primaryTitleSize_.height(), secondaryTitleSize_.height()});
    const double width = std::max({54.0, primaryTitleSize_.width(), secondaryTitleSize_.width()});
    return {width + height + 10, height};
}

QSize QFSaveCancelButton::sizeHint() const {
    const QSizeF size = intrinsicContentSize();
    return {static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height()))};
}

QRectF QFSaveCancelButton::primaryButtonFrame() const {
    const QRectF bounds = rect();
    const double width = bounds.width() - bounds.height() + 2;
    return QRectF(bounds.x() - std::round(smoothedAnimationProgress() * width), bounds.y(), width,
                  bounds.height());
}

QRectF QFSaveCancelButton::secondaryButtonFrame() const {
    const QRectF bounds = rect();
    const double left = primaryButtonFrame().right();
    return QRectF(left, bounds.y(), bounds.right() - left, bounds.height());
}

QRectF QFSaveCancelButton::secondaryButtonFrameForTrackingArea() const {
    const QRectF bounds = rect();
    return QRectF(bounds.right() - bounds.height(), bounds.y(), bounds.height(), bounds.height());
}

void QFSaveCancelButton::setAnimationProgress(double progress) {
    animationProgress_ = progress;
    update();
}

double QFSaveCancelButton::smoothedProgress(double progress, bool hiding) {
    const double t = hiding ? progress : 1 - progress;
    double s;
    if (std::fabs(t - 1) < 0.001)
        s = 1;
    else if (std::fabs(t) < 0.001)
        s = 0;
    else
        s = OMAnimationTimingFunction::defaultTimingFunction()->evaluateWithTime(
            t * kSmoothingDuration, kSmoothingDuration);
    return hiding ? s : 1 - s;
}

double QFSaveCancelButton::smoothedAnimationProgress() const {
    return smoothedProgress(animationProgress_, isHiding_);
}

double QFSaveCancelButton::animationDurationForModifiers(Qt::KeyboardModifiers modifiers) {
    return modifiers.testFlag(Qt::ShiftModifier) ? kSlowAnimationDuration : kAnimationDuration;
}

double QFSaveCancelButton::animationDuration() const {
    const auto event = OMCurrentInputEvent();
    return animationDurationForModifiers(event ? event->modifiers : Qt::NoModifier);
}

void QFSaveCancelButton::showPrimaryButton() {
    isHiding_ = false;
    animator_->setValue(0.0, "animationProgress", this, animationDuration());
}

void QFSaveCancelButton::hidePrimaryButton() {
    didCancelHide_ = false;
    isHidePending_ = true;
    // Waits anew, so an earlier pass over the square cannot hide early.
    const uint64_t request = ++hideRequest_;
    const uint64_t start = clock_();
    OMAddAnimationBlock([button = QPointer(this), request, start] {
        if (!button || !button->isHidePending_ || button->hideRequest_ != request) return false;
        if (OMSecondsBetweenAbsoluteTimes(start, button->clock_()) < kHideDelay) return true;
        button->actuallyHidePrimaryButton();
        return false;
    });
}

void QFSaveCancelButton::actuallyHidePrimaryButton() {
    isHidePending_ = false;
    if (didCancelHide_) return;
    isHiding_ = true;
    animator_->setValue(1.0, "animationProgress", this, animationDuration());
}

void QFSaveCancelButton::cancelHidePrimaryButton() {
    didCancelHide_ = true;
    isHidePending_ = false;
}

void QFSaveCancelButton::cancelAreaEntered() {
    if (QFWindowHasAttachedSheet(window())) return;
    hidePrimaryButton();
}

void QFSaveCancelButton::cancelAreaExited() {
    cancelHidePrimaryButton();
}

void QFSaveCancelButton::visibleAreaExited(QPointF pointer) {
    cancelHidePrimaryButton();
    if (!QRectF(rect()).contains(pointer)) showPrimaryButton();
}

void QFSaveCancelButton::trackPointer(QPointF position) {
    const bool inside = secondaryButtonFrameForTrackingArea().contains(position);
    if (inside == pointerInCancelArea_) return;
    pointerInCancelArea_ = inside;
    if (inside)
        cancelAreaEntered();
    else
        cancelAreaExited();
}

void QFSaveCancelButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    trackPointer(event->position());
}

void QFSaveCancelButton::mouseMoveEvent(QMouseEvent* event) {
    trackPointer(event->position());
    QAbstractButton::mouseMoveEvent(event);
}

void QFSaveCancelButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    if (std::exchange(pointerInCancelArea_, false)) cancelAreaExited();
    visibleAreaExited(mapFromGlobal(QCursor::pos()));
}

void QFSaveCancelButton::mousePressEvent(QMouseEvent* event) {
    isTracking_ = true;
    isTrackingPrimaryButton_ = primaryButtonFrame().contains(event->position());
    QAbstractButton::mousePressEvent(event);
}

void QFSaveCancelButton::mouseReleaseEvent(QMouseEvent* event) {
    QAbstractButton::mouseReleaseEvent(event);
    isTracking_ = false;
    update();
}

void QFSaveCancelButton::dispatchPrimaryOrSecondaryAction() {
    const Action& action =
        isTracking_ && !isTrackingPrimaryButton_ ? secondaryAction_ : primaryAction_;
    if (action) action();
}

bool QFSaveCancelButton::primaryIsHighlighted() const {
    return isDown() && (!isTracking_ || isTrackingPrimaryButton_);
}

bool QFSaveCancelButton::secondaryIsHighlighted() const {
    return isDown() && isTracking_ && !isTrackingPrimaryButton_;
}

OMTemplateEffect QFSaveCancelButton::primaryButtonDropShadowEffect() const {
    OMTemplateEffect effect;
    effect.setShadows(
        QFWindowStyle::buttonEffectWithMask(QFStyleMaskForWindow(this) | QFStyleMaskButton)
            .shadows());
    return effect;
}

void QFSaveCancelButton::drawSecondaryButtonBackgroundInRect(QPainter& painter,
                                                             const QRectF& rect) const {
    const OMShadow inner{QPointF(0, -1), 2, srgb(61, 83, 96, 0.4)};
    OMTemplateEffect effect;
    if (secondaryIsHighlighted())
        effect.setInnerShadows({inner, OMShadow{QPointF(0, -1), 5, inner.color}});
    else
        effect.setInnerShadows({inner});
    effect.drawBezierPath(painter, OMBezierPathWithRoundedRect(rect, kCornerRadius));
}

void QFSaveCancelButton::drawPrimaryButtonBackgroundInRect(QPainter& painter,
                                                           const QRectF& rect) const {
    const bool highlighted = primaryIsHighlighted();
    const unsigned mask = QFStyleMaskForWindow(this) | QFStyleMaskButton |
                          (highlighted ? QFStyleMaskHighlighted : 0u);
    OMTemplateEffect body = QFWindowStyle::buttonEffectWithMask(mask);
    // Its shadow falls on the Cancel part and fades as Save slides away.
    body.setShadows(
        {OMShadow{QPointF(1, 0), 2, srgb(129, 147, 158, (1 - smoothedAnimationProgress()) * 0.6)}});
    body.drawBezierPath(painter, OMBezierPathWithRoundedRect(rect, kCornerRadius));
    if (highlighted) return;
    OMTemplateEffect rim;
    rim.setInnerShadows({OMShadow{QPointF(0, -1), 0.5, QColor::fromRgbF(1, 1, 1, 0.15f)}});
    rim.drawBezierPath(painter, OMBezierPathWithRoundedRect(rect.adjusted(1, 1, -1, -1), 4));
}

void QFSaveCancelButton::drawPrimaryTitleInRect(QPainter& painter, const QRectF& frame) const {
    if (smoothedAnimationProgress() == 1 || primaryTitle_.text.isEmpty()) return;
    const QSizeF size = primaryTitleSize_;
    const QRectF place = fromBottom(frame.x() + std::round((frame.width() - size.width()) / 2),
                                    std::ceil((frame.height() - 1 - size.height()) / 2),
                                    size.width(), size.height(), height());
    QFWindowStyle::buttonContentEffectWithMask(QFStyleMaskForWindow(this))
        .drawAttributedString(painter, primaryTitle_, place);
}

QRectF QFSaveCancelButton::secondaryTitleRect(const QRectF& frame) const {
    // The box right of the glyph spans the Cancel part only, so the title
    // is centred in what shows of it and never reaches beyond the control.
    const double inset = std::floor(frame.height() / 2) - 3;
    const QRectF box(frame.x() + inset, 0, frame.width() - inset, frame.height() - 1);
    const QSizeF size = secondaryTitleSize_;
    return fromBottom(box.x() + std::round((box.width() - size.width()) / 2),
                      1 + std::ceil((box.height() - size.height()) / 2), size.width(),
                      size.height(), height());
}

void QFSaveCancelButton::drawSecondaryTitleInRect(QPainter& painter, const QRectF& frame) const {
    if (smoothedAnimationProgress() == 0 || secondaryTitle_.text.isEmpty()) return;
    const unsigned mask = QFStyleMaskForWindow(this);
    const QColor titleBar = QFWindowStyle::windowTitleSubpixelBackgroundColorWithMask(1);
    const QColor blue = controlBlue();
    const QColor background = QColor::fromRgbF(titleBar.redF() * 0.95f + blue.redF() * 0.05f,
                                               titleBar.greenF() * 0.95f + blue.greenF() * 0.05f,
                                               titleBar.blueF() * 0.95f + blue.blueF() * 0.05f);
    painter.save();
    // While Cancel is still narrow the title shows only over it.
    painter.setClipRect(frame, Qt::IntersectClip);
    QFWindowStyle::windowTitleEffectWithMask(mask).drawAttributedString(
        painter, secondaryTitle_, secondaryTitleRect(frame), background);
    painter.restore();
}

void QFSaveCancelButton::drawCancelGlyph(QPainter& painter) const {
    QPainterPath cross;
    cross.moveTo(-3, 3);
    cross.lineTo(3, -3);
    cross.moveTo(-3, -3);
    cross.lineTo(3, 3);
    QPainterPath glyph = OMBezierPathByOutliningStroke(cross, 2.5, Qt::RoundCap, Qt::RoundJoin);
    const QRectF cancel = secondaryButtonFrame();
    QTransform transform;
    transform.translate(std::floor(height() / 2.0) + cancel.x() - 1,
                        height() - std::ceil(cancel.height() / 2));
    transform.rotate(180 * smoothedAnimationProgress());
    QFWindowStyle::windowButtonGlyphEffectWithMask(QFStyleMaskActive)
        .drawBezierPath(painter, transform.map(glyph));
}

void QFSaveCancelButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF bounds = rect();
    const QRectF body(bounds.x(), bounds.y(), bounds.width(), bounds.height() - 1);
    const QPainterPath rounded = OMBezierPathWithRoundedRect(body, kCornerRadius);
    const QPainterPath outline = OMBezierPathByOutliningStroke(rounded, 2);
    const bool active = QFStyleMaskForWindow(this) & QFStyleMaskActive;

    painter.save();
    primaryButtonDropShadowEffect().drawBezierPath(painter, rounded);
    painter.setClipPath(rounded);

    QColor base = controlBlue();
    if (!active) {
        const QFHSB hsb = QFHSBOfColor(base);
        base = QFColorWithHSB(hsb.hue, 0, std::min(1.0, hsb.brightness + 0.1));
    }
    QColor clear = base, tint = base;
    clear.setAlphaF(0);
    tint.setAlphaF(0.1f);
    OMGradient(clear, tint).drawInRect(painter, bounds, -90);

    drawSecondaryButtonBackgroundInRect(painter, bounds);
    const QRectF primary = primaryButtonFrame();
    drawPrimaryButtonBackgroundInRect(painter, primary);
    drawPrimaryTitleInRect(painter, primary);
    drawSecondaryTitleInRect(painter, secondaryButtonFrame());
    drawCancelGlyph(painter);

    painter.fillPath(outline, srgb(67, 91, 107, 0.2));
    painter.restore();
}
