#pragma once
// QFRecentFlowButton: the button at the left of a recents row that repeats
// the flow in a window: a rounded square with the export glyph, filled
// purple with a white glyph for a smart flow (one that notifies or repeats)
// or while the pointer is on it, else a grey ring with a purple glyph.
//
// Its alignment rectangle is 26 by 26, a point inside its frame.
//
// Threads: main thread only.

#include "ui/window/QFWindowButton.h"

class QFFlow;

class QFRecentFlowButton : public QFWindowButton {
    Q_OBJECT

public:
    static constexpr double kSize = 26;
    static constexpr double kGlyphSize = 18;

    explicit QFRecentFlowButton(QWidget* parent = nullptr);

    bool hasSmartFlowStyle() const { return hasSmartFlowStyle_; }
    // Redraws when the style changes.
    void setHasSmartFlowStyle(bool smart);
    // The smart style for a flow whose behaviour is not none.
    void reflectFlow(const QFFlow& flow);

    QSizeF intrinsicContentSize() const { return {kSize, kSize}; }
    QSize sizeHint() const override;
    OMEdgeInsets alignmentRectInsets() const override { return {1, 1, 1, 1}; }

    // What the button draws in `bounds` with `mask`: nothing when it is
    // narrower than 5.
    void drawInBounds(QPainter& painter, const QRectF& bounds, unsigned mask) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool hasSmartFlowStyle_ = false;
};
