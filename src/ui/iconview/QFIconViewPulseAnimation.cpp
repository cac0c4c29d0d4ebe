#include "ui/iconview/QFIconViewPulseAnimation.h"

#include "kit/OMAbsoluteTime.h"
#include "kit/gui/OMFrameLoop.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/layers/QFBasicAnimation.h"

void QFIconViewPulseAnimation::run() {
    const std::shared_ptr<QFIconLayer> input = context()->inputItemLayer();
    if (!input) return;
    input->removeAllAnimations();
    input->setOpacity(1.0);
    input->setTransform(QTransform());
    input->setSquashAmount(0);
    for (const auto& output : context()->outputItemLayers())
        output->setOpacity(0);

    const double d = duration(kDuration);
    // The handlers hear of the change while the pulse goes on.
    after(d, [](QFIconViewAnimation& self) { self.didRun(); });
    if (const auto status = context()->statusLayer()) fadeAndScaleStatusLayer(*status, 0.35 * d);

    interpolator_ = interpolatorForDuration(d);
    startTime_ = OMCurrentAbsoluteTime();
    const std::weak_ptr<QFIconViewAnimation> weak = shared_from_this();
    OMAddAnimationBlock([weak, input] {
        const auto self = std::static_pointer_cast<QFIconViewPulseAnimation>(weak.lock());
        return self && self->step(*input);
    });
}

QFRepeatingInterpolator QFIconViewPulseAnimation::interpolatorForDuration(double d) {
    QFRepeatingInterpolator interpolator;
    interpolator.addSetupValue(0.0, -0.25 * d);
    interpolator.addSetupValue(0.5, 0);
    interpolator.addSetupValue(1.3, 0.25 * d);
    interpolator.addSetupValue(0.8, 0.666 * d);
    interpolator.addSetupValue(1.1, d);
    interpolator.addRepeatingValue(0.95, 0.5 * d);
    interpolator.addRepeatingValue(1.05, d);
    interpolator.addTeardownValue(0.99, 0.2 * d);
    interpolator.addTeardownValue(1.001, 0.3 * d);
    interpolator.addTeardownValue(1.0, 0.4 * d);
    return interpolator;
}

bool QFIconViewPulseAnimation::step(QFIconLayer& input) {
    const double t = OMSecondsSinceAbsoluteTime(startTime_);
    const double s = interpolator_->valueForTime(t);
    input.setTransform(QTransform::fromScale(s, s));
    input.setOpacity(1.0);
    input.setSquashAmount(0);
    input.display();
    const double end = interpolator_->teardownEndTime();
    if (end <= t && stopCompletionHandler_)
        lf::MainQueue::shared()->async(std::exchange(stopCompletionHandler_, nullptr));
    return t < end;
}

void QFIconViewPulseAnimation::stopWithCompletionHandler(Handler handler) {
    stopCompletionHandler_ = std::move(handler);
    if (interpolator_) interpolator_->startTeardownAtTime(OMSecondsSinceAbsoluteTime(startTime_));
}

void QFIconViewPulseAnimation::fadeAndScaleStatusLayer(QFLayer& layer, double duration) {
    auto kept = [duration](QFBasicAnimation animation) {
        animation.setDuration(duration);
        animation.setTimingFunction(QFMediaTimingFunctionName::EaseInEaseOut);
        animation.setRemovedOnCompletion(false);
        animation.setFillMode(QFFillMode::Both);
        return animation;
    };
    layer.addAnimation(kept(QFBasicAnimation("opacity", 0.0, 1.0)), "fade");
    QFBasicAnimation scale = kept(QFBasicAnimation("transform", 0.1, 1.0));
    addScaleAnimations(layer, scale, "scaleX", "scaleY");
}
