#pragma once
// Drawing additions over Qt's paths and events.
//
// Threads: plain functions.

#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSinglePointEvent>
#include <QWidget>

// The rounded rectangle with `radius` in x and y.
QPainterPath OMBezierPathWithRoundedRect(const QRectF& rect, double radius);

// The outline of `path` stroked at `width` with `cap` and `join`, as a
// path to fill (non-zero). Miter joins fall back to bevels beyond a miter
// length of ten line widths; dashes do not apply. An open subpath keeps its
// caps.
QPainterPath OMBezierPathByOutliningStroke(const QPainterPath& path, double width,
                                           Qt::PenCapStyle cap = Qt::FlatCap,
                                           Qt::PenJoinStyle join = Qt::MiterJoin);

// Where `event` happened, in `view`'s coordinates, whichever widget or
// window received it.
QPointF OMEventLocationInView(const QSinglePointEvent& event, const QWidget& view);
