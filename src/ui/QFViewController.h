#pragma once
// QFViewController: a controller of one view that a window shows as its
// content, with the four messages a window sends as controllers are pushed
// onto and popped off its stack (QFWindow.h). In each, `entering` is true
// for the controller that enters or leaves the stack and false for the one
// it covers or uncovers.
//
// The controller owns its view: it makes it on first request and deletes it
// with itself (a window that still shows the view lets it go first).
//
// Threads: main thread only.

#include <QPointer>
#include <QWidget>

class QFViewController {
public:
    QFViewController() = default;
    QFViewController(const QFViewController&) = delete;
    QFViewController& operator=(const QFViewController&) = delete;
    virtual ~QFViewController();

    // The view, made by loadView on first request.
    QWidget* view();
    bool isViewLoaded() const { return !view_.isNull(); }

    virtual void viewWillAppear(bool entering, bool animated) {}
    virtual void viewDidAppear(bool entering, bool animated) {}
    virtual void viewWillDisappear(bool entering, bool animated) {}
    virtual void viewDidDisappear(bool entering, bool animated) {}

protected:
    // A new view without parent; an empty widget by default.
    virtual QWidget* loadView();

private:
    QPointer<QWidget> view_;
};
