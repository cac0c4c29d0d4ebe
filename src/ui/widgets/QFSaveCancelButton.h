#pragma once
// QFSaveCancelButton: the two-part Save / Cancel control of a running flow's
// title bar. At rest the Save part fills the control but for a square at the
// right end that holds the Cancel glyph. When the pointer rests on that
// square for 0.15 s, the Save part slides out to the left (0.35 s, 2 s with
// Shift held), the glyph turns half a round on its way to the left end and
// the Cancel title appears beside it; leaving the control slides Save back.
//
// A press that begins on the Save part, and a click from a menu (click()),
// sends the primary action; a press that begins anywhere else sends the
// secondary one.
//
// The modifiers that slow the slide are those of the input event being
// handled (OMCurrentInputEvent), not the keyboard's state of the moment.
//
// The delay before the slide and the slide itself both run on the kit's
// frame loop and read the control's clock, so they keep one time.
//
// Threads: main thread only.

#include "kit/gui/OMAnimator.h"
#include "kit/gui/OMAppKitView.h"
#include "kit/gui/OMAttributedString.h"
#include "kit/gui/OMTemplateEffect.h"

#include <QAbstractButton>

#include <functional>
#include <memory>

class QFSaveCancelButton : public QAbstractButton, public OMAppKitView {
    Q_OBJECT
    Q_PROPERTY(double animationProgress READ animationProgress WRITE setAnimationProgress)

public:
    static constexpr double kHideDelay = 0.15;
    static constexpr double kAnimationDuration = 0.35;
    static constexpr double kSlowAnimationDuration = 2.0;
    static constexpr double kSmoothingDuration = 1.2;

    using Action = std::function<void()>;

    // `clock` drives the delay and the slide (tests give one of their own).
    explicit QFSaveCancelButton(QWidget* parent = nullptr, OMAnimator::Clock clock = {});

    QString primaryTitle() const { return primaryTitle_.text; }
    void setPrimaryTitle(const QString& title);
    QString secondaryTitle() const { return secondaryTitle_.text; }
    void setSecondaryTitle(const QString& title);

    // The owner clears them before it goes.
    void setPrimaryAction(Action action) { primaryAction_ = std::move(action); }
    void setSecondaryAction(Action action) { secondaryAction_ = std::move(action); }

    QSizeF intrinsicContentSize() const;
    QSize sizeHint() const override;

    // The Save part, sliding out to the left as the progress grows.
    QRectF primaryButtonFrame() const;
    // From the Save part's right edge to the control's.
    QRectF secondaryButtonFrame() const;
    // The square at the right end that the pointer rests on to cancel.
    QRectF secondaryButtonFrameForTrackingArea() const;
    // Where the Cancel title goes in the Cancel part `frame`: centred in
    // the part right of the glyph.
    QRectF secondaryTitleRect(const QRectF& frame) const;

    // 0: Save fully shown; 1: fully hidden.
    double animationProgress() const { return animationProgress_; }
    void setAnimationProgress(double progress);
    // The progress eased in the direction of the last slide.
    double smoothedAnimationProgress() const;
    static double smoothedProgress(double progress, bool hiding);

    // 0.35 s, or 2 s while the event being handled holds Shift.
    double animationDuration() const;
    static double animationDurationForModifiers(Qt::KeyboardModifiers modifiers);

    void showPrimaryButton();
    // Hides after the delay unless cancelled meanwhile.
    void hidePrimaryButton();
    void actuallyHidePrimaryButton();
    void cancelHidePrimaryButton();
    bool isHiding() const { return isHiding_; }
    bool isHidePending() const { return isHidePending_; }

    // The pointer entering or leaving the Cancel square, and leaving the
    // control with the pointer at `pointer` (in the control's coordinates).
    void cancelAreaEntered();
    void cancelAreaExited();
    void visibleAreaExited(QPointF pointer);

    bool needsDisplayForChangedWindowAppearance() override { return true; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void dispatchPrimaryOrSecondaryAction();
    void trackPointer(QPointF position);
    void setTitle(OMAttributedString& title, QSizeF& size, const QString& text);
    bool primaryIsHighlighted() const;
    bool secondaryIsHighlighted() const;

    void drawPrimaryButtonBackgroundInRect(QPainter& painter, const QRectF& rect) const;
    void drawSecondaryButtonBackgroundInRect(QPainter& painter, const QRectF& rect) const;
    void drawPrimaryTitleInRect(QPainter& painter, const QRectF& rect) const;
    void drawSecondaryTitleInRect(QPainter& painter, const QRectF& rect) const;
    void drawCancelGlyph(QPainter& painter) const;
    OMTemplateEffect primaryButtonDropShadowEffect() const;

    double animationProgress_ = 0;
    bool isHiding_ = false;
    bool didCancelHide_ = false;
    OMAnimator::Clock clock_;
    std::shared_ptr<OMAnimator> animator_;
    bool isHidePending_ = false;
    // Counts the hides asked for, so that the wait of an earlier one ends
    // without hiding.
    uint64_t hideRequest_ = 0;
    bool isTracking_ = false;
    bool isTrackingPrimaryButton_ = false;
    bool pointerInCancelArea_ = false;
    OMAttributedString primaryTitle_, secondaryTitle_;
    QSizeF primaryTitleSize_{0, 0}, secondaryTitleSize_{0, 0};
    Action primaryAction_, secondaryAction_;
};
