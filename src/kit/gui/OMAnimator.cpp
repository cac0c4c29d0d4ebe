#include "kit/gui/OMAnimator.h"

#include "kit/OMAbsoluteTime.h"
#include "kit/gui/OMFrameLoop.h"
#include "platform/dispatch/MainQueue.h"

#include <algorithm>

std::shared_ptr<OMAnimator> OMAnimator::create(Clock clock) {
    return std::make_shared<OMAnimator>(Passkey{}, std::move(clock));
}

OMAnimator::OMAnimator(Passkey, Clock clock)
    : clock_(clock ? std::move(clock) : Clock(OMCurrentAbsoluteTime)) {}

bool OMAnimator::Running::isOf(const QObject* target, const QByteArray& key) const {
    // A deleted target's address may come back for a new object: its
    // entries never match.
    return pair == OMAnimatorPair{target, key} && helper->target;
}

std::vector<OMAnimator::Running>::iterator OMAnimator::find(const QObject* target,
                                                            const QByteArray& key) {
    return std::find_if(animations_.begin(), animations_.end(),
                        [&](const Running& running) { return running.isOf(target, key); });
}

bool OMAnimator::hasAnimationForTarget(const QObject* target, const QByteArray& key) const {
    return std::any_of(animations_.begin(), animations_.end(),
                       [&](const Running& running) { return running.isOf(target, key); });
}

void OMAnimator::forget(const std::shared_ptr<OMAnimatorHelper>& helper) {
    std::erase_if(animations_, [&](const Running& running) { return running.helper == helper; });
}

void OMAnimator::setValue(const QVariant& value, const QByteArray& key, QObject* target,
                          double duration, OMAnimatorCompletion completionHandler) {
    lf::assertMainThread("OMAnimator::setValue");
    addHelper(value, key, target, duration, nullptr, std::move(completionHandler));
    setNeedsAnimation(!animations_.empty());
}

void OMAnimator::addHelper(const QVariant& value, const QByteArray& key, QObject* target,
                           double duration,
                           std::shared_ptr<const OMAnimationTimingFunction> timingFunction,
                           OMAnimatorCompletion completionHandler) {
    if (!target || key.isEmpty()) return;
    auto running = find(target, key);
    if (running != animations_.end() && running->helper->targetValue == value) return;

    duration = std::max(duration, 0.0);
    const OMInterpolator interpolator = OMInterpolatorForValue(value);
    if (duration == 0 || !interpolator) {
        removeAnimationForTarget(target, key);
        target->setProperty(key.constData(), value);
        return;
    }

    auto helper = std::make_shared<OMAnimatorHelper>();
    helper->target = target;
    helper->startTime = clock_();
    helper->duration = duration;
    helper->startValue = target->property(key.constData());
    helper->lastAnimatedValue = helper->startValue;
    helper->targetValue = value;
    helper->interpolator = interpolator;
    helper->timingFunction = std::move(timingFunction);
    helper->completionHandler = std::move(completionHandler);
    if (running != animations_.end())
        running->helper = std::move(helper);
    else
        animations_.push_back({{target, key}, std::move(helper)});
}

void OMAnimator::removeAnimationForTarget(const QObject* target, const QByteArray& key) {
    std::erase_if(animations_, [&](const Running& running) {
        return running.pair == OMAnimatorPair{target, key};
    });
}

void OMAnimator::removeAnimationsForTarget(const QObject* target) {
    std::erase_if(animations_,
                  [&](const Running& running) { return running.pair.target == target; });
}

void OMAnimator::runAnimationGroup(const std::function<void(OMAnimatorContext&)>& group,
                                   OMAnimatorCompletion completionHandler) {
    lf::assertMainThread("OMAnimator::runAnimationGroup");
    if (!group) return;
    OMAnimatorContext context;
    group(context);
    const auto& changes = context.changes();
    if (changes.empty()) {
        if (completionHandler) completionHandler();
        return;
    }

    OMAnimatorCompletion countDown;
    if (completionHandler) {
        auto remaining = std::make_shared<size_t>(changes.size());
        countDown = [remaining, handler = std::move(completionHandler)] {
            if (--*remaining == 0) handler();
        };
    }
    for (const OMAnimatorContext::Change& change : changes) {
        addHelper(change.value, change.key, change.target,
                  change.duration.value_or(context.duration()),
                  change.timingFunction.value_or(context.timingFunction()), countDown);
    }
    setNeedsAnimation(!animations_.empty());
}

void OMAnimator::setNeedsAnimation(bool needsAnimation) {
    if (!needsAnimation || isAnimating_) return;
    // Set before the block is added: when that happens inside a pass, the
    // block waits for the next one, and this animator must not add a second.
    isAnimating_ = true;
    OMAddAnimationBlock([self = shared_from_this()] {
        self->isAnimating_ = self->runAnimations();
        return self->isAnimating_;
    });
}

bool OMAnimator::runAnimations() {
    if (willAnimateCallback_) willAnimateCallback_();
    const uint64_t now = clock_();

    // Handlers may add, replace or remove animations: walk a copy, and skip
    // an entry that is no longer its pair's animation.
    std::vector<Running> walking = animations_;
    for (const Running& entry : walking) {
        const auto& helper = entry.helper;
        if (std::none_of(animations_.begin(), animations_.end(),
                         [&](const Running& running) { return running.helper == helper; }))
            continue;
        QObject* target = helper->target;
        if (!target) {
            forget(helper);
            continue;
        }
        const char* key = entry.pair.key.constData();
        if (target->property(key) != helper->lastAnimatedValue) {
            forget(helper);  // somebody else changed the property
            continue;
        }
        const double progress = helper->currentProgress(now);
        if (progress >= 1.0) {
            target->setProperty(key, helper->targetValue);
            forget(helper);
            if (helper->completionHandler) helper->completionHandler();
        } else {
            target->setProperty(
                key, helper->interpolator(helper->startValue, helper->targetValue, progress));
            helper->lastAnimatedValue = target->property(key);
        }
    }

    if (didAnimateCallback_) didAnimateCallback_();
    return !animations_.empty();
}
