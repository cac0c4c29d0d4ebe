#include "kit/gui/OMAnimationDuration.h"

#include <cmath>

double OMAnimationDurationForEvent(const std::optional<OMInputEventRecord>& event,
                                   double duration) {
    if (!event) return duration;
    switch (event->type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:  // the second press of a double click
        case QEvent::MouseButtonRelease:
            if (event->button == Qt::LeftButton && event->modifiers.testFlag(Qt::ShiftModifier))
                return duration * kOMSlowAnimationFactor;
            return duration;
        default:
            return duration;
    }
}

double OMAnimationDurationForEvent(const QInputEvent* event, double duration) {
    if (!event) return OMAnimationDurationForEvent(OMCurrentInputEvent(), duration);
    return OMAnimationDurationForEvent(OMRecordOfInputEvent(*event), duration);
}

double OMAnimationDurationForDistance(const QWidget* view, double distance) {
    return OMAnimationDurationForEvent(nullptr, std::pow(distance, 0.57) / 80.0);
}
