#include "ui/iconview/QFIconViewFadeOutAnimation.h"

#include "kit/OMAbsoluteTime.h"
#include "kit/gui/OMFrameLoop.h"

void QFIconViewFadeOutAnimation::run() {
    const double d = duration(kDuration);
    after(d, [](QFIconViewAnimation& self) { self.didRun(); });
    fadeLayer(context()->statusLayer(), d);
    fadeLayer(context()->inputItemLayer(), d);
    for (const auto& output : context()->outputItemLayers())
        fadeLayer(output, d);
}

void QFIconViewFadeOutAnimation::fadeLayer(const std::shared_ptr<QFLayer>& layer, double duration) {
    if (!layer) return;
    // What shows now, read before the animations that make it go.
    const double shown = layer->presentationValue("opacity");
    layer->removeAllAnimations();
    if (shown == 0) return;
    const uint64_t start = OMCurrentAbsoluteTime();
    OMAddAnimationBlock([layer, shown, start, duration] {
        const double t = OMSecondsSinceAbsoluteTime(start);
        const double p =
            OMAnimationTimingFunction::defaultTimingFunction()->evaluateWithTime(t, duration);
        layer->setOpacity((1 - p) * shown);
        return t < duration;
    });
}
