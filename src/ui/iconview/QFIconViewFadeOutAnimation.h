#pragma once
// QFIconViewFadeOutAnimation: any mode to 0. The status badge, the input
// item and every output fade from what shows now to nothing, on the frame
// loop with the kit's default curve; a layer that shows nothing already is
// left alone.
//
// Duration: 0.35 s, 3 s with Shift.
//
// Threads: main thread only.

#include "ui/iconview/QFIconViewAnimation.h"

class QFIconViewFadeOutAnimation final : public QFIconViewAnimation {
public:
    static constexpr double kDuration = 0.35;

    using QFIconViewAnimation::QFIconViewAnimation;

    void run() override;

    static void fadeLayer(const std::shared_ptr<QFLayer>& layer, double duration);
};
