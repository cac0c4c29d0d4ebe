#pragma once
// The rounded outline around the lines of a label, for drawing a selection
// behind them: each line end is a half circle; where a line reaches further
// than its neighbour, the wider line gets a convex corner and the narrower
// one a concave quarter circle of half its radius. Neighbouring lines whose
// widths differ by less than twice the taller one's height first take a
// common width, so small steps disappear.
//
// Coordinates are y-up: the first line is the top one and has the
// greatest y.
//
// Threads: plain functions.

#include <QPainterPath>
#include <QRectF>

#include <vector>

// `lines` made integral and, where neighbours differ little, of a common
// left edge and width (see above).
std::vector<QRectF> QFMergedTextLineRects(std::vector<QRectF> lines);

// The outline around `lines` (y-up, top line first); empty without lines.
QPainterPath QFTextBackgroundPath(const std::vector<QRectF>& lines);
