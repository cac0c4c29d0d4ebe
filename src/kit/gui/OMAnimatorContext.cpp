#include "kit/gui/OMAnimatorContext.h"

#include <algorithm>

OMAnimatorContext::Change& OMAnimatorContext::changeFor(const QByteArray& key, QObject* target) {
    auto found = std::find_if(changes_.begin(), changes_.end(), [&](const Change& change) {
        return change.target == target && change.key == key;
    });
    if (found != changes_.end()) return *found;
    return changes_.emplace_back(Change{target, key, {}, {}, {}});
}

void OMAnimatorContext::setValue(const QVariant& value, const QByteArray& key, QObject* target) {
    if (!target || key.isEmpty()) return;
    changeFor(key, target).value = value;
}

void OMAnimatorContext::setValue(const QVariant& value, const QByteArray& key, QObject* target,
                                 double duration, TimingFunction timingFunction) {
    if (!target || key.isEmpty()) return;
    Change& change = changeFor(key, target);
    change.value = value;
    change.duration = duration;
    change.timingFunction = std::move(timingFunction);
}
