#include "ui/layers/QFBasicAnimation.h"
#include "ui/layers/QFKeyframeAnimation.h"
#include "ui/layers/QFLayer.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

constexpr double kBegin = 100;  // a media time of the tests' choosing

QFBasicAnimation linear(const char* key, QFLayerValue from, QFLayerValue to, double duration = 1) {
    QFBasicAnimation animation(key, from, to);
    animation.setBeginTime(kBegin);
    animation.setDuration(duration);
    return animation;
}

QColor pixelAt(const QFLayer& root, QPoint point, double time) {
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    root.render(painter, time);
    painter.end();
    return image.pixelColor(point);
}

}  // namespace

// Before, during and after an animation, by fill mode and removal: the
// model shows wherever the animation shows nothing.
TEST(QFLayer, PresentationFollowsFillModes) {
    QFLayer layer;
    layer.setOpacity(0.2);
    struct Case {
        QFFillMode fill;
        bool removed;
        double before, after;
    } cases[] = {{QFFillMode::Removed, true, 0.2, 0.2},
                 {QFFillMode::Backwards, false, 1.0, 0.2},
                 {QFFillMode::Forwards, false, 0.2, 0.0},
                 {QFFillMode::Both, false, 1.0, 0.0},
                 {QFFillMode::Both, true, 1.0, 0.2}};
    for (const Case& c : cases) {
        QFBasicAnimation fade = linear("opacity", 1.0, 0.0);
        fade.setFillMode(c.fill);
        fade.setRemovedOnCompletion(c.removed);
        layer.addAnimation(fade, "fade");
        EXPECT_DOUBLE_EQ(layer.presentation(kBegin - 1).opacity, c.before);
        EXPECT_DOUBLE_EQ(layer.presentation(kBegin + 0.25).opacity, 0.75);
        EXPECT_DOUBLE_EQ(layer.presentation(kBegin + 2).opacity, c.after);
        EXPECT_DOUBLE_EQ(layer.opacity(), 0.2);  // the model never moves
    }
    // A finished animation that goes on completion leaves at the next step.
    layer.stepAnimations(kBegin + 2);
    EXPECT_EQ(layer.animationForKey("fade"), nullptr);
}

// Reversing and repeating: a cycle goes there and back; the value at the
// end is where the last pass ends. The repeat duration cuts a cycle short.
TEST(QFLayer, AutoreverseAndRepeat) {
    QFLayer layer;
    QFBasicAnimation swing = linear("zPosition", 0.0, 10.0);
    swing.setAutoreverses(true);
    swing.setRepeatCount(2);
    swing.setFillMode(QFFillMode::Forwards);
    swing.setRemovedOnCompletion(false);
    layer.addAnimation(swing, "swing");
    EXPECT_DOUBLE_EQ(swing.endTime(), kBegin + 4);
    EXPECT_DOUBLE_EQ(layer.presentationValue("zPosition", kBegin + 0.5), 5);
    EXPECT_DOUBLE_EQ(layer.presentationValue("zPosition", kBegin + 1.25), 7.5);  // back
    EXPECT_DOUBLE_EQ(layer.presentationValue("zPosition", kBegin + 2.25), 2.5);  // 2nd cycle
    EXPECT_DOUBLE_EQ(layer.presentationValue("zPosition", kBegin + 9), 0);

    swing.setRepeatCount(0);
    swing.setAutoreverses(false);
    swing.setRepeatDuration(2.5);
    layer.addAnimation(swing, "swing");
    EXPECT_DOUBLE_EQ(layer.presentationValue("zPosition", kBegin + 9), 5);
    EXPECT_TRUE(layer.hasRunningAnimations(kBegin + 2.4));
    EXPECT_FALSE(layer.hasRunningAnimations(kBegin + 2.5));
}

// A finished animation that fills forwards holds the end of its last pass
// at any begin time: media times are seconds of the system's uptime, and at
// half of their magnitudes the begin time plus a duration such as the icon
// view's 0.35 s badge fade rounds to just past the end, once shown as the
// start again (the badge vanished as its fade-in ended).
TEST(QFLayer, HeldEndValuesStandAtEveryBeginTime) {
    QFLayer layer;
    for (double begin = 1.37; begin < 1e10; begin *= 2) {
        SCOPED_TRACE(begin);
        QFBasicAnimation fade("opacity", 0.0, 1.0);
        fade.setBeginTime(begin);
        fade.setDuration(0.35);
        fade.setRemovedOnCompletion(false);
        fade.setFillMode(QFFillMode::Both);
        layer.addAnimation(fade, "fade");
        EXPECT_NEAR(layer.presentation(begin + 10).opacity, 1.0, 1e-9);

        fade.setRepeatCount(3);
        layer.addAnimation(fade, "fade");
        EXPECT_NEAR(layer.presentation(begin + 10).opacity, 1.0, 1e-9);
        fade.setAutoreverses(true);
        layer.addAnimation(fade, "fade");
        EXPECT_NEAR(layer.presentation(begin + 10).opacity, 0.0, 1e-9);
    }
}

// Timing curves: symmetric ease-in-out passes the middle at half way; ease
// in lags behind linear progress.
TEST(QFLayer, TimingFunctions) {
    QFLayer layer;
    QFBasicAnimation eased = linear("opacity", 0.0, 1.0);
    eased.setTimingFunction(QFMediaTimingFunctionName::EaseInEaseOut);
    layer.addAnimation(eased, "a");
    EXPECT_NEAR(layer.presentation(kBegin + 0.5).opacity, 0.5, 0.01);
    EXPECT_LT(layer.presentation(kBegin + 0.25).opacity, 0.2);
    eased.setTimingFunction(QFMediaTimingFunctionName::EaseIn);
    layer.addAnimation(eased, "a");
    EXPECT_LT(layer.presentation(kBegin + 0.5).opacity, 0.4);
}

// Additive scales multiply the model's; position paths advance their
// curve parameter with the time; values are evenly spaced.
TEST(QFLayer, AdditiveScalesPathsAndKeyframes) {
    QFLayer layer;
    layer.setTransform(QTransform::fromScale(2, 2));
    QFBasicAnimation grow = linear("transform", 0.5, 1.5);
    grow.setValueFunction(QFValueFunction::ScaleX);
    grow.setAdditive(true);
    layer.addAnimation(grow, "x");
    const QTransform mid = layer.presentation(kBegin + 0.5).transform;
    EXPECT_DOUBLE_EQ(mid.m11(), 2.0);
    EXPECT_DOUBLE_EQ(mid.m22(), 2.0);
    EXPECT_DOUBLE_EQ(layer.presentation(kBegin + 0.25).transform.m11(), 1.5);

    QPainterPath arc;
    arc.moveTo(0, 0);
    arc.cubicTo(0, -100, 100, -100, 100, 0);
    QFKeyframeAnimation move("position");
    move.setPath(arc);
    move.setBeginTime(kBegin);
    layer.addAnimation(move, "move");
    // The cubic at t = 0.5: (0 + 3*0 + 3*100 + 100) / 8, (3*-100 + 3*-100) / 8.
    const QPointF top = layer.presentation(kBegin + 0.125).position;
    EXPECT_DOUBLE_EQ(top.x(), 50);
    EXPECT_DOUBLE_EQ(top.y(), -75);

    QFKeyframeAnimation steps("squash");
    steps.setValues({0.0, 1.0, -1.0});
    steps.setBeginTime(kBegin);
    steps.setDuration(2);
    layer.addAnimation(steps, "steps");
    EXPECT_DOUBLE_EQ(layer.presentationValue("squash", kBegin + 0.5), 0.5);
    EXPECT_DOUBLE_EQ(layer.presentationValue("squash", kBegin + 1.5), 0);
}

// Frames and conversions follow the anchor point and the transform, and a
// layer with flexible margins stays centred as its superlayer grows.
TEST(QFLayer, GeometryBetweenLayers) {
    auto root = std::make_shared<QFLayer>();
    auto tile = std::make_shared<QFLayer>();
    auto picture = std::make_shared<QFLayer>();
    root->addSublayer(tile);
    tile->addSublayer(picture);
    tile->setFrame(QRectF(100, 50, 40, 20));
    EXPECT_EQ(tile->position(), QPointF(120, 60));
    picture->setFrame(QRectF(10, 5, 20, 10));
    picture->setAutoresizingMask(QFLayer::FlexibleMargins);
    tile->setTransform(QTransform::fromScale(2, 2));
    EXPECT_EQ(tile->frame(), QRectF(80, 40, 80, 40));
    EXPECT_EQ(picture->convertPoint(QPointF(100, 50), root.get()), QPointF(0, 0));
    EXPECT_EQ(root->convertPoint(QPointF(10, 5), picture.get()), QPointF(120, 60));

    tile->setTransform(QTransform());
    tile->setBounds(QRectF(0, 0, 60, 40));
    EXPECT_EQ(picture->frame(), QRectF(20, 15, 20, 10));
}

// Depth decides what is in front; a rasterized layer shows changes of its
// sublayers, and a sublayer's animation, rather than an old bitmap.
TEST(QFLayer, DrawsByDepthAndKeepsRastersCurrent) {
    auto root = std::make_shared<QFLayer>();
    root->setFrame(QRectF(0, 0, 40, 40));
    auto back = std::make_shared<QFLayer>();
    auto front = std::make_shared<QFLayer>();
    for (const auto& layer : {back, front}) {
        layer->setFrame(QRectF(0, 0, 40, 40));
        root->addSublayer(layer);
    }
    back->setBackgroundColor(Qt::red);
    front->setBackgroundColor(Qt::blue);
    EXPECT_EQ(pixelAt(*root, QPoint(20, 20), kBegin), QColor(Qt::blue));
    back->setZPosition(1);
    EXPECT_EQ(pixelAt(*root, QPoint(20, 20), kBegin), QColor(Qt::red));

    root->setShouldRasterize(true);
    EXPECT_EQ(pixelAt(*root, QPoint(20, 20), kBegin), QColor(Qt::red));
    back->setBackgroundColor(Qt::green);
    EXPECT_EQ(pixelAt(*root, QPoint(20, 20), kBegin), QColor(Qt::green));
    QFBasicAnimation sink = linear("zPosition", -1.0, -1.0);
    back->addAnimation(sink, "sink");
    EXPECT_EQ(pixelAt(*root, QPoint(20, 20), kBegin + 0.5), QColor(Qt::blue));
    EXPECT_EQ(pixelAt(*root, QPoint(20, 20), kBegin + 2), QColor(Qt::green));
}
