#pragma once
// A window manager on the tests' X server (openbox), and what the tests
// ask of the X server through Qt's own connection to it.

#include "support/TestSupport.h"

#include <QProcess>
#include <QRect>

#include <string>
#include <xcb/xcb.h>

class QWidget;

namespace lf::test {

// Qt's connection to the X server; null on another platform.
xcb_connection_t* x11Connection();
xcb_window_t rootWindow();
// The atom of `name`; none without a connection.
xcb_atom_t internAtom(const char* name);

// Where `window` lies on the screen as the X server has it: its own area,
// or the whole of what the manager framed it with.
enum class Extent { Client, Framed };
QRect screenRect(xcb_window_t window, Extent extent);
QRect screenRect(const QWidget& window, Extent extent);

// Openbox on the tests' X server while the object lives, with settings
// and files of its own: `settings` as its rc.xml, else its defaults.
class WindowManager {
public:
    explicit WindowManager(const std::string& settings = {});
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    static bool found();
    bool running() const { return running_; }
    // Waits until the manager has handled what the application sent it
    // so far, which it handles in order: false once the tests' patience
    // ran out.
    static bool sync();

private:
    // Whether a manager answers a request within a moment.
    static bool answers();

    TemporaryDirectory home_;
    QProcess process_;
    bool running_ = false;
};

}  // namespace lf::test
