#pragma once
// QFPopoverListScrollView: the scroll view of a popover list. It scrolls
// vertically only, draws no background or border, and fades its top and
// bottom edges where more content lies beyond them: a 12-point band at an
// edge fades from opaque at its inner side to the value below at the
// outer side, reaching transparent once 12 points or more lie beyond the
// edge. With content scrolled by d points beyond an edge (o = d / 12,
// clamped to 0...1) the outer alpha is 1 - sqrt(o).
//
// The fade is a mask over everything the scroll view draws, remade only
// when the fade values or the size change. Every scroll also tiles the
// list the view belongs to, so rows coming into sight get their views.
//
// Threads: main thread only.

#include <QImage>
#include <QPainter>
#include <QScrollArea>

class QFPopoverListScrollView : public QScrollArea {
    Q_OBJECT

public:
    static constexpr double kMaskFeatherHeight = 12.0;

    explicit QFPopoverListScrollView(QWidget* parent = nullptr);

    // How much content lies beyond the top and bottom edges, in feather
    // heights (0...1).
    double maskTopOpacity() const { return maskTopOpacity_; }
    double maskBottomOpacity() const { return maskBottomOpacity_; }
    double maskFeatherHeight() const { return maskFeatherHeight_; }

    // Tiles the owning list, then follows the scroll position with the
    // fade values.
    void reflectScrolledClipView();

    // Paints the mask of `bounds` (black, its alpha the coverage); the
    // mask image is this at the view's size.
    void drawMask(QPainter& painter, const QRectF& bounds) const;
    QImage maskImage(double scale = 1.0) const;

protected:
    bool viewportEvent(QEvent* event) override;

private:
    double maskFeatherHeight_ = kMaskFeatherHeight;
    double maskTopOpacity_ = 0;
    double maskBottomOpacity_ = 0;
};
