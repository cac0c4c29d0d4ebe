#pragma once
// OMAppKitWindow: what the kit adds to top-level windows. A window class
// inherits it next to QWidget to override the active-appearance query, to
// allow full screen, or to keep its content below chrome of its own.
//
// Free functions answer for any top-level widget, whether or not it
// inherits OMAppKitWindow.
//
// Threads: main thread only.

#include <QMetaObject>
#include <QPointer>
#include <QWidget>

class OMAppKitWindow {
public:
    virtual ~OMAppKitWindow() = default;

    // Whether the window draws its active look: by default, when it is of
    // the class given to setFullScreenToolbarWindowClassWithActiveAppearance,
    // or is the active window. Windows with their own rules override it and
    // fall back on this.
    virtual bool hasActiveAppearance() const;

    // Windows of `windowClass` (and its subclasses) always count as active;
    // null forgets the class.
    static void setFullScreenToolbarWindowClassWithActiveAppearance(const QMetaObject* windowClass);

    // Whether the window may fill the screen; no by default.
    virtual bool canEnterFullScreen() const { return false; }
    // Shows, raises and activates the window, then turns it full screen when
    // it may and is not yet.
    void makeKeyAndEnterFullScreen();

    // The widget that holds the window's content. By default it fills the
    // window; windows with their own chrome place it below that. Setting a
    // new one deletes the one before (later, from the event loop).
    virtual QWidget* customizableContentView() const { return contentView_; }
    virtual void setCustomizableContentView(QWidget* view);

protected:
    QWidget* appKitWidget() { return dynamic_cast<QWidget*>(this); }
    const QWidget* appKitWidget() const { return dynamic_cast<const QWidget*>(this); }

private:
    QPointer<QWidget> contentView_;
};

// The answer of `window`'s own hasActiveAppearance when it is an
// OMAppKitWindow, else the default rule above.
bool OMWindowHasActiveAppearance(const QWidget* window);

// Whether a new window should start in full screen: the frontmost visible
// window decides: yes when it is full screen, no when it could be but is
// not; windows that cannot be full screen are passed over. The active
// window counts as frontmost; Qt keeps no order among the others.
bool OMShouldEnterFullScreenForNewWindows();
