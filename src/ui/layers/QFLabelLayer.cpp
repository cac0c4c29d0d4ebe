#include "ui/layers/QFLabelLayer.h"

#include "kit/gui/OMDeviceSpace.h"
#include "ui/window/QFStyleMask.h"
#include "ui/layers/QFTextBackgroundPath.h"
#include "ui/window/QFTextMeasure.h"
#include "ui/window/QFWindowStyle.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPalette>
#include <QTextLayout>

#include <algorithm>

namespace {

constexpr double kDefaultFontSize = 36;
constexpr const char* kDefaultFontFamily = "Helvetica";
constexpr int kStatusTextFlags = Qt::AlignLeft | Qt::AlignTop;
// Room around the status text, which its drawing's effect reaches into.
constexpr double kStatusTextMargin = 3;

unsigned styleMask(bool active) {
    return active ? unsigned{QFStyleMaskActive} : 0u;
}

}  // namespace

QFLabelLayer::QFLabelLayer() {
    setFont(QFWindowStyle::systemFontOfSize(13));
    setNeedsDisplayOnBoundsChange(true);
}

void QFLabelLayer::setString(const QString& string) {
    if (string == string_) return;
    string_ = string;
    setNeedsDisplay();
}

void QFLabelLayer::setFont(const std::optional<QFont>& font) {
    font_ = font;
    setNeedsDisplay();
}

void QFLabelLayer::setFontSize(double size) {
    if (size == fontSize_) return;
    fontSize_ = size;
    setNeedsDisplay();
}

void QFLabelLayer::setHasActiveAppearance(bool active) {
    hasActiveAppearance_ = active;
    display();
}

void QFLabelLayer::setIsStatusText(bool statusText) {
    isStatusText_ = statusText;
    setNeedsDisplay();
}

OMTemplateEffect QFLabelLayer::templateEffect() const {
    const unsigned mask = styleMask(hasActiveAppearance_);
    return isStatusText_ ? QFWindowStyle::placeholderTextEffectWithMask(mask)
                         : QFWindowStyle::labelTextEffectWithMask(mask);
}

QFont QFLabelLayer::normalizedFont() const {
    const double size = fontSize_ > 0 ? fontSize_ : kDefaultFontSize;
    QFont font = font_ ? *font_ : QFont(QString::fromLatin1(kDefaultFontFamily));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    return font;
}

double QFLabelLayer::lineHeight() const {
    const QFont font = normalizedFont();
    return font.pixelSize() + std::max(QFontMetricsF(font).descent(), 0.0);
}

// Layout ------------------------------------------------------------------

void QFLabelLayer::performTextLayout() const {
    lines_.clear();
    if (string_.isEmpty()) return;
    const QFont font = normalizedFont();
    const QFontMetricsF metrics(font);
    const double inset = selectionCornerRadius();
    const QRectF frame = bounds().adjusted(inset, 0, -inset, 0);
    if (!(frame.width() > 0) || !(frame.height() > 0)) return;

    // The lines that fit in the frame, top down.
    QTextLayout layout(string_, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    struct Fitted {
        int start, length;
        double top;
    };
    std::vector<Fitted> fitted;
    layout.beginLayout();
    double top = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(frame.width());
        if (top + line.height() > frame.height()) break;
        fitted.push_back({line.textStart(), line.textLength(), top});
        top += line.height();
    }
    layout.endLayout();
    if (fitted.empty()) return;

    const double ascent = metrics.ascent();
    const double height = metrics.ascent() + metrics.descent() + std::max(metrics.leading(), 0.0);
    for (size_t i = 0; i < fitted.size(); ++i) {
        QString text;
        if (i + 1 == fitted.size()) {
            // The last line holds the rest of the text, cut off at its end
            // with "…" (the one character Qt ends an elided text with).
            text = metrics.elidedText(string_.mid(fitted[i].start), Qt::ElideRight, frame.width());
        } else {
            text = string_.mid(fitted[i].start, fitted[i].length);
        }
        while (!text.isEmpty() && text.back().isSpace())
            text.chop(1);
        const double width = metrics.horizontalAdvance(text);
        const double x = frame.left() + (frame.width() - width) / 2;
        const double baseline = frame.top() + fitted[i].top + ascent;
        lines_.push_back({text, QPointF(x, baseline), QRectF(x, baseline - ascent, width, height)});
    }
}

// Hit tests -----------------------------------------------------------------

QTransform QFLabelLayer::transformFromSuperlayer() const {
    return transformToSuperlayer().inverted();
}

bool QFLabelLayer::contentContainsPoint(QPointF point) const {
    const QPointF local = transformFromSuperlayer().map(point);
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const Line& line) { return line.rect.contains(local); });
}

bool QFLabelLayer::contentIntersectsRect(const QRectF& rect) const {
    const QRectF local = transformFromSuperlayer().mapRect(rect);
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const Line& line) { return line.rect.intersects(local); });
}

// Drawing -------------------------------------------------------------------

void QFLabelLayer::drawLines(QPainter& painter, const QColor& color, QPointF offset) const {
    painter.save();
    painter.setFont(normalizedFont());
    painter.setPen(color);
    for (const Line& line : lines_)
        painter.drawText(line.baselineOrigin + offset, line.text);
    painter.restore();
}

void QFLabelLayer::drawInContext(QPainter& painter) const {
    performTextLayout();
    if (lines_.empty()) return;
    if (isStatusText_) {
        drawAsStatusText(painter);
        return;
    }
    drawBackgroundForText(painter);
    const OMTemplateEffect effect = templateEffect();
    if (!effect.shadows().empty()) {
        QRectF area;
        for (const Line& line : lines_)
            area = area.united(line.rect);
        // Text shadows are measured in device pixels.
        effect.shadows().back().drawShadowOfShape(
            painter, [&](QPainter& shape) { drawLines(shape, Qt::black); }, area, 1.0, QRectF(),
            false);
    }
    drawLines(painter, effect.fillColor().value_or(QColor(Qt::black)));
}

void QFLabelLayer::drawBackgroundForText(QPainter& painter) const {
    QRectF area;
    for (const Line& line : lines_)
        area = area.united(QRectF(line.rect.toAlignedRect()));
    if (area.width() < 1 || area.height() < 1) return;

    const double scale = OMDeviceScale(painter);
    const QSize pixels = (area.size() * scale).toSize();
    auto newImage = [&] {
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        image.setDevicePixelRatio(scale);
        return image;
    };
    QImage glyphs = newImage();
    {
        QPainter glyphPainter(&glyphs);
        glyphPainter.setRenderHint(QPainter::TextAntialiasing);
        drawLines(glyphPainter, Qt::black, -area.topLeft());
    }
    // The glyphs grown by a point each way, painted in the window's colour.
    QImage halo = newImage();
    {
        QPainter haloPainter(&halo);
        for (QPointF offset :
             {QPointF(0, 0), QPointF(-1, 0), QPointF(1, 0), QPointF(0, 1), QPointF(0, -1)})
            haloPainter.drawImage(offset, glyphs);
        haloPainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        haloPainter.fillRect(QRectF(QPointF(0, 0), area.size()),
                             QFWindowStyle::windowBackgroundColorWhenActive(hasActiveAppearance_));
    }
    painter.drawImage(area.topLeft(), halo);
}

QSizeF QFLabelLayer::statusTextImageSize() const {
    const QSizeF size = QFTextBoundingSize(string_, normalizedFont(), kStatusTextFlags);
    return size.grownBy(
        QMarginsF(kStatusTextMargin, kStatusTextMargin, kStatusTextMargin, kStatusTextMargin));
}

void QFLabelLayer::drawAsStatusText(QPainter& painter) const {
    OMAttributedString text;
    text.text = string_;
    text.font = normalizedFont();
    text.flags = kStatusTextFlags;
    const QSizeF size = QFTextBoundingSize(text.text, text.font, text.flags);
    const QSizeF imageSize = statusTextImageSize();
    const QRectF& b = bounds();
    // Centred with the odd point below, as seen from the bottom edge.
    const QPointF origin(std::floor((b.width() - imageSize.width()) / 2) + b.x(),
                         std::ceil((b.height() - imageSize.height()) / 2) + b.y());
    const unsigned mask = styleMask(hasActiveAppearance_);
    QFWindowStyle::placeholderTextEffectWithMask(mask).drawAttributedString(
        painter, text, QRectF(origin + QPointF(kStatusTextMargin, kStatusTextMargin), size),
        QFWindowStyle::windowBackgroundColorWhenActive(hasActiveAppearance_));
}

// Selection outline -----------------------------------------------------------

QPainterPath QFLabelLayer::bezierPathForTextBackground() const {
    std::vector<QRectF> upright;
    const double height = bounds().height();
    for (const Line& line : lines_)
        upright.emplace_back(line.rect.x(), height - line.rect.bottom(), line.rect.width(),
                             line.rect.height());
    return QFTextBackgroundPath(upright);
}

void QFLabelLayer::drawSelectedBackgroundInContext(QPainter& painter) const {
    const QPainterPath path = bezierPathForTextBackground();
    if (path.isEmpty()) return;
    const QPalette palette = QGuiApplication::palette();
    const QColor color = hasActiveAppearance_ ? palette.color(QPalette::Active, QPalette::Highlight)
                                              : palette.color(QPalette::Inactive, QPalette::Mid);
    painter.save();
    painter.setTransform(QTransform(1, 0, 0, -1, 0, bounds().height()), true);
    painter.fillPath(path, color);
    painter.restore();
}
