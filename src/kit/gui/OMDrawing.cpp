#include "kit/gui/OMDrawing.h"

#include <QPainterPathStroker>

QPainterPath OMBezierPathWithRoundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath OMBezierPathByOutliningStroke(const QPainterPath& path, double width,
                                           Qt::PenCapStyle cap, Qt::PenJoinStyle join) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap == Qt::RoundCap || cap == Qt::SquareCap ? cap : Qt::FlatCap);
    // Qt's plain miter join never turns into a bevel; the SVG one does, as
    // the recipes expect. Qt measures the miter limit from the joint, half
    // the miter length, so ten line widths of miter length are 5 here.
    stroker.setJoinStyle(join == Qt::RoundJoin || join == Qt::BevelJoin ? join : Qt::SvgMiterJoin);
    stroker.setMiterLimit(5.0);
    QPainterPath outline = stroker.createStroke(path);
    outline.setFillRule(Qt::WindingFill);
    return outline;
}

QPointF OMEventLocationInView(const QSinglePointEvent& event, const QWidget& view) {
    return view.mapFromGlobal(event.globalPosition());
}
