#pragma once
// QFNavigationPopover: a popover that shows a stack of view controllers,
// one at a time, each under a title bar with its title and an optional
// button at the right (QFNavigationPopoverView.h). The bottom of the stack
// is the root controller given at creation; the stack is never empty.
//
// Pushing and popping swap the content and resize the popover in one step,
// without animation, whatever their `animated` arguments say; only showing
// and closing the popover itself may animate. A controller's view is made
// when it is first shown. Popped controllers are let go once control
// returns to the event loop, so a controller may pop itself from one of
// its own buttons.
//
// A controller that asks for its view's fitting size keeps the popover at
// that size: as the view's size hint changes while it shows, and again
// when the popover next shows.
//
// The content is never taller than maxPopoverHeight: one value for the
// whole process, 600 at first; every new navigation popover lowers it to
// 60 % (rounded down) of each attached screen's height where that is less,
// and it never rises again.
//
// Threads: main thread only.

#include "ui/popovers/QFPopoverWindow.h"
#include "ui/window/QFViewController.h"

#include <memory>
#include <vector>

class QFNavigationPopoverRootView;
class QFNavigationPopoverView;

class QFNavigationPopover : public QFPopoverWindow {
    Q_OBJECT

public:
    static constexpr double kInitialMaxPopoverHeight = 600;
    static constexpr double kScreenHeightShare = 0.6;

    explicit QFNavigationPopover(std::shared_ptr<QFViewController> rootViewController,
                                 QWidget* parent = nullptr);
    ~QFNavigationPopover() override;

    static double maxPopoverHeight();
    // `current` lowered to floor(0.6 x height) of each screen height.
    static double loweredMaxPopoverHeight(double current, const std::vector<double>& screenHeights);

    // Nothing for a controller already on the stack.
    void pushViewController(std::shared_ptr<QFViewController> controller, bool animated);
    // The controller popped, or null at the root.
    std::shared_ptr<QFViewController> popViewControllerAnimated(bool animated);
    // The controllers popped, first popped first.
    std::vector<std::shared_ptr<QFViewController>> popToRootViewControllerAnimated(bool animated);

    // Shows `controller`'s view and resizes the popover to it.
    void setContentViewController(const std::shared_ptr<QFViewController>& controller,
                                  bool animated);
    // Shows the top controller when nothing shows yet.
    void setContentViewControllerIfNeeded();
    void setContentSize(const QSize& size, bool animated);
    // When the top controller asks for its fitting size, sizes the popover
    // to it, so its height follows the controller's view (a list growing
    // by a row), up to the cap. Run before the popover shows and whenever
    // the visible view asks for a new layout.
    void sizeToFitVisibleViewController();

    void showRelativeToRect(const QRectF& rect, QWidget* view, Qt::Edge preferredEdge) override;

    bool popsToRootViewControllerWhenClosed() const { return popsToRootViewControllerWhenClosed_; }
    void setPopsToRootViewControllerWhenClosed(bool pops) {
        popsToRootViewControllerWhenClosed_ = pops;
    }

    const std::vector<std::shared_ptr<QFViewController>>& viewControllers() const {
        return viewControllerStack_;
    }
    QFNavigationPopoverRootView* rootView() const { return rootView_; }
    QFNavigationPopoverView* visibleViewControllerView() const;

private:
    // Closing pops one level.
    void noteDidClose();
    // Keeps `controller` alive until control returns to the event loop.
    void releaseLater(std::shared_ptr<QFViewController> controller);

    bool popsToRootViewControllerWhenClosed_ = false;
    QFNavigationPopoverRootView* rootView_;
    std::vector<std::shared_ptr<QFViewController>> viewControllerStack_;
};
