// Sheets under a window manager that decorates dialogs (openbox, with a
// title bar of its own on each): the Save folder panel and the question
// after a first save hang below the flow window's title bar, no row of the
// title bar is covered by a sheet or by a frame of the manager's, and a
// sheet follows its window as it moves. Positions are read from the X
// server, where the manager's frames are.

#include "../AppTestSupport.h"
#include "ScreenTestSupport.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "support/TestSupport.h"
#include "ui/iconview/QFExportFlowController.h"
#include "ui/shell/QFApplicationFlowHooks.h"
#include "ui/widgets/QFSaveCancelButton.h"
#include "ui/window/QFWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <xcb/xcb.h>

namespace {

namespace fs = std::filesystem;
using lf::test::settle;

xcb_connection_t* x11Connection() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootWindow() {
    return xcb_setup_roots_iterator(xcb_get_setup(x11Connection())).data->root;
}

// Where `window` lies on the screen as the X server has it: its own area,
// or the whole of what the manager framed it with.
enum class Extent { Client, Framed };
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

// Waits (at most 10 s) until `done` holds.
bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 10'000) return false;
        settle(2);
    }
    return true;
}

// Waits until `sheet` shows and the manager has placed it: its framed
// extent holds still between two looks.
bool waitUntilPlaced(const QWidget& sheet) {
    QRect last;
    return waitUntil([&] {
        if (!sheet.isVisible() || !sheet.windowHandle() || !sheet.windowHandle()->isExposed())
            return false;
        settle(5);
        const QRect now = screenRect(sheet, Extent::Framed);
        return std::exchange(last, now) == now && !now.isEmpty();
    });
}

// Openbox on the tests' X server, for one test; its settings and files
// are the test's own.
class WindowManager {
public:
    WindowManager() {
        const QString openbox = QStandardPaths::findExecutable("openbox");
        if (openbox.isEmpty()) return;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home_ / "config").string()));
        environment.insert("XDG_CACHE_HOME", QString::fromStdString((home_ / "cache").string()));
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(openbox, {"--sm-disable"});
        running_ = process_.waitForStarted(10'000) && waitUntil([] { return managed(); });
    }
    ~WindowManager() {
        process_.terminate();
        if (!process_.waitForFinished(5'000)) process_.kill();
        process_.waitForFinished(5'000);
    }

    bool found() const { return !QStandardPaths::findExecutable("openbox").isEmpty(); }
    bool running() const { return running_; }

private:
    // Whether a manager owns the screen's selection WM_S0.
    static bool managed() {
        xcb_connection_t* connection = x11Connection();
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> atom(
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 5, "WM_S0"), nullptr),
            &free);
        if (!atom) return false;
        std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&free)> owner(
            xcb_get_selection_owner_reply(connection,
                                          xcb_get_selection_owner(connection, atom->atom), nullptr),
            &free);
        return owner && owner->owner != XCB_NONE;
    }

    lf::test::TemporaryDirectory home_;
    QProcess process_;
    bool running_ = false;
};

class SheetsUnderAWindowManager : public ::testing::Test {
protected:
    void SetUp() override {
        LF_REQUIRE_INSTALLED(!lf::test::screenDisplay().empty(),
                             "Xvfb (" << lf::test::screenUnavailableReason() << ")");
        LF_REQUIRE_INSTALLED(manager.found(), "openbox");
        ASSERT_TRUE(manager.running()) << "openbox did not take the screen";
        QFDocumentController::setShared(std::make_shared<QFDocumentController>());
        QFFlowInterfaceHooks::install(QFApplicationFlowHooks());
        app.delegate.applicationWillFinishLaunching();
    }
    void TearDown() override {
        for (const auto& document : std::vector(QFDocumentController::shared().orderedDocuments()))
            document->close();
        QFFlowInterfaceHooks::install({});
        settle();
    }

    // No row of the window's title bar is covered by the sheet or its
    // frame, which hangs right below it, centred.
    static void expectBelowTheTitleBar(const QFWindow& window, const QWidget& sheet) {
        const QRect client = screenRect(window, Extent::Client);
        const QRect titleBar(client.topLeft(),
                             QSize(client.width(), static_cast<int>(window.titlebarHeight())));
        const QRect framed = screenRect(sheet, Extent::Framed);
        EXPECT_FALSE(framed.intersects(titleBar))
            << "title bar rows " << titleBar.top() << "-" << titleBar.bottom()
            << ", the sheet with its frame " << framed.top() << "-" << framed.bottom();
        const QRect own = screenRect(sheet, Extent::Client);
        EXPECT_TRUE(framed == own)
            << "the manager framed the sheet: rows " << framed.top() << "-" << framed.bottom()
            << " hold its rows " << own.top() << "-" << own.bottom();
        EXPECT_EQ(framed.top(), titleBar.bottom() + 1);
        EXPECT_NEAR(framed.center().x(), client.center().x(), 1);
    }

    WindowManager manager;
    lf::test::ScopedApplication app;
};

TEST_F(SheetsUnderAWindowManager, LeaveTheTitleBarWholeAndFollowTheirWindow) {
    lf::test::TemporaryDirectory scratch;
    const fs::path out = scratch / "out";
    fs::create_directories(out);
    auto document = QFDocumentController::shared().openUntitledDocumentAndDisplay(false, nullptr);
    document->makeWindowControllers();
    QFFlowWindowController& controller = *document->windowControllers().front();
    QFWindow& window = *controller.window();
    window.setGeometry(QRect(60, 80, 640, 420));
    controller.showWindow();
    ASSERT_TRUE(lf::test::showAndWaitForExposure(window));
    ASSERT_TRUE(controller.startFlowWithURLs(
        {fs::canonical(lf::test::sharedFile("psd-tagged/01-plain.psd")).string()}));
    QFExportFlowController* view = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        view = dynamic_cast<QFExportFlowController*>(window.contentViewController().get());
        return view && view->offersSave();
    })) << "no outputs within 10 s";

    // Save asks for the folder in a sheet.
    view->saveCancelButton()->click();
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (panel = window.findChild<QFileDialog*>()) != nullptr; }));
    ASSERT_TRUE(waitUntilPlaced(*panel));
    {
        SCOPED_TRACE("the folder panel");
        expectBelowTheTitleBar(window, *panel);
    }
    // The panel is read once the manager has moved the window: before
    // that, both still lie where they were.
    const QRect moved = window.geometry().translated(40, 30);
    window.setGeometry(moved);
    ASSERT_TRUE(waitUntil([&] { return screenRect(window, Extent::Client) == moved; }))
        << "the window did not move within 10 s";
    ASSERT_TRUE(waitUntilPlaced(*panel));
    {
        SCOPED_TRACE("the folder panel, the window moved");
        expectBelowTheTitleBar(window, *panel);
    }
    lf::test::takeScreenshot().save("app-sheet-under-window-manager.png");

    // The folder chosen, the first save asks whether to repeat.
    panel->setDirectory(QString::fromStdString(out.string()));
    static_cast<QDialog&>(*panel).accept();
    QMessageBox* question = nullptr;
    ASSERT_TRUE(
        waitUntil([&] { return (question = controller.repeatAutomaticallyAlert()) != nullptr; }));
    ASSERT_TRUE(waitUntilPlaced(*question));
    {
        SCOPED_TRACE("the question");
        expectBelowTheTitleBar(window, *question);
    }
    question->reject();
}

}  // namespace
