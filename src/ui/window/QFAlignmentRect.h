#pragma once
// Alignment rectangles: the part of a view that lines up with its
// neighbours, without the room its shadows or rims take. A view that has
// such room inherits QFAlignmentInsets and answers its insets; layout code
// places alignment rectangles and turns them into frames here.
//
// Threads: main thread only.

#include "kit/gui/OMSlicedImageRep.h"

#include <QRectF>
#include <QWidget>

class QFAlignmentInsets {
public:
    virtual ~QFAlignmentInsets() = default;
    // Top is the visual top edge.
    virtual OMEdgeInsets alignmentRectInsets() const = 0;
};

// The insets of `view`, zero for a view without them.
OMEdgeInsets QFAlignmentRectInsetsOf(const QWidget& view);
QRectF QFAlignmentRectForFrame(const QWidget& view, const QRectF& frame);
QRectF QFFrameForAlignmentRect(const QWidget& view, const QRectF& alignmentRect);
