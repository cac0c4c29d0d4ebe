#pragma once
// QFIconViewPulseAnimation: mode 0 to 1. The input item appears and pulses
// (its scale follows a QFRepeatingInterpolator on every frame) while the
// status badge fades and grows in. It repeats until stopped; a stop lets
// the pulse finish its cycle and settle before the stop handler runs. The
// completion handlers run after one duration, while the pulse goes on.
//
// Duration: 1 s, 3 s with Shift.
//
// Threads: main thread only.

#include "ui/iconview/QFIconViewAnimation.h"
#include "ui/iconview/QFRepeatingInterpolator.h"

#include <cstdint>
#include <optional>

class QFIconViewPulseAnimation final : public QFIconViewAnimation {
public:
    static constexpr double kDuration = 1.0;

    using QFIconViewAnimation::QFIconViewAnimation;

    int32_t endMode() const override { return 1; }
    bool repeatsForever() const override { return true; }

    void run() override;
    void stopWithCompletionHandler(Handler handler) override;

    // The badge's fade and growth from a tenth of its size, kept on it.
    static void fadeAndScaleStatusLayer(QFLayer& layer, double duration);
    // The pulse's keyframes for a duration `d`.
    static QFRepeatingInterpolator interpolatorForDuration(double d);

    // The timeline of the current run (null before the first).
    const QFRepeatingInterpolator* interpolator() const {
        return interpolator_ ? &*interpolator_ : nullptr;
    }

private:
    // One frame; answers whether the pulse goes on.
    bool step(QFIconLayer& input);

    std::optional<QFRepeatingInterpolator> interpolator_;
    uint64_t startTime_ = 0;
    Handler stopCompletionHandler_;
};
