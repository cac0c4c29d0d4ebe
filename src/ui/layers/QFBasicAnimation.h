#pragma once
// QFBasicAnimation: an animation of a layer's property from one value to
// another (QFLayerAnimation.h).
//
// Threads: main thread only.

#include "ui/layers/QFLayerAnimation.h"

class QFBasicAnimation final : public QFLayerAnimation {
public:
    QFBasicAnimation(std::string keyPath, QFLayerValue from, QFLayerValue to)
        : QFLayerAnimation(std::move(keyPath)), from_(from), to_(to) {}

    std::shared_ptr<QFLayerAnimation> copy() const override {
        return std::make_shared<QFBasicAnimation>(*this);
    }

    const QFLayerValue& fromValue() const { return from_; }
    const QFLayerValue& toValue() const { return to_; }

    QFLayerValue valueAtProgress(double progress) const override {
        return QFInterpolateLayerValues(from_, to_, progress);
    }

private:
    QFLayerValue from_, to_;
};
