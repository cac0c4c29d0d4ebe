#pragma once
// QFPopoverTextFieldCell: the geometry and drawing of a popover text field
// (QFPopoverTextField.h): a white rounded box inside the padding, the text
// in it, and the placeholder, which doubles as the field's default value.
//
// The text goes into the drawing rectangle D: the bounds less the padding
// and a margin of 3 at the sides, 1 at the top and 5 at the bottom, where
// the box's shadow falls while the field is focused. With
// sizesEditorToFit, D is only as wide as the text (or the placeholder when
// the text is empty) plus 4, so the box grows with what is typed.
//
// An empty field shows its placeholder: like a value while not being
// edited, at a fifth of the text's alpha while it is. While the field is
// edited, the line edit draws the text and its caret into D itself.
//
// Threads: main thread only.

#include "kit/gui/OMAttributedString.h"
#include "kit/gui/OMSlicedImageRep.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>

class QFPopoverTextFieldCell {
public:
    static constexpr double kPlaceholderEditingAlpha = 0.2;

    bool sizesEditorToFit() const { return sizesEditorToFit_; }
    void setSizesEditorToFit(bool fits) { sizesEditorToFit_ = fits; }
    const OMEdgeInsets& padding() const { return padding_; }
    void setPadding(OMEdgeInsets padding) { padding_ = padding; }
    const QString& placeholderString() const { return placeholderString_; }
    void setPlaceholderString(const QString& placeholder) { placeholderString_ = placeholder; }

    // The font alone; the colour is the text's.
    OMAttributedString stringAttributes(const QFont& font) const;
    // The text colour at a fifth of its alpha.
    QColor placeholderColor(const QColor& textColor) const;

    // D for `bounds`, measuring `string` (or the placeholder when it is
    // empty) in `font`.
    QRectF drawingRectForBounds(const QRectF& bounds, const QString& string,
                                const QFont& font) const;
    // The box of D: D grown by the padding and a rim, kept inside `frame`.
    QRectF backgroundRectForDrawingRect(const QRectF& drawingRect, const QRectF& frame) const;

    // Draws the box, and the placeholder or the text when the field is
    // not being edited.
    void drawWithFrame(QPainter& painter, const QRectF& frame, const QString& string,
                       const QFont& font, const QColor& textColor, bool editing) const;

private:
    bool sizesEditorToFit_ = false;
    OMEdgeInsets padding_;
    QString placeholderString_;
};
