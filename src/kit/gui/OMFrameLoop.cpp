#include "kit/gui/OMFrameLoop.h"

#include "platform/dispatch/MainQueue.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// The loop's state, made on first use. Only the main thread touches it.
struct FrameLoop {
    std::vector<OMAnimationBlock> blocks;
    std::vector<QPointer<QWidget>> views;
    bool passRunning = false;
    bool passQueued = false;
};

FrameLoop& frameLoop() {
    static FrameLoop loop;
    return loop;
}

void queueNextPass(FrameLoop& loop) {
    if (loop.passQueued) return;
    loop.passQueued = true;
    lf::MainQueue::shared()->asyncAfter(kOMAnimationFrameInterval, [] {
        frameLoop().passQueued = false;
        OMRunAnimationFrame();
    });
}

}  // namespace

void OMAddAnimationBlock(OMAnimationBlock block) {
    lf::assertMainThread("OMAddAnimationBlock");
    if (!block) return;
    FrameLoop& loop = frameLoop();
    loop.blocks.push_back(std::move(block));
    if (loop.passRunning) {
        // Joins the next pass, so the walk under way keeps its blocks.
        queueNextPass(loop);
        return;
    }
    OMRunAnimationFrame();
}

void OMDisplayViewInAnimationFrame(QWidget* view) {
    lf::assertMainThread("OMDisplayViewInAnimationFrame");
    if (!view) return;
    view->update();
    auto& views = frameLoop().views;
    if (std::find(views.begin(), views.end(), view) == views.end()) views.emplace_back(view);
}

void OMRunAnimationFrame() {
    lf::assertMainThread("OMRunAnimationFrame");
    FrameLoop& loop = frameLoop();
    if (loop.passRunning) return;
    loop.passRunning = true;

    std::vector<OMAnimationBlock> walking = std::exchange(loop.blocks, {});
    std::vector<OMAnimationBlock> continuing;
    for (auto& block : walking) {
        if (block()) continuing.push_back(std::move(block));
    }

    // Views that step blocks queued are painted in this very pass.
    for (const QPointer<QWidget>& view : std::exchange(loop.views, {})) {
        if (view) view->repaint();
    }

    const bool anyContinues = !continuing.empty();
    // Blocks added during the pass follow the ones that went on.
    continuing.insert(continuing.end(), std::make_move_iterator(loop.blocks.begin()),
                      std::make_move_iterator(loop.blocks.end()));
    loop.blocks = std::move(continuing);
    loop.passRunning = false;
    if (anyContinues) queueNextPass(loop);
}
