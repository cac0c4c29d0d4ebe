#include "ui/layers/QFMediaTiming.h"

#include "kit/OMAbsoluteTime.h"

double QFCurrentMediaTime() {
    return OMSecondsBetweenAbsoluteTimes(0, OMCurrentAbsoluteTime());
}

const std::shared_ptr<const OMAnimationTimingFunction>& QFMediaTimingFunction(
    QFMediaTimingFunctionName name) {
    auto make = [](double x1, double y1, double x2, double y2) {
        return std::make_shared<const OMAnimationTimingFunction>(x1, y1, x2, y2);
    };
    static const std::shared_ptr<const OMAnimationTimingFunction> linear = make(0, 0, 1, 1);
    static const std::shared_ptr<const OMAnimationTimingFunction> easeIn = make(0.42, 0, 1, 1);
    static const std::shared_ptr<const OMAnimationTimingFunction> easeOut = make(0, 0, 0.58, 1);
    static const std::shared_ptr<const OMAnimationTimingFunction> easeInEaseOut =
        make(0.42, 0, 0.58, 1);
    switch (name) {
        case QFMediaTimingFunctionName::Linear:
            return linear;
        case QFMediaTimingFunctionName::EaseIn:
            return easeIn;
        case QFMediaTimingFunctionName::EaseOut:
            return easeOut;
        case QFMediaTimingFunctionName::EaseInEaseOut:
            return easeInEaseOut;
        case QFMediaTimingFunctionName::Default:
            break;
    }
    return OMAnimationTimingFunction::defaultTimingFunction();
}
