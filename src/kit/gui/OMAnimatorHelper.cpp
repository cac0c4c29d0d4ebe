#include "kit/gui/OMAnimatorHelper.h"

#include "kit/OMAbsoluteTime.h"

#include <QMetaType>
#include <QRect>
#include <QRectF>

#include <algorithm>
#include <cmath>

namespace {

double mix(double start, double target, double progress) {
    return target * progress + start * (1.0 - progress);
}

QRectF rectOf(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::QRectF:
            return value.toRectF();
        case QMetaType::QRect:
            return QRectF(value.toRect());
        default:
            return QRectF();
    }
}

}  // namespace

QVariant OMInterpolateNumber(const QVariant& start, const QVariant& target, double progress) {
    const double value = mix(start.toDouble(), target.toDouble(), progress);
    if (target.typeId() == QMetaType::Float) return QVariant(static_cast<float>(value));
    return QVariant(value);
}

QVariant OMInterpolateRect(const QVariant& start, const QVariant& target, double progress) {
    const QRectF from = rectOf(start), to = rectOf(target);
    const QRectF rect(std::round(mix(from.x(), to.x(), progress)),
                      std::round(mix(from.y(), to.y(), progress)),
                      std::round(mix(from.width(), to.width(), progress)),
                      std::round(mix(from.height(), to.height(), progress)));
    if (target.typeId() == QMetaType::QRect) return QVariant(rect.toRect());
    return QVariant(rect);
}

OMInterpolator OMInterpolatorForValue(const QVariant& target) {
    switch (target.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
            return OMInterpolateNumber;
        case QMetaType::QRectF:
        case QMetaType::QRect:
            return OMInterpolateRect;
        default:
            return nullptr;
    }
}

double OMAnimatorHelper::currentProgress(uint64_t now) const {
    const double elapsed = startTime == 0 ? 0.0 : OMSecondsBetweenAbsoluteTimes(startTime, now);
    if (timingFunction) return timingFunction->evaluateWithTime(elapsed, duration);
    if (duration == 0) return 1.0;
    return std::clamp(elapsed / duration, 0.0, 1.0);
}
