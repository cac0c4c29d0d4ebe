#pragma once
// QFIconViewAnimation: one change of the icon view's mode, played on the
// layers of its context (QFIconViewAnimationContext.h): 0 input, 1
// extracting, 2 output.
//
//   any mode to 0: QFIconViewFadeOutAnimation fades everything out;
//   0 to 1: QFIconViewPulseAnimation pulses the input item until stopped;
//   1 to 2: QFIconViewHopAnimation makes the outputs hop out of the input.
//
// Completion handlers run once, in the order added, when the animation has
// run (didRun): a given time after it started, or at once when cancelled.
// The icon view keeps the animations and decides which runs when.
//
// Each run reads its duration once from the keys held as it starts: Shift
// slows it to 3 s, so it can be watched.
//
// Delayed steps run on the main queue and keep the animation alive until
// they have run.
//
// Threads: main thread only.

#include "ui/iconview/QFIconViewAnimationContext.h"

#include <Qt>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QFIconViewAnimation : public std::enable_shared_from_this<QFIconViewAnimation> {
public:
    using Handler = std::function<void()>;
    static constexpr double kSlowDuration = 3.0;

    // The animation from `startMode` to `endMode`, or null where none exists.
    static std::shared_ptr<QFIconViewAnimation> animationWithStartMode(
        int32_t startMode, int32_t endMode, std::shared_ptr<QFIconViewAnimationContext> context);

    explicit QFIconViewAnimation(std::shared_ptr<QFIconViewAnimationContext> context)
        : context_(std::move(context)) {}
    virtual ~QFIconViewAnimation() = default;
    QFIconViewAnimation(const QFIconViewAnimation&) = delete;
    QFIconViewAnimation& operator=(const QFIconViewAnimation&) = delete;

    const std::shared_ptr<QFIconViewAnimationContext>& context() const { return context_; }
    virtual int32_t endMode() const { return 0; }
    virtual bool repeatsForever() const { return false; }
    // Whether the layers move beyond the view's bounds.
    virtual bool needsAnimationWindow() const { return false; }

    virtual void run() {}
    // Runs the completion handlers now.
    void cancel() { didRun(); }
    // Asks a repeating animation to wind down and then call `handler`;
    // others never call it.
    virtual void stopWithCompletionHandler(Handler) {}
    void addCompletionHandler(Handler handler);
    void didRun();

    // `normal`, or kSlowDuration while Shift is held.
    static double durationForModifiers(double normal, Qt::KeyboardModifiers modifiers);

protected:
    // `normal` or the slow duration, by the keys held now.
    static double duration(double normal);
    // Adds `animation` to `layer` twice, as additive scales along x (under
    // `xKey`) and along y (under `yKey`).
    static void addScaleAnimations(QFLayer& layer, QFLayerAnimation& animation, const char* xKey,
                                   const char* yKey);
    // Runs `work` on the main queue after `seconds`, keeping this alive.
    void after(double seconds, std::function<void(QFIconViewAnimation&)> work);

private:
    std::shared_ptr<QFIconViewAnimationContext> context_;
    std::vector<Handler> completionHandlers_;
};
