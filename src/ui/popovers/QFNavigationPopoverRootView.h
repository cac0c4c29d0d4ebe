#pragma once
// QFNavigationPopoverRootView: the content of a navigation popover: it
// holds the title bar and view of the controller on top of the stack
// (QFNavigationPopoverView.h), filling it, and is never taller than the
// process-wide cap maxPopoverHeight that the popover gives it.
//
// Threads: main thread only.

#include "ui/popovers/QFNavigationPopoverView.h"

#include <QPointer>
#include <QWidget>

class QFNavigationPopoverRootView : public QWidget {
    Q_OBJECT

public:
    explicit QFNavigationPopoverRootView(double maxHeight, QWidget* parent = nullptr);

    double maxHeight() const { return maxHeight_; }

    QFNavigationPopoverView* visibleView() const { return visibleView_; }
    // Shows `view` (owned by this view from now on) in place of the one
    // before, which leaves and is deleted once control returns to the
    // event loop.
    void setVisibleView(QFNavigationPopoverView* view);

    // The visible view's fitting size, no taller than the cap.
    QSize fittingSize() const;
    // Lays the visible view out over the whole view, now.
    void layoutVisibleView();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    double maxHeight_;
    QPointer<QFNavigationPopoverView> visibleView_;
};
