#pragma once
// QFPlaceholderButton: the button of the placeholder view, a rounded body
// from the nine-slice images "PlaceholderButtonNormal" and
// "PlaceholderButtonPressed" with an etched bold title. Without the images
// only the title shows. With the focus a ring in the focus colour
// surrounds the body, shaped by the image "PlaceholderButtonMask"; the body
// itself looks the same with the focus and without.
//
// Its alignment rectangle leaves 1 point at the top and sides and 3 at the
// bottom of the frame for the body's shadow.
//
// Threads: main thread only.

#include "kit/gui/OMAppKitView.h"
#include "kit/gui/OMAttributedString.h"
#include "ui/window/QFAlignmentRect.h"

#include <QAbstractButton>

class QFPlaceholderButton : public QAbstractButton, public OMAppKitView, public QFAlignmentInsets {
    Q_OBJECT

public:
    static constexpr double kHeight = 26;
    static constexpr double kBaselineOffsetFromBottom = 9;

    explicit QFPlaceholderButton(QWidget* parent = nullptr);

    // The alignment rectangle's size: max(22, title width + 24) by 26.
    QSizeF intrinsicContentSize() const;
    // The frame of that alignment rectangle.
    QSize sizeHint() const override;
    OMEdgeInsets alignmentRectInsets() const override { return {1, 1, 3, 1}; }

    // Where the title goes in a frame `frame` for a title `titleHeight` high.
    QRectF titleRectForFrame(const QRectF& frame, double titleHeight) const;

    bool needsDisplayForChangedWindowAppearance() override { return true; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    OMAttributedString attributedTitle() const;
    void drawFocusRing(QPainter& painter) const;
};
