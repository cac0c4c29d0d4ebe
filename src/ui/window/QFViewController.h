#pragma once
// QFViewController: a controller of one view that a window shows as its
// content, with the four messages a window sends as controllers are pushed
// onto and popped off its stack (QFWindow.h). A navigation popover
// (QFNavigationPopover.h) shows controllers too, under their title. In
// each, `entering` is true for the controller that enters or leaves the
// stack and false for the one it covers or uncovers.
//
// The controller owns its view: it makes it on first request and deletes it
// with itself (a window that still shows the view lets it go first).
//
// Threads: main thread only.

#include <QPointer>
#include <QString>
#include <QWidget>

class QFNavigationPopover;

class QFViewController {
public:
    QFViewController() = default;
    QFViewController(const QFViewController&) = delete;
    QFViewController& operator=(const QFViewController&) = delete;
    virtual ~QFViewController();

    // The view, made by loadView on first request.
    QWidget* view();
    bool isViewLoaded() const { return !view_.isNull(); }

    // What a navigation popover shows above the view.
    const QString& title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }

    // The navigation popover that shows the controller (QFNavigationPopover.h),
    // not owned: the popover sets it while the controller is on its stack
    // and clears it when it lets the controller go or goes itself.
    QFNavigationPopover* navigationPopover() const { return navigationPopover_; }
    void setNavigationPopover(QFNavigationPopover* popover) { navigationPopover_ = popover; }
    // Whether the popover takes the fitting size of the view (its size
    // hint) instead of the view's size.
    bool navigationPopoverShouldUseContentViewFittingSize() const {
        return navigationPopoverShouldUseContentViewFittingSize_;
    }
    void setNavigationPopoverShouldUseContentViewFittingSize(bool fitting) {
        navigationPopoverShouldUseContentViewFittingSize_ = fitting;
    }
    // A view at the right of the popover's title bar, owned by the
    // controller; setting another deletes the one before.
    QWidget* navigationPopoverTitleButtonView() const { return navigationPopoverTitleButtonView_; }
    void setNavigationPopoverTitleButtonView(QWidget* view);

    virtual void viewWillAppear(bool entering, bool animated) {}
    virtual void viewDidAppear(bool entering, bool animated) {}
    virtual void viewWillDisappear(bool entering, bool animated) {}
    virtual void viewDidDisappear(bool entering, bool animated) {}

protected:
    // A new view without parent; an empty widget by default.
    virtual QWidget* loadView();

private:
    QPointer<QWidget> view_;
    QString title_;
    QFNavigationPopover* navigationPopover_ = nullptr;
    bool navigationPopoverShouldUseContentViewFittingSize_ = false;
    QPointer<QWidget> navigationPopoverTitleButtonView_;
};
