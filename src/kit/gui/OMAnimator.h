#pragma once
// OMAnimator: moves Qt properties of any objects from their current value to
// a target value over a duration, on the kit's frame loop.
//
//     auto animator = OMAnimator::create();
//     animator->setValue(0.0, "opacity", layer, 0.25, [] { ... });
//     animator->runAnimationGroup([&](OMAnimatorContext& group) {
//         group.setDuration(0.3);
//         group.setValue(QRectF(0, 0, 40, 40), "frame", row);
//     }, [] { ... after the last change has ended ... });
//
// Floating-point numbers and rectangles are interpolated (OMAnimatorHelper.h);
// other values, and any change of duration 0, are set at once, without
// calling the completion handler. Asking for the value that the running
// animation of a property already heads to changes nothing (the new handler
// is dropped). A new value replaces the running animation of its property,
// whose completion handler then never runs. An animation ends without its
// handler when other code changes the property meanwhile, when it is
// removed, or when its target is deleted.
//
// A completion handler runs after its animation has left the animator, so
// it may start the next animation of the same property.
//
// The animator keeps itself alive while it animates: its step block in the
// frame loop holds it. It reads time from its clock, OMCurrentAbsoluteTime
// unless the maker gives another (tests drive a fake one).
//
// Threads: main thread only.

#include "kit/gui/OMAnimatorContext.h"
#include "kit/gui/OMAnimatorHelper.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class OMAnimator : public std::enable_shared_from_this<OMAnimator> {
    struct Passkey {};

public:
    using Clock = std::function<uint64_t()>;
    using Callback = std::function<void()>;

    static std::shared_ptr<OMAnimator> create(Clock clock = {});
    OMAnimator(Passkey, Clock clock);
    OMAnimator(const OMAnimator&) = delete;
    OMAnimator& operator=(const OMAnimator&) = delete;

    // Animates `target`'s property `key` to `value` over `duration` seconds
    // with linear progress.
    void setValue(const QVariant& value, const QByteArray& key, QObject* target, double duration,
                  OMAnimatorCompletion completionHandler = {});

    // Calls `group` to record changes, then starts them together; the
    // completion handler runs once, after the last of them has ended. It
    // runs at once when the group recorded nothing, and never when a change
    // was set at once, dropped, replaced, removed or overridden. A null
    // group does nothing at all.
    void runAnimationGroup(const std::function<void(OMAnimatorContext&)>& group,
                           OMAnimatorCompletion completionHandler = {});

    // Stops the animation where it stands; no completion handler runs.
    void removeAnimationForTarget(const QObject* target, const QByteArray& key);
    void removeAnimationsForTarget(const QObject* target);

    // Called before and after every pass that moves the animations.
    const Callback& willAnimateCallback() const { return willAnimateCallback_; }
    void setWillAnimateCallback(Callback callback) { willAnimateCallback_ = std::move(callback); }
    const Callback& didAnimateCallback() const { return didAnimateCallback_; }
    void setDidAnimateCallback(Callback callback) { didAnimateCallback_ = std::move(callback); }

    bool isAnimating() const { return isAnimating_; }
    bool hasAnimationForTarget(const QObject* target, const QByteArray& key) const;

private:
    struct Running {
        OMAnimatorPair pair;
        std::shared_ptr<OMAnimatorHelper> helper;
        bool isOf(const QObject* target, const QByteArray& key) const;
    };

    void addHelper(const QVariant& value, const QByteArray& key, QObject* target, double duration,
                   std::shared_ptr<const OMAnimationTimingFunction> timingFunction,
                   OMAnimatorCompletion completionHandler);
    void setNeedsAnimation(bool needsAnimation);
    // One pass; answers whether any animation still runs.
    bool runAnimations();
    std::vector<Running>::iterator find(const QObject* target, const QByteArray& key);
    // Drops the running entry of `helper`, if it is still the pair's one.
    void forget(const std::shared_ptr<OMAnimatorHelper>& helper);

    Clock clock_;
    bool isAnimating_ = false;
    std::vector<Running> animations_;
    Callback willAnimateCallback_, didAnimateCallback_;
};
