#include "ui/window/QFWindowCompositing.h"

#include <QGuiApplication>

#ifdef LF_HAS_XCB
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>
#endif

namespace {

#ifdef LF_HAS_XCB
bool x11CompositingManagerRuns() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) return false;
    const char* name = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, std::strlen(name), name), nullptr);
    if (!atom) return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_NONE) return false;
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(owner);
    return owned;
}
#endif

}  // namespace

bool QFWindowSystemComposites() {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith("wayland")) return true;
#ifdef LF_HAS_XCB
    if (platform == "xcb") return x11CompositingManagerRuns();
#endif
    return false;
}
