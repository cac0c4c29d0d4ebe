#include "ui/iconview/QFIconViewAnimation.h"

#include "platform/dispatch/MainQueue.h"
#include "ui/iconview/QFIconViewFadeOutAnimation.h"
#include "ui/iconview/QFIconViewHopAnimation.h"
#include "ui/iconview/QFIconViewPulseAnimation.h"

#include <QGuiApplication>

#include <chrono>
#include <utility>

std::shared_ptr<QFIconViewAnimation> QFIconViewAnimation::animationWithStartMode(
    int32_t startMode, int32_t endMode, std::shared_ptr<QFIconViewAnimationContext> context) {
    if (endMode == 0) return std::make_shared<QFIconViewFadeOutAnimation>(std::move(context));
    if (startMode == 0 && endMode == 1)
        return std::make_shared<QFIconViewPulseAnimation>(std::move(context));
    if (startMode == 1 && endMode == 2)
        return std::make_shared<QFIconViewHopAnimation>(std::move(context));
    return nullptr;
}

void QFIconViewAnimation::addCompletionHandler(Handler handler) {
    if (handler) completionHandlers_.push_back(std::move(handler));
}

void QFIconViewAnimation::didRun() {
    // A handler may add handlers or drop the last reference to this.
    const auto keep = shared_from_this();
    for (Handler& handler : std::exchange(completionHandlers_, {}))
        handler();
}

double QFIconViewAnimation::durationForModifiers(double normal, Qt::KeyboardModifiers modifiers) {
    return modifiers.testFlag(Qt::ShiftModifier) ? kSlowDuration : normal;
}

double QFIconViewAnimation::duration(double normal) {
    return durationForModifiers(normal, QGuiApplication::queryKeyboardModifiers());
}

void QFIconViewAnimation::addScaleAnimations(QFLayer& layer, QFLayerAnimation& animation,
                                             const char* xKey, const char* yKey) {
    animation.setAdditive(true);
    animation.setValueFunction(QFValueFunction::ScaleX);
    layer.addAnimation(animation, xKey);
    animation.setValueFunction(QFValueFunction::ScaleY);
    layer.addAnimation(animation, yKey);
}

void QFIconViewAnimation::after(double seconds, std::function<void(QFIconViewAnimation&)> work) {
    const auto delay = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(std::max(seconds, 0.0)));
    lf::MainQueue::shared()->asyncAfter(
        delay, [self = shared_from_this(), work = std::move(work)] { work(*self); });
}
