#pragma once
// QFPopoverTextField: the one-line text field of the popovers (the flow
// editor's name), drawn by its cell (QFPopoverTextFieldCell.h): a rounded
// box with the text, or with the placeholder that stands for the default
// value.
//
// "Editing" is having the focus of its window. Escape while editing ends
// the editing (the text typed so far stays) and goes no further, so the
// popover around stays open; Escape otherwise passes on. Only the text's
// box takes the pointer: a press beside it goes to the view behind, and
// the I-beam cursor shows over the box alone (through the cursor lock of
// OMCursor.h: a locked cursor stays as it is).
//
// Threads: main thread only.

#include "kit/gui/OMSlicedImageRep.h"
#include "ui/window/QFAlignmentRect.h"
#include "ui/popovers/QFPopoverTextFieldCell.h"

#include <QLineEdit>

class QFPopoverTextField : public QLineEdit, public QFAlignmentInsets {
    Q_OBJECT

public:
    explicit QFPopoverTextField(QWidget* parent = nullptr);

    const QFPopoverTextFieldCell& cell() const { return cell_; }
    const OMEdgeInsets& padding() const { return cell_.padding(); }
    void setPadding(OMEdgeInsets padding);
    bool sizesEditorToFit() const { return cell_.sizesEditorToFit(); }
    void setSizesEditorToFit(bool fits);
    const QString& placeholder() const { return cell_.placeholderString(); }
    void setPlaceholder(const QString& placeholder);

    // Whether the field is its window's focus (the window need not be
    // active).
    bool isEditing() const;
    // Makes the field its window's focus.
    void focus();
    // Ends the editing, keeping the text.
    void abortEditing();

    // The cell's drawing rectangle grown by the padding: what takes the
    // pointer.
    QRectF stringBoundsIncludingPadding() const;
    // Lets the line edit draw and edit inside the cell's drawing
    // rectangle.
    void sizeFieldEditorToFit();

    // Top + 22 + bottom high.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    OMEdgeInsets alignmentRectInsets() const override { return {1, 3, 5, 3}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Whether `point` lies on the text's box.
    bool takesPointAt(QPointF point) const;
    void updateCursor(QPointF point);

    QFPopoverTextFieldCell cell_;
    bool isTrackingPress_ = false;
};
