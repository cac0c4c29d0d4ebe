#pragma once
// OMAnimationCache: bitmaps of a control drawn at a given animation
// progress and state, so that looping button and background animations draw
// each frame once and afterwards copy it.
//
// The drawing block paints the control's whole bounds for a progress and a
// set of option bits chosen by the caller (a title-bar button's hover and
// highlight states, say). Bitmaps are kept per progress in hundredths and
// per options, drawn at the device scale of the painter, and only at the
// scales 1 and 2; at any other scale the block draws straight into the
// painter every time. A change of the control's bounds or of the scale
// drops every bitmap.
//
// Any widget may use the cache: bitmaps are drawn and placed in the
// widget's own coordinates, whichever way its y axis runs. A window being
// resized changes its controls' bounds at every step, and each change drops
// the bitmaps, so nothing piles up while the size moves. The bitmaps stay
// until then (or until invalidate()): a looping animation keeps at most one
// per hundredth of progress and options.
//
// Threads: main thread only.

#include <QPainter>
#include <QRectF>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>

class OMAnimationCache {
public:
    using DrawBlock = std::function<void(QPainter& painter, const QRectF& bounds, double progress,
                                         unsigned options)>;

    bool needsDrawImplementation() const { return !drawBlock_; }
    void implementDraw(DrawBlock block) { drawBlock_ = std::move(block); }
    // Drops the drawing block and every bitmap.
    void invalidate();

    // Draws the part `rect` (in the control's coordinates) of `controlView`
    // at `progress` with `options`, with `operation`.
    void drawRect(QPainter& painter, const QRectF& rect, const QWidget* controlView,
                  double progress, unsigned options,
                  QPainter::CompositionMode operation = QPainter::CompositionMode_SourceOver);

    // How many bitmaps are kept.
    size_t cachedBitmapCount() const;

private:
    DrawBlock drawBlock_;
    // Progress in hundredths, then options, to the bitmap.
    std::map<int64_t, std::map<unsigned, QImage>> bitmaps_;
    QRectF lastKnownControlViewBounds_;
    double lastKnownScaleFactor_ = 0;
};
