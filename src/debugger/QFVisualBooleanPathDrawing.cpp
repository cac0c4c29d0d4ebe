// How a record draws itself. Colours are grey levels and plain colours that
// tell the stages apart on the white canvas: operand A solid and operand B
// dashed in light greys, recorded paths darker, the contour being traced in
// blue, and the result alone once the operation is done.

#include "debugger/QFVisualBooleanPath.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QPen>

namespace {

QColor grey(double white) {
    return QColor::fromRgbF(white, white, white, 1.0);
}

QRectF toQRect(VKRect rect) {
    return {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height};
}

QPointF toQPoint(VKPoint point) {
    return {point.x, point.y};
}

void appendCurve(QPainterPath& path, const VKPathSegment& segment) {
    path.cubicTo(toQPoint(segment.controlPoint1), toQPoint(segment.controlPoint2),
                 toQPoint(segment.end));
}

QPainterPath bezierPathOfPath(const VKPath& path) {
    QPainterPath bezierPath;
    const size_t count = path.numberOfSegments();
    for (size_t i = 0; i < count; ++i) {
        const VKPathSegment segment = path.segmentAtIndex(i);
        if (i == 0) bezierPath.moveTo(toQPoint(segment.start));
        appendCurve(bezierPath, segment);
    }
    if (count > 0 && path.isClosed()) bezierPath.closeSubpath();
    return bezierPath;
}

// Strokes with lines of `width` path units, moved by half the width so that
// lines one canvas point wide fall on whole pixels.
void strokeBezierPath(QPainter& painter, const QPainterPath& path, const QColor& color,
                      double width, const QList<qreal>& dashes = {}) {
    QPen pen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    // Qt measures dashes in line widths.
    if (!dashes.isEmpty()) pen.setDashPattern(dashes);
    painter.strokePath(path.translated(width / 2, width / 2), pen);
}

void strokeCompoundPath(QPainter& painter, const VKBooleanCompoundPath* compoundPath,
                        const QColor& color, double width, const QList<qreal>& dashes = {}) {
    if (!compoundPath) return;
    for (const auto& contour : compoundPath->contours())
        if (contour.path)
            strokeBezierPath(painter, bezierPathOfPath(*contour.path), color, width, dashes);
}

// The segments joined into one path, two canvas points wide.
void drawVisualPathSegments(QPainter& painter, const std::vector<QFVisualPathSegment>& segments,
                            const QColor& color, double scale) {
    if (segments.empty()) return;
    QPainterPath path;
    path.moveTo(toQPoint(segments.front().segment.start));
    for (const auto& segment : segments)
        appendCurve(path, segment.segment);
    strokeBezierPath(painter, path, color, 2 * scale);
}

QColor colorOfPoint(const QFVisualPoint& point) {
    if (point.flags() & VKBooleanFlagAToB) return Qt::magenta;
    if (point.flags() & VKBooleanFlagCoincident) return Qt::yellow;
    return grey(0);
}

}  // namespace

void QFVisualBooleanPath::drawInContext(QPainter& painter) const {
    const VKRect bounds = pathBounds_;
    if (!VKRectIsFinite(bounds) || (VKRectGetWidth(bounds) == 0 && VKRectGetHeight(bounds) == 0))
        return;
    const State state = this->state();
    const QFCanvasMapping& mapping = state.mapping;
    const double scale = mapping.pixelScale;

    painter.save();
    painter.translate(QFCanvasMapping::kMargin, QFCanvasMapping::kMargin);
    painter.scale(1 / scale, 1 / scale);
    painter.translate(mapping.centeringOffset.x - mapping.pathOrigin.x,
                      mapping.centeringOffset.y - mapping.pathOrigin.y);

    if (state.finished)
        strokeCompoundPath(painter, state.result.get(), grey(0.8), scale);
    else
        drawCurrentStateInContext(painter, state);
    for (const auto& point : state.extraPoints)
        painter.fillRect(toQRect(mapping.squareAround(point.location())), colorOfPoint(point));
    for (const auto& group : state.extraSegments)
        drawVisualPathSegments(painter, group, QColor::fromRgbF(0, 0.5, 0, 1), scale);
    painter.restore();
}

void QFVisualBooleanPath::drawCurrentStateInContext(QPainter& painter, const State& state) const {
    const double scale = state.mapping.pixelScale;
    strokeCompoundPath(painter, booleanPathA_.get(), grey(0.8), scale);
    strokeCompoundPath(painter, booleanPathB_.get(), grey(0.6), scale, {2, 2});
    for (const auto& path : state.paths)
        if (path) strokeBezierPath(painter, bezierPathOfPath(*path), grey(0.4), scale);
    drawVisualPathSegments(painter, state.segments, Qt::blue, scale);

    for (const auto& intersection : state.intersections) {
        const auto strokeSegment = [&](const VKPathSegment& segment, const QColor& color) {
            if (segment == VKPathSegment{}) return;
            QPainterPath path(toQPoint(segment.start));
            appendCurve(path, segment);
            strokeBezierPath(painter, path, color, scale);
        };
        strokeSegment(intersection.innerSegmentA, Qt::red);
        strokeSegment(intersection.innerSegmentB, Qt::red);
        strokeSegment(intersection.outerSegmentA, Qt::blue);
        strokeSegment(intersection.outerSegmentB, Qt::blue);

        const QRectF square = toQRect(state.mapping.squareAround(intersection.location()));
        painter.fillRect(square, colorOfPoint(intersection));
        if (!intersection.wasTraced()) continue;
        // Blue where the trace leaves along operand B, red where it leaves
        // along A; a second mark shows that it runs against the curve.
        const double w = square.width();
        const auto inset = [&](double by) { return square.adjusted(by, by, -by, -by); };
        const unsigned flags = static_cast<unsigned>(intersection.flags());
        if (!(flags & (VKBooleanFlagFollowsA | VKBooleanFlagReversedA))) {
            painter.fillRect(inset(w / 3), Qt::blue);
            if (flags & VKBooleanFlagReversedB) painter.fillRect(inset(w / 4), Qt::red);
        } else {
            painter.fillRect(inset(w / 3), Qt::red);
            if (flags & VKBooleanFlagReversedA) painter.fillRect(inset(w / 4), Qt::blue);
        }
    }

    if (!state.segments.empty()) {
        const VKPathSegment& last = state.segments.back().segment;
        painter.fillRect(toQRect(state.mapping.squareAround(last.start)), Qt::cyan);
        painter.fillRect(toQRect(state.mapping.squareAround(last.end)), Qt::red);
    }
}

void QFVisualBooleanPath::drawAnnotationsInContext(QPainter& painter, QPointF mouseLocation) const {
    const QFCanvasMapping mapping = this->mapping();
    for (const auto& annotation : annotationsInCanvasLocation(mouseLocation))
        drawAnnotation(annotation, painter, mapping);
}

void QFVisualBooleanPath::drawAnnotation(const QFBooleanAnnotation& annotation, QPainter& painter,
                                         const QFCanvasMapping& mapping) const {
    QFont font = QApplication::font();
    font.setPointSizeF(12.0);
    const QString text = QString::fromStdString(annotation.stringValue);
    const QRectF box(mapping.canvasRect(annotation.frame).topLeft(),
                     QFontMetricsF(font).size(Qt::TextSingleLine, text));
    painter.save();
    painter.fillRect(box, Qt::black);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
    painter.restore();
}
