#pragma once
// QFLabelLayer: the name under a tile of the icon view, or the icon view's
// status text.
//
// A name is laid out in centred lines inside the layer, a margin of
// selectionCornerRadius from each side; the last line that fits ends with
// "…" when the text goes on. Behind the glyphs lies a halo: the glyph
// shapes grown by one point, in the window's background colour, so names
// stay legible over the tiles and the window's texture. The text takes
// the colour and the shadow of the window style's label recipe, active or
// inactive.
//
// The status text is the whole string in one centred block, drawn with the
// window style's placeholder recipe, never truncated.
//
// The lines' rectangles of the last display are the label's hit area: a
// label that has never been displayed has none.
//
// Threads: main thread only.

#include "kit/gui/OMTemplateEffect.h"
#include "ui/layers/QFLayer.h"

#include <QFont>
#include <QPainterPath>
#include <QString>

#include <cmath>
#include <optional>
#include <vector>

class QFLabelLayer : public QFLayer {
public:
    // One laid-out line, in the layer's coordinates (y-down).
    struct Line {
        QString text;
        QPointF baselineOrigin;
        QRectF rect;
    };

    QFLabelLayer();

    const QString& string() const { return string_; }
    void setString(const QString& string);
    // The font; none means "Helvetica".
    const std::optional<QFont>& font() const { return font_; }
    void setFont(const std::optional<QFont>& font);
    // Points; 0 or less means 36.
    double fontSize() const { return fontSize_; }
    void setFontSize(double size);

    bool isSelected() const { return isSelected_; }
    void setSelected(bool selected) { isSelected_ = selected; }
    bool hasActiveAppearance() const { return hasActiveAppearance_; }
    // Redraws at once.
    void setHasActiveAppearance(bool active);
    bool isStatusText() const { return isStatusText_; }
    void setIsStatusText(bool statusText);

    // The window style's placeholder recipe for the status text, else its
    // label recipe, for the window's appearance.
    OMTemplateEffect templateEffect() const;
    // The font at fontSize.
    QFont normalizedFont() const;
    // What the status text covers: the string's size and 3 points around.
    QSizeF statusTextImageSize() const;
    // The font's size plus the depth of its descender.
    double lineHeight() const;
    double selectionCornerRadius() const { return std::ceil(lineHeight() / 2); }

    // The lines of the last display.
    const std::vector<Line>& lines() const { return lines_; }
    // Hit tests against the lines, in the superlayer's coordinates.
    bool contentContainsPoint(QPointF point) const;
    bool contentIntersectsRect(const QRectF& rect) const;

    // The rounded outline around the lines (QFTextBackgroundPath.h), in
    // y-up coordinates from the layer's bottom edge; empty without lines.
    QPainterPath bezierPathForTextBackground() const;
    // Fills that outline in the selection colour of the appearance.
    void drawSelectedBackgroundInContext(QPainter& painter) const;

protected:
    void drawInContext(QPainter& painter) const override;
    bool drawsContent() const override { return true; }

private:
    void performTextLayout() const;
    void drawLines(QPainter& painter, const QColor& color, QPointF offset = {}) const;
    void drawBackgroundForText(QPainter& painter) const;
    void drawAsStatusText(QPainter& painter) const;
    QTransform transformFromSuperlayer() const;

    QString string_;
    std::optional<QFont> font_;
    double fontSize_ = 13;
    bool isSelected_ = false;
    bool hasActiveAppearance_ = false;
    bool isStatusText_ = false;
    // The layout is made while drawing.
    mutable std::vector<Line> lines_;
};
