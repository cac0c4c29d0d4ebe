#include "ui/iconview/QFIconViewHopAnimation.h"

#include "ui/layers/QFBasicAnimation.h"
#include "ui/layers/QFKeyframeAnimation.h"

#include <QLineF>
#include <QRandomGenerator>

#include <algorithm>

QPainterPath QFIconViewHopAnimation::scalePath() {
    QPainterPath path;
    path.moveTo(0.1, 0.1);
    path.cubicTo(1.5, 1.5, 1.5, 1.5, 1.0, 1.0);
    return path;
}

void QFIconViewHopAnimation::run() {
    const std::shared_ptr<QFIconLayer> input = context()->inputItemLayer();
    const std::vector<std::shared_ptr<QFIconLayer>> outputs = context()->outputItemLayers();
    if (!input) return;
    input->removeAllAnimations();
    for (const auto& output : outputs) {
        output->setOpacity(1.0);
        output->removeAllAnimations();
    }

    duration_ = duration(kDuration);
    const double d = duration_;
    after(2 * d,
          [](QFIconViewAnimation& self) { static_cast<QFIconViewHopAnimation&>(self).cleanUp(); });
    squashAndStretchInputItem(*input);
    shrinkAndFadeInputItem(*input);

    const double now = QFCurrentMediaTime();
    const double base = now + 0.45 * d;
    const double end = base + 4 * hopAnimationStepDelay() + d;
    after(end - QFCurrentMediaTime(), [](QFIconViewAnimation& self) { self.didRun(); });

    const QPointF p0 = input->position();
    double farthest = 1.0;
    for (const auto& output : outputs)
        farthest = std::max(farthest, QLineF(p0, output->position()).length());

    const QPainterPath scale = scalePath();
    for (const auto& output : outputs) {
        const QPointF p = output->position();
        const double distance = QLineF(p0, p).length();
        const double spread =
            (2 * distance / farthest + QRandomGenerator::global()->generateDouble()) / 3;
        const double begin = base + 4 * hopAnimationStepDelay() * spread;
        output->setTransform(QTransform());
        output->setOpacity(1.0);

        auto hop = [&](QFKeyframeAnimation animation) {
            animation.setFillMode(QFFillMode::Backwards);
            animation.setRemovedOnCompletion(false);
            animation.setDuration(d);
            animation.setBeginTime(begin);
            return animation;
        };
        QFKeyframeAnimation grow = hop(QFKeyframeAnimation("transform"));
        grow.setPath(scale);
        addScaleAnimations(*output, grow, "scaleX", "scaleY");
        // An arc over the input: up from the input, down onto the tile.
        const double h = std::max(input->bounds().height(), output->bounds().height());
        QPainterPath arc;
        arc.moveTo(p0);
        arc.cubicTo(QPointF(p0.x(), p0.y() - 1.4 * h), QPointF(p.x(), p.y() - 0.625 * h), p);
        QFKeyframeAnimation move = hop(QFKeyframeAnimation("position"));
        move.setPath(arc);
        output->addAnimation(move, "position");

        QFBasicAnimation front("zPosition", -2.0, 1.0);
        front.setRemovedOnCompletion(false);
        front.setFillMode(QFFillMode::Both);
        front.setDuration(d);
        front.setBeginTime(base);
        output->addAnimation(front, "bringToFront");
    }

    if (const auto status = context()->statusLayer()) {
        QFBasicAnimation fade("opacity", 1.0, 0.0);
        fade.setDuration(d);
        fade.setBeginTime(base + 0.5 * d);
        fade.setRemovedOnCompletion(false);
        fade.setFillMode(QFFillMode::Both);
        fade.setTimingFunction(QFMediaTimingFunctionName::EaseInEaseOut);
        status->addAnimation(fade, "fade");
    }
}

void QFIconViewHopAnimation::squashAndStretchInputItem(QFIconLayer& input) const {
    QFKeyframeAnimation squash(QFIconLayer::kSquashAmountKey);
    squash.setValues({0.0, 1.0, 1.3, 1.2, 1.0, 0.0, -1.1});
    squash.setDuration(duration_);
    squash.setTimingFunction(QFMediaTimingFunctionName::EaseInEaseOut);
    squash.setFillMode(QFFillMode::Forwards);
    squash.setRemovedOnCompletion(false);
    input.addAnimation(squash, "squashAndStretch");
}

void QFIconViewHopAnimation::shrinkAndFadeInputItem(QFIconLayer& input) const {
    const double begin = QFCurrentMediaTime() + 0.75 * duration_;
    auto shrink = [&](QFBasicAnimation animation) {
        animation.setBeginTime(begin);
        animation.setDuration(duration_);
        animation.setFillMode(QFFillMode::Forwards);
        animation.setRemovedOnCompletion(false);
        return animation;
    };
    QFBasicAnimation scale = shrink(QFBasicAnimation("transform", 1.0, 0.1));
    addScaleAnimations(input, scale, "scaleX2", "scaleY2");
    input.addAnimation(shrink(QFBasicAnimation("opacity", 1.0, 0.0)), "opacity1");
}

void QFIconViewHopAnimation::cleanUp() {
    if (const auto input = context()->inputItemLayer()) {
        input->setOpacity(0);
        input->setSquashAmount(0);
        input->setTransform(QTransform());
        input->removeAllAnimations();
        input->display();
    }
    for (const auto& output : context()->outputItemLayers()) {
        output->setOpacity(1.0);
        output->setTransform(QTransform());
        output->removeAllAnimations();
    }
}
