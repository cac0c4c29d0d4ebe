// What a title-bar button costs per frame: drawn with its template effect
// (gradient, two shadows, an inner shadow) at 2x, against the frame budget
// of the animation loop, and copied from the animation cache's bitmap,
// against drawing it.

#include "BenchSupport.h"
#include "kit/gui/OMAnimationCache.h"
#include "kit/gui/OMFrameLoop.h"
#include "kit/gui/OMTemplateEffect.h"
#include "platform/dispatch/MainQueue.h"

#include <QApplication>
#include <QWidget>
#include <benchmark/benchmark.h>

namespace {

OMTemplateEffect buttonEffect() {
    OMTemplateEffect effect;
    effect.setFillGradient(OMGradient(QColor(120, 90, 220), QColor(170, 140, 255)));
    effect.setFillGradientAngle(90);
    effect.setShadows(
        {{{0, -1}, 2, QColor(0, 0, 0, 120)}, {{0, 1}, 0, QColor(255, 255, 255, 200)}});
    effect.setInnerShadows({{{0, -1}, 1.5, QColor(0, 0, 0, 90)}});
    return effect;
}

QImage frameCanvas() {
    QImage canvas(2 * 64, 2 * 26, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(2);
    return canvas;
}

void drawButton(QPainter& painter, const QRectF& bounds) {
    static const OMTemplateEffect effect = buttonEffect();
    QPainterPath path;
    path.addRoundedRect(bounds.adjusted(4, 3, -4, -3), 5, 5);
    effect.drawBezierPath(painter, path);
}

double drawnSeconds = 0;

void BM_ButtonDrawnWithItsEffect(benchmark::State& state) {
    QImage canvas = frameCanvas();
    drawnSeconds = timedSecondsPerIteration(state, [&] {
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        drawButton(painter, QRectF(0, 0, 64, 26));
    });
    state.counters["share_of_frame"] =
        drawnSeconds / std::chrono::duration<double>(kOMAnimationFrameInterval).count();
}

void BM_ButtonFromTheAnimationCache(benchmark::State& state) {
    QWidget control;
    control.resize(64, 26);
    OMAnimationCache cache;
    cache.implementDraw([](QPainter& painter, const QRectF& bounds, double, unsigned) {
        drawButton(painter, bounds);
    });
    QImage canvas = frameCanvas();
    const double seconds = timedSecondsPerIteration(state, [&] {
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        cache.drawRect(painter, QRectF(0, 0, 64, 26), &control, 0.5, 1);
    });
    if (drawnSeconds > 0) state.counters["speedup"] = drawnSeconds / seconds;
}

}  // namespace

BENCHMARK(BM_ButtonDrawnWithItsEffect);
BENCHMARK(BM_ButtonFromTheAnimationCache);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    lf::MainQueue::shared()->bindToCurrentThread();
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
