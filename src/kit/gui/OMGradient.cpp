#include "kit/gui/OMGradient.h"

#include <QLineF>
#include <QLinearGradient>
#include <QPolygonF>

#include <cmath>
#include <numbers>

OMGradient::OMGradient(const QColor& start, const QColor& end) : stops_{{0.0, start}, {1.0, end}} {}

std::pair<QPointF, QPointF> OMGradient::endPointsInRect(const QRectF& rect, double angle) {
    const double radians = angle * std::numbers::pi / 180.0;
    // On screen, y grows downwards: counter-clockwise turns towards -y.
    const QPointF direction(std::cos(radians), -std::sin(radians));
    const double halfLength =
        (std::fabs(rect.width() * direction.x()) + std::fabs(rect.height() * direction.y())) / 2.0;
    const QPointF centre = rect.center();
    return {centre - direction * halfLength, centre + direction * halfLength};
}

void OMGradient::drawInRect(QPainter& painter, const QRectF& rect, double angle) const {
    const auto [from, to] = endPointsInRect(rect, angle);
    drawInRect(painter, rect, from, to);
}

void OMGradient::drawInBezierPath(QPainter& painter, const QPainterPath& path, QPointF from,
                                  QPointF to) const {
    const QLineF axis(from, to);
    if (axis.length() == 0 || path.isEmpty()) return;
    // The band between the lines through both ends, across the axis: the
    // only part the gradient colours.
    const QPointF along = (to - from) / axis.length();
    const QPointF across(-along.y(), along.x());
    const QRectF bounds = path.boundingRect();
    const double reach = std::hypot(bounds.width(), bounds.height()) +
                         QLineF(from, bounds.center()).length() +
                         QLineF(to, bounds.center()).length();
    QPainterPath band;
    band.addPolygon(QPolygonF(
        {from - across * reach, to - across * reach, to + across * reach, from + across * reach}));
    band.closeSubpath();

    QLinearGradient gradient(from, to);
    gradient.setStops(stops_);
    painter.save();
    painter.setClipPath(path, Qt::IntersectClip);
    painter.setClipPath(band, Qt::IntersectClip);
    painter.fillPath(path, gradient);
    painter.restore();
}

void OMGradient::drawInRect(QPainter& painter, const QRectF& rect, QPointF from, QPointF to) const {
    QPainterPath path;
    path.addRect(rect);
    drawInBezierPath(painter, path, from, to);
}
