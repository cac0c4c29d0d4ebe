#include "WindowManager.h"

#include "ScreenTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace lf::test {

xcb_connection_t* x11Connection() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootWindow() {
    return xcb_setup_roots_iterator(xcb_get_setup(x11Connection())).data->root;
}

xcb_atom_t internAtom(const char* name) {
    xcb_connection_t* connection = x11Connection();
    if (!connection) return XCB_ATOM_NONE;
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
            nullptr),
        &free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

QRect screenRect(xcb_window_t window, Extent extent) {
    xcb_connection_t* connection = x11Connection();
    const xcb_window_t root = rootWindow();
    if (extent == Extent::Framed) {
        // The frame is the ancestor just below the root.
        for (;;) {
            std::unique_ptr<xcb_query_tree_reply_t, decltype(&free)> tree(
                xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr),
                &free);
            if (!tree || tree->parent == root || tree->parent == XCB_NONE) break;
            window = tree->parent;
        }
    }
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr), &free);
    std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&free)> origin(
        xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr),
        &free);
    if (!geometry || !origin) return {};
    const int border = geometry->border_width;
    return QRect(origin->dst_x - border, origin->dst_y - border, geometry->width + 2 * border,
                 geometry->height + 2 * border);
}

QRect screenRect(const QWidget& window, Extent extent) {
    return screenRect(static_cast<xcb_window_t>(window.winId()), extent);
}

WindowManager::WindowManager(const std::string& settings) {
    // Without a screen (the tests skip) there is nothing to manage.
    const QString openbox = QStandardPaths::findExecutable("openbox");
    if (openbox.isEmpty() || !x11Connection()) return;
    if (!settings.empty()) {
        std::filesystem::create_directories(home_ / "config/openbox");
        writeFile(home_ / "config/openbox/rc.xml", settings);
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home_ / "config").string()));
    environment.insert("XDG_CACHE_HOME", QString::fromStdString((home_ / "cache").string()));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(openbox, {"--sm-disable"});
    running_ = process_.waitForStarted(-1) && sync();
}

WindowManager::~WindowManager() {
    process_.terminate();
    // A grace to end by itself, then the end of a kill, however long.
    if (!process_.waitForFinished(5'000)) process_.kill();
    process_.waitForFinished(-1);
}

bool WindowManager::found() {
    return !QStandardPaths::findExecutable("openbox").isEmpty();
}

bool WindowManager::sync() {
    return settleUntil([] { return answers(); });
}

// A window that asks for its frame extents gets them as a property.
// Owning the screen's selection (WM_S0) is not enough to tell that a
// manager runs: openbox takes it early as it starts, and a window mapped
// before its event loop runs can stay unmanaged until some other event
// reaches it; so the request goes again on each look.
bool WindowManager::answers() {
    xcb_connection_t* connection = x11Connection();
    const xcb_atom_t request = internAtom("_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t extents = internAtom("_NET_FRAME_EXTENTS");
    const xcb_window_t probe = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, probe, rootWindow(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = probe;
    message.type = request;
    xcb_send_event(connection, 0, rootWindow(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    bool answered = false;
    QElapsedTimer timer;
    timer.start();
    while (!answered && timer.elapsed() < 100) {
        settle(1);
        std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> property(
            xcb_get_property_reply(
                connection,
                xcb_get_property(connection, 0, probe, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr),
            &free);
        answered = property && property->value_len == 4;
    }
    xcb_destroy_window(connection, probe);
    xcb_flush(connection);
    return answered;
}

}  // namespace lf::test
