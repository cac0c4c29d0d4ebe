#include "Pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdint>
#include <initializer_list>

namespace {

// The chrome's slate: the texture's colour and the tint of the pictures.
const QColor kSlate(193, 201, 209);
const QColor kInk(58, 74, 92);

// A repeatable pseudo-random value in [0, 1) for a cell of the texture.
double hash01(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xffffff) / double(0x1000000);
}

// The window texture: slate with a fine woven grain, tiling every 512
// points. The grain is quantised to a few levels so the file stays small.
void paintBackground(QPainter& painter, double scale) {
    QImage* image = dynamic_cast<QImage*>(painter.device());
    const int size = static_cast<int>(512 * scale);
    const int period = size;
    for (int y = 0; y < size; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image->scanLine(y));
        for (int x = 0; x < size; ++x) {
            // Point coordinates, so both densities show the same weave.
            const double px = x / scale, py = y / scale;
            const double weave =
                0.5 * std::sin(px * 2.0 * M_PI / 4.0) * std::sin(py * 2.0 * M_PI / 4.0);
            const double grain = hash01(x % period, y % period, 7) - 0.5;
            const int shift = static_cast<int>(std::lround(2.0 * weave + 3.0 * grain));
            row[x] =
                qRgba(kSlate.red() + shift, kSlate.green() + shift, kSlate.blue() + shift, 255);
        }
    }
}

// The path through `points`, closed when asked.
QPainterPath polyline(std::initializer_list<QPointF> points, bool closed = false) {
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points)));
    if (closed) path.closeSubpath();
    return path;
}

QPainterPath layerSheet(QPointF centre, double width, double height) {
    // A sheet seen from above at an angle: a rhombus with rounded corners.
    QPainterPath path;
    path.moveTo(centre + QPointF(0, -height / 2));
    path.lineTo(centre + QPointF(width / 2, 0));
    path.lineTo(centre + QPointF(0, height / 2));
    path.lineTo(centre + QPointF(-width / 2, 0));
    path.closeSubpath();
    return path;
}

// Three stacked sheets, the emblem of the application, fitting `rect`.
void paintLayers(QPainter& painter, const QRectF& rect, const QColor& color, bool outlined) {
    const double w = rect.width(), h = rect.height() * 0.5;
    painter.save();
    QPen pen(color, std::max(1.0, rect.width() / 14.0));
    pen.setJoinStyle(Qt::RoundJoin);
    for (int i = 2; i >= 0; --i) {
        const QPointF centre(rect.center().x(), rect.top() + h / 2 + i * rect.height() * 0.25);
        const QPainterPath sheet = layerSheet(centre, w, h);
        if (outlined) {
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
        } else {
            QColor fill = color;
            fill.setAlphaF(i == 0 ? 1.0f : 0.55f);
            painter.setPen(QPen(Qt::transparent, 0));
            painter.setBrush(fill);
            // The sheet above cuts a gap into the ones below.
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        painter.drawPath(sheet);
        if (!outlined && i > 0) {
            painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
            painter.setBrush(Qt::black);
            painter.drawPath(
                layerSheet(centre - QPointF(0, rect.height() * 0.25), w * 1.12, h * 1.12));
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
    }
    painter.restore();
}

void paintLogotype(QPainter& painter, double scale) {
    painter.scale(scale, scale);
    paintLayers(painter, QRectF(8, 11, 22, 18), Qt::black, false);
    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(17);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.3);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(36, 0, 120, 40), Qt::AlignLeft | Qt::AlignVCenter, "layerflow");
}

// An engraved shape: a light edge below, then the shape in ink.
void engrave(QPainter& painter, const QPainterPath& path, double alpha, bool stroke,
             double width = 3) {
    painter.save();
    QColor light(255, 255, 255, 150), ink = kInk;
    ink.setAlphaF(static_cast<float>(alpha));
    for (const auto& [offset, color] :
         {std::pair{QPointF(0, 1), light}, std::pair{QPointF(), ink}}) {
        painter.save();
        painter.translate(offset);
        if (stroke) {
            QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
            painter.strokePath(path, pen);
        } else {
            painter.fillPath(path, color);
        }
        painter.restore();
    }
    painter.restore();
}

void paintDropHere(QPainter& painter, double scale) {
    painter.scale(scale, scale);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(12, 12, 104, 104), 14, 14);
    painter.save();
    QPen dashes(QColor(255, 255, 255, 150), 3, Qt::CustomDashLine, Qt::RoundCap);
    dashes.setDashPattern({3, 3});
    painter.translate(0, 1);
    painter.strokePath(frame, dashes);
    painter.translate(0, -1);
    QColor ink = kInk;
    ink.setAlphaF(0.45f);
    dashes.setColor(ink);
    painter.strokePath(frame, dashes);
    painter.restore();
    QPainterPath arrow;
    arrow.moveTo(64, 34);
    arrow.lineTo(64, 80);
    arrow.moveTo(46, 63);
    arrow.lineTo(64, 81);
    arrow.lineTo(82, 63);
    engrave(painter, arrow, 0.5, true, 7);
    const QPainterPath tray = polyline({{36, 84}, {36, 96}, {92, 96}, {92, 84}});
    engrave(painter, tray, 0.5, true, 5);
}

void paintTaggingPlaceholder(QPainter& painter, double scale) {
    painter.scale(scale, scale);
    for (int i = 2; i >= 0; --i) {
        QPainterPath sheet;
        sheet.addRoundedRect(QRectF(22 + i * 8, 40 - i * 8, 64, 64), 6, 6);
        engrave(painter, sheet, 0.18 + 0.12 * (2 - i), false);
    }
    const QPainterPath tag = polyline({{70, 78}, {104, 78}, {114, 88}, {104, 98}, {70, 98}}, true);
    QPainterPath hole;
    hole.addEllipse(QPointF(103, 88), 3, 3);
    engrave(painter, tag.subtracted(hole), 0.6, false);
}

void paintDocumentError(QPainter& painter, double scale) {
    painter.scale(scale, scale);
    const QPainterPath page = polyline({{30, 14}, {78, 14}, {98, 34}, {98, 114}, {30, 114}}, true);
    const QPainterPath fold = polyline({{78, 14}, {78, 34}, {98, 34}});
    engrave(painter, page, 0.35, true, 4);
    engrave(painter, fold, 0.35, true, 4);
    QPainterPath mark;
    mark.addEllipse(QPointF(64, 72), 20, 20);
    QPainterPath bar;
    bar.addRoundedRect(QRectF(61, 58, 6, 18), 3, 3);
    QPainterPath dot;
    dot.addEllipse(QPointF(64, 83), 3.5, 3.5);
    engrave(painter, mark.subtracted(bar).subtracted(dot), 0.55, false);
}

QPen templatePen(double width) {
    return QPen(Qt::black, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void paintInfoTemplate(QPainter& painter, double scale) {
    painter.scale(scale, scale);
    QPainterPath disc;
    disc.addEllipse(QPointF(8, 8), 7, 7);
    QPainterPath letter;
    letter.addRoundedRect(QRectF(7, 7, 2, 5.5), 1, 1);
    letter.addEllipse(QPointF(8, 4.6), 1.3, 1.3);
    painter.fillPath(disc.subtracted(letter), Qt::black);
}

void paintRepeatTemplate(QPainter& painter, double scale) {
    painter.scale(scale, scale);
    painter.setPen(templatePen(1.8));
    painter.drawArc(QRectF(2.5, 2.5, 11, 11), 100 * 16, 250 * 16);
    const QPainterPath head = polyline({{7.5, 0.2}, {11.5, 2.6}, {7.5, 5.2}}, true);
    painter.fillPath(head, Qt::black);
}

void paintExportTemplate(QPainter& painter, double scale) {
    painter.scale(scale, scale);
    painter.setPen(templatePen(1.6));
    painter.drawPolyline(
        QPolygonF({{5, 6.5}, {2.5, 6.5}, {2.5, 14}, {13.5, 14}, {13.5, 6.5}, {11, 6.5}}));
    painter.drawLine(QPointF(8, 10), QPointF(8, 1.8));
    painter.drawPolyline(QPolygonF({{5, 4.5}, {8, 1.5}, {11, 4.5}}));
}

void paintRecentsTemplate(QPainter& painter, double scale) {
    painter.scale(scale, scale);
    painter.setPen(templatePen(1.6));
    painter.drawEllipse(QPointF(8, 8), 6.2, 6.2);
    painter.drawPolyline(QPolygonF({{8, 4}, {8, 8}, {11, 10}}));
}

void paintStatusItem(QPainter& painter, double scale, bool outlined) {
    painter.scale(scale, scale);
    paintLayers(painter, QRectF(2, 2.5, 14, 13), Qt::black, outlined);
}

void paintExtractingCloud(QPainter& painter, double scale) {
    painter.scale(scale, scale);
    QPainterPath cloud;
    cloud.addEllipse(QRectF(8, 22, 30, 28));
    cloud.addEllipse(QRectF(22, 8, 36, 36));
    cloud.addEllipse(QRectF(44, 18, 28, 30));
    cloud.addRoundedRect(QRectF(14, 32, 52, 18), 9, 9);
    cloud = cloud.simplified();
    QLinearGradient sky(0, 8, 0, 50);
    sky.setColorAt(0, QColor(236, 241, 246));
    sky.setColorAt(1, QColor(196, 208, 220));
    painter.fillPath(cloud, sky);
    painter.strokePath(cloud, QPen(QColor(96, 114, 134, 140), 1.5));
}

void paintExtractingIcon(QPainter& painter, double scale) {
    painter.scale(scale, scale);
    // An open box with a sheet rising out of it.
    QPainterPath sheet;
    sheet.addRoundedRect(QRectF(15, 4, 18, 22), 2, 2);
    painter.fillPath(sheet, QColor(250, 251, 252));
    painter.strokePath(sheet, QPen(QColor(96, 114, 134), 1.2));
    const QPainterPath box = polyline({{6, 22}, {42, 22}, {40, 44}, {8, 44}}, true);
    QLinearGradient side(0, 22, 0, 44);
    side.setColorAt(0, QColor(122, 146, 170));
    side.setColorAt(1, QColor(78, 99, 122));
    painter.fillPath(box, side);
    painter.strokePath(box, QPen(QColor(52, 68, 86), 1.2));
    painter.fillRect(QRectF(18, 28, 12, 3), QColor(255, 255, 255, 160));
}

// The placeholder button body: 1 point of room at the top and sides, 3 at
// the bottom for its etched edge.
void paintPlaceholderButton(QPainter& painter, double scale, int state) {
    painter.scale(scale, scale);
    const QRectF body(1, 1, 22, 26);
    QPainterPath shape;
    shape.addRoundedRect(body, 6, 6);
    if (state == 2) {
        painter.fillPath(shape, Qt::black);
        return;
    }
    QPainterPath edge;
    edge.addRoundedRect(body.translated(0, 1), 6, 6);
    painter.fillPath(edge.subtracted(shape), QColor(255, 255, 255, 170));
    QLinearGradient fill(0, body.top(), 0, body.bottom());
    if (state == 0) {
        fill.setColorAt(0, QColor(255, 255, 255, 120));
        fill.setColorAt(1, QColor(255, 255, 255, 40));
    } else {
        fill.setColorAt(0, QColor(40, 56, 74, 70));
        fill.setColorAt(1, QColor(40, 56, 74, 40));
    }
    painter.fillPath(shape, fill);
    painter.strokePath(shape, QPen(QColor(58, 74, 92, state == 0 ? 110 : 150), 1));
}

void paintApplicationIcon(QPainter& painter, double scale) {
    painter.scale(scale, scale);
    const QRectF tile(16, 16, 224, 224);
    QPainterPath shape;
    shape.addRoundedRect(tile, 48, 48);
    QLinearGradient slate(0, tile.top(), 0, tile.bottom());
    slate.setColorAt(0, QColor(112, 138, 164));
    slate.setColorAt(1, QColor(52, 72, 96));
    painter.fillPath(shape, slate);
    painter.strokePath(shape, QPen(QColor(30, 44, 60, 120), 2));
    paintLayers(painter, QRectF(58, 62, 140, 120), QColor(246, 249, 252), false);
}

}  // namespace

std::vector<Picture> allPictures() {
    return {
        {"WindowBackground", {512, 512}, false, paintBackground},
        {"WindowLogotype", {160, 40}, true, paintLogotype},
        {"DropHere", {128, 128}, false, paintDropHere},
        {"TaggingPlaceholder", {128, 128}, false, paintTaggingPlaceholder},
        {"DocumentErrorPlaceholder", {128, 128}, false, paintDocumentError},
        {"IndicatorInfoTemplate", {16, 16}, true, paintInfoTemplate},
        {"IndicatorRepeatTemplate", {16, 16}, true, paintRepeatTemplate},
        {"ActionExportTemplate", {16, 16}, true, paintExportTemplate},
        {"RecentsHeaderTemplate", {16, 16}, true, paintRecentsTemplate},
        {"StatusItemTemplate",
         {18, 18},
         true,
         [](QPainter& p, double s) { paintStatusItem(p, s, false); }},
        {"StatusItemInvertedTemplate",
         {18, 18},
         true,
         [](QPainter& p, double s) { paintStatusItem(p, s, true); }},
        {"ExtractingCloud", {80, 56}, false, paintExtractingCloud},
        {"ExtractingIcon", {48, 48}, false, paintExtractingIcon},
        {"PlaceholderButtonNormal",
         {24, 30},
         false,
         [](QPainter& p, double s) { paintPlaceholderButton(p, s, 0); }},
        {"PlaceholderButtonPressed",
         {24, 30},
         false,
         [](QPainter& p, double s) { paintPlaceholderButton(p, s, 1); }},
        {"PlaceholderButtonMask",
         {24, 30},
         false,
         [](QPainter& p, double s) { paintPlaceholderButton(p, s, 2); }},
        {"ApplicationIcon", {256, 256}, false, paintApplicationIcon},
    };
}
