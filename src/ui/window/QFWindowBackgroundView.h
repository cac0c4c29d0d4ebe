#pragma once
// QFWindowBackgroundView: fills the whole window below everything else and
// paints its background: the tiled texture with pinstripes, the title bar
// with its sheen, top highlight, etched bottom edge and the shadow it casts,
// rounded top corners, and, while a drag is over the window, the drop
// indicator. It also takes the title bar's double click (miniaturise) and
// moves the window when dragged.
//
// The painted background is cached once per size, backing scale and active
// state, so a change of the window's activation only switches renderings.
//
// Threads: main thread only.

#include "kit/gui/OMAnimationCache.h"
#include "kit/gui/OMAppKitView.h"

#include <QWidget>

class QFWindowBackgroundView : public QWidget, public OMAppKitView {
    Q_OBJECT

public:
    static constexpr double kCornerRadius = 4.5;
    static constexpr double kPinstripePitch = 22;
    // The user default that turns miniaturising by a title-bar double click
    // off when false; absent means on.
    static constexpr const char* kMiniaturizeOnDoubleClickDefault = "AppleMiniaturizeOnDoubleClick";

    explicit QFWindowBackgroundView(QWidget* parent = nullptr);

    double titlebarHeight() const { return titlebarHeight_; }
    void setTitlebarHeight(double height);
    bool drawsDropIndicator() const { return drawsDropIndicator_; }
    void setDrawsDropIndicator(bool draws);

    // Paints the background of a window of `bounds` with a title bar of
    // `titlebarHeight` at the top.
    static void drawBackgroundInBounds(QPainter& painter, const QRectF& bounds, bool active,
                                       double titlebarHeight);
    // The window's outline with rounded top corners.
    static QPainterPath roundedTopCornersPath(const QRectF& bounds);

    // The strip at the top that counts as title bar for double clicks: the
    // part above the window's customizable content view; empty in a window
    // that is not a QFWindow.
    QRectF titlebarArea() const;

    bool needsDisplayForChangedWindowAppearance() override { return true; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The double click's effect; false when the click goes further.
    bool handleTitlebarDoubleClick(const QMouseEvent& event);

    double titlebarHeight_ = 0;
    OMAnimationCache backgroundCache_;
    bool drawsDropIndicator_ = false;
    bool releaseEndsDoubleClick_ = false;
};
