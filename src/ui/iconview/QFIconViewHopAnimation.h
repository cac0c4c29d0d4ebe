#pragma once
// QFIconViewHopAnimation: mode 1 to 2. The input item squashes, stretches
// and shrinks away while every output hops out of it along an arc over the
// input, growing with a bounce; outputs farther away start later, with a
// random spread. The badge fades. The layers leave the view's bounds, so
// the view moves them into its animation overlay meanwhile.
//
// Duration d: 0.5 s, 3 s with Shift; the steps between starts are d / 8.
// The completion handlers run when the last output has landed; a clean-up
// at 2 d leaves the outputs at rest and the input hidden.
//
// Threads: main thread only.

#include "ui/iconview/QFIconViewAnimation.h"

#include <QPainterPath>

class QFIconViewHopAnimation final : public QFIconViewAnimation {
public:
    static constexpr double kDuration = 0.5;

    using QFIconViewAnimation::QFIconViewAnimation;

    int32_t endMode() const override { return 2; }
    bool needsAnimationWindow() const override { return true; }

    void run() override;

    // The run's d, and the step between the outputs' starts.
    double hopAnimationDuration() const { return duration_; }
    double hopAnimationStepDelay() const { return duration_ * 0.125; }

    // The scale of a hopping output: from 0.1 past 1 and back to 1.
    static QPainterPath scalePath();

private:
    void squashAndStretchInputItem(QFIconLayer& input) const;
    void shrinkAndFadeInputItem(QFIconLayer& input) const;
    void cleanUp();

    double duration_ = kDuration;
};
