#pragma once
// QFPopoverWindow: a popover of our own: a frameless tool window beside a
// view (its anchor), with a light rounded body and an arrow that points at
// the anchor's centre from the edge facing it. The window is the content's
// size plus a one-point border and the arrow.
//
// It closes on Escape, unless the focused widget takes the key (a text
// field being edited ends its editing first), also when the key is typed
// in another window of the application (which would otherwise act on it
// beneath the popover: a flow window's Escape cancels its export), and,
// by its behaviour, on presses outside it:
//   0 (application-defined) never by itself;
//   1 (transient) on a press anywhere else in the application;
//   2 (semi-transient) on a press elsewhere in the anchor's window.
// A press on the anchor never closes it: the anchor's own action toggles
// the popover. Windows that belong to the popover (its context menus) count
// as inside it.
//
// Transient and semi-transient popovers also close when another window of
// the application comes forward (becomes the active one) after the popover
// itself has been active: left open, the popover would look as if it took
// the keys that now go to that window. Windows that come forward before
// the popover has been active do not count: their activation was asked
// for before it showed (the window that a closing sheet hands the focus
// back to, say). Nor does the anchor's window while the pointer rests on
// the anchor: it comes forward for a click on the anchor, whose action
// decides.
//
// Threads: main thread only.

#include "kit/gui/OMPopover.h"

#include <QPainterPath>
#include <QPointer>

class QFPopoverWindow : public OMPopover {
    Q_OBJECT

public:
    enum Behavior : int {
        QFPopoverBehaviorApplicationDefined = 0,
        QFPopoverBehaviorTransient = 1,
        QFPopoverBehaviorSemitransient = 2,
    };
    enum Appearance : int {
        QFPopoverAppearanceMinimal = 0,
        QFPopoverAppearanceHUD = 1,
    };

    static constexpr double kArrowWidth = 18;
    static constexpr double kArrowHeight = 9;
    static constexpr double kCornerRadius = 5;
    static constexpr int kBorderWidth = 1;

    explicit QFPopoverWindow(QWidget* parent = nullptr);
    ~QFPopoverWindow() override;

    int behavior() const { return behavior_; }
    void setBehavior(int behavior) { behavior_ = behavior; }
    int appearance() const { return appearance_; }
    void setAppearance(int appearance);

    // The content's size, without border and arrow. While the popover
    // shows, it stays beside its anchor (flipping when the preferred side
    // has no room left).
    QSize contentSize() const;
    void setContentSize(const QSize& size);

    void showRelativeToRect(const QRectF& rect, QWidget* view, Qt::Edge preferredEdge) override;
    // Closes the popover; nothing when it is not shown.
    void performClose();

    // The view the popover was last shown beside.
    QWidget* positioningView() const { return positioningView_; }
    // The popover's edge that carries the arrow, and how far along it the
    // arrow's centre lies.
    Qt::Edge arrowEdge() const { return arrowEdge_; }
    double arrowPosition() const { return arrowPosition_; }
    // The body and arrow, in the window's coordinates.
    QPainterPath outlinePath() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMargins chromeMargins() const;
    void setArrowEdge(Qt::Edge edge);
    void resizeToContentSize(const QSize& size);
    // Moves the popover beside the rectangle of the view it was shown
    // beside, pointing its arrow at it.
    void placeBesideAnchor();
    // Whether `widget` lies in the popover or in a window it opened.
    bool belongsToPopover(const QWidget* widget) const;
    bool closesOnPressIn(const QWidget* widget) const;
    // Whether `window`, just made the active window, closes the popover.
    bool closesWhenComingForward(const QWidget* window) const;
    bool isPointerOnAnchor() const;
    void updateMask();

    int behavior_ = QFPopoverBehaviorApplicationDefined;
    int appearance_ = QFPopoverAppearanceMinimal;
    QPointer<QWidget> positioningView_;
    QRectF positioningRect_;
    Qt::Edge preferredEdge_ = Qt::BottomEdge;
    Qt::Edge arrowEdge_ = Qt::TopEdge;
    double arrowPosition_ = 0;
    bool cutsShapeWithMask_ = false;
    // Whether the application's events pass through eventFilter.
    bool isWatchingApplication_ = false;
    // Whether the popover has been the active window since it showed.
    bool hasBeenActive_ = false;
};
