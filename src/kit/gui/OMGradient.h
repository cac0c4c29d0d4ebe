#pragma once
// OMGradient: colours along a line (a linear gradient of colour stops),
// drawn into a rectangle at an angle or between two points.
//
// Angles are in degrees, counter-clockwise from the positive x axis as seen
// on screen: 90 runs from the bottom edge (first colour) to the top edge.
// Between two points nothing is drawn before the first or beyond the last
// point.
//
// Threads: a value; drawing touches only the painter given.

#include <QColor>
#include <QGradientStops>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <utility>

class OMGradient {
public:
    OMGradient(const QColor& start, const QColor& end);
    explicit OMGradient(QGradientStops stops) : stops_(std::move(stops)) {}

    const QGradientStops& stops() const { return stops_; }

    // Fills `rect` with the gradient running across it at `angle`, its ends
    // on the rectangle's outermost corners along that direction.
    void drawInRect(QPainter& painter, const QRectF& rect, double angle) const;
    // The gradient from `from` to `to`, inside `path` or `rect` only.
    void drawInBezierPath(QPainter& painter, const QPainterPath& path, QPointF from,
                          QPointF to) const;
    void drawInRect(QPainter& painter, const QRectF& rect, QPointF from, QPointF to) const;

    // The ends of the gradient drawn in `rect` at `angle`, in Qt's y-down
    // coordinates.
    static std::pair<QPointF, QPointF> endPointsInRect(const QRectF& rect, double angle);

private:
    QGradientStops stops_;
};
