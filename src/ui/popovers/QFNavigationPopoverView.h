#pragma once
// QFNavigationPopoverView: one controller of a navigation popover as it
// shows: a centred heading with the controller's title, the controller's
// view below it across the whole width, and the controller's title button
// view (when it has one) at the right of the heading, 5 points in.
//
// A press that reaches it (on the heading, or on the background of the
// controller's view) first ends any text editing in the window.
//
// The controller's view and title button stay the controller's: the view
// gives them back (releaseContent) before it goes.
//
// Threads: main thread only.

#include "ui/window/QFViewController.h"

#include <QPointer>
#include <QWidget>

class QFNavigationPopover;
class QFPopoverLabel;

class QFNavigationPopoverView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTitleButtonInset = 5;

    explicit QFNavigationPopoverView(QFViewController& controller, QWidget* parent = nullptr);

    // Not owned.
    QFNavigationPopover* ownerPopover() const;
    void setOwnerPopover(QFNavigationPopover* popover);

    QFPopoverLabel* titleLabel() const { return titleLabel_; }
    double titleHeight() const;
    // The heading's natural height above the view's size hint.
    QSize fittingSize() const;
    // Hands the controller's view and title button back, unparented.
    void releaseContent();
    // Places the heading, the controller's view and the title button.
    void layoutSubviews();

protected:
    // A new size hint of the controller's view resizes the popover to fit.
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QFPopoverLabel* titleLabel_;
    QPointer<QWidget> controllerView_;
    QPointer<QWidget> titleButtonView_;
    QPointer<QFNavigationPopover> ownerPopover_;
};
