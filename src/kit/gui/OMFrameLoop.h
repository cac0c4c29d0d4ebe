#pragma once
// The animation frame loop: step blocks that run once per frame until they
// answer false, and the views that are repainted together once per frame.
//
// A pass calls every step block, then repaints the views queued with
// OMDisplayViewInAnimationFrame one after the other, without returning to
// the event loop in between, so their window shows them changed together.
// While any block asks to go on, one more pass is queued on the main queue
// kFrameInterval later (120 passes a second). At most one pass waits at a
// time: adding blocks, each of which runs a pass at once, never starts a
// second chain of passes.
//
// A block added while a pass runs (a completion handler that starts another
// animation) joins the next pass; the pass under way is not disturbed.
//
// Threads: main thread only. The passes run on the main queue, which the Qt
// event loop drains in the application and tests drain themselves.

#include <QPointer>
#include <QWidget>

#include <chrono>
#include <functional>

using OMAnimationBlock = std::function<bool()>;

inline constexpr std::chrono::nanoseconds kOMAnimationFrameInterval{8'333'333};

// Keeps `block` in the loop and runs one pass at once.
void OMAddAnimationBlock(OMAnimationBlock block);

// Marks `view` for repainting and repaints it in the next pass; starts no
// pass. A view deleted in the meantime is skipped.
void OMDisplayViewInAnimationFrame(QWidget* view);

// One pass.
void OMRunAnimationFrame();
