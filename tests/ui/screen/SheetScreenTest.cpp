// Sheets under a window manager that decorates dialogs (openbox, with a
// title bar of its own on each): the Save folder panel and the question
// after a first save hang below the flow window's title bar, no row of the
// title bar is covered by a sheet or by a frame of the manager's, and a
// sheet follows its window as it moves. Positions are read from the X
// server, where the manager's frames are. And a quit typed while the save
// into the folder chosen writes is not lost.

#include "../AppTestSupport.h"
#include "ScreenTestSupport.h"
#include "WindowManager.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "flows/runs/QFFlowOutputItem.h"
#include "flows/shared/QFConfinedPath.h"
#include "platform/writing/AtomicFileSet.h"
#include "support/TestSupport.h"
#include "ui/iconview/QFExportFlowController.h"
#include "ui/shell/QFApplicationFlowHooks.h"
#include "ui/widgets/QFSaveCancelButton.h"
#include "ui/window/QFWindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <xcb/xcb.h>

namespace {

namespace fs = std::filesystem;
using lf::test::Extent;
using lf::test::rootWindow;
using lf::test::screenRect;
using lf::test::settle;
using lf::test::WindowManager;
using lf::test::x11Connection;

bool waitUntil(const std::function<bool()>& done) {
    return lf::test::settleUntil(done);
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

// The window that has the X server's input focus.
xcb_window_t inputFocus() {
    xcb_connection_t* connection = x11Connection();
    std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&free)> focus(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr), &free);
    return focus ? focus->focus : static_cast<xcb_window_t>(XCB_NONE);
}

// Keys by their symbols (X11/keysymdef.h).
constexpr xcb_keysym_t kKeysymQ = 0x71;
constexpr xcb_keysym_t kKeysymReturn = 0xff0d;

// The key that gives `keysym` unshifted, or 0.
xcb_keycode_t keycodeFor(xcb_keysym_t keysym) {
    xcb_connection_t* connection = x11Connection();
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&free)> mapping(
        xcb_get_keyboard_mapping_reply(
            connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr),
        &free);
    if (!mapping || mapping->keysyms_per_keycode == 0) return 0;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    for (int key = 0; key < count; ++key)
        if (keysyms[key * mapping->keysyms_per_keycode] == keysym)
            return static_cast<xcb_keycode_t>(setup->min_keycode + key);
    return 0;
}

// Types `keysym` with `modifiers` as the keyboard would, into `window`
// once the manager has given it the input focus: a press and a release
// reach it from the X server, to be read when the application next looks.
void typeInto(const QWidget& window, xcb_keysym_t keysym, uint16_t modifiers = 0) {
    const auto id = static_cast<xcb_window_t>(window.winId());
    while (inputFocus() != id)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    xcb_connection_t* connection = x11Connection();
    for (const uint8_t type : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
        xcb_key_press_event_t key{};
        key.response_type = type;
        key.detail = keycodeFor(keysym);
        key.time = XCB_CURRENT_TIME;
        key.root = rootWindow();
        key.event = id;
        key.same_screen = 1;
        key.state = modifiers;
        xcb_send_event(
            connection, 0, id,
            type == XCB_KEY_PRESS ? XCB_EVENT_MASK_KEY_PRESS : XCB_EVENT_MASK_KEY_RELEASE,
            reinterpret_cast<const char*>(&key));
    }
    xcb_flush(connection);
}

class SheetsUnderAWindowManager : public ::testing::Test {
protected:
    void SetUp() override {
        LF_REQUIRE_SCREEN();
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
        // A saved flow stays recent, and its next save asks nothing.
        auto manager = QFFlowManager::defaultManager();
        for (const auto& flow : std::vector(manager->recentFlows()))
            manager->removeFlow(flow);
        settle();
    }

    // A flow window at `geometry` showing the outputs of a tagged document;
    // null (a failure) when it does not get there.
    static QFFlowWindowController* openReadyWindow(
        const QRect& geometry, const std::string& shownDocument = "psd-tagged/01-plain.psd") {
        auto document =
            QFDocumentController::shared().openUntitledDocumentAndDisplay(false, nullptr);
        document->makeWindowControllers();
        QFFlowWindowController& controller = *document->windowControllers().front();
        QFWindow& window = *controller.window();
        window.setGeometry(geometry);
        controller.showWindow();
        if (!lf::test::showAndWaitForExposure(window)) {
            ADD_FAILURE() << "the window did not show within 10 s";
            return nullptr;
        }
        const bool ready = controller.startFlowWithURLs(
                               {fs::canonical(lf::test::sharedFile(shownDocument)).string()}) &&
                           waitUntil([&] {
                               const auto* view = dynamic_cast<QFExportFlowController*>(
                                   window.contentViewController().get());
                               return view && view->offersSave();
                           });
        if (!ready) ADD_FAILURE() << "no outputs within 10 s";
        return ready ? &controller : nullptr;
    }

    // Clicks Save, which asks for the folder in a sheet: the panel, once the
    // manager has placed it and the window; null (a failure) without one.
    static QFileDialog* askForFolder(QFWindow& window) {
        dynamic_cast<QFExportFlowController&>(*window.contentViewController())
            .saveCancelButton()
            ->click();
        QFileDialog* panel = nullptr;
        const bool shown = waitUntil([&] {
            for (QFileDialog* candidate : window.findChildren<QFileDialog*>())
                if (candidate->isVisible()) panel = candidate;
            return panel != nullptr;
        });
        if (!shown || !waitUntilPlaced(*panel) || !waitUntilWindowPlaced(window)) {
            ADD_FAILURE() << "no folder panel within 10 s";
            return nullptr;
        }
        return panel;
    }

    // Waits until the manager has put `window` where the application asked.
    static bool waitUntilWindowPlaced(const QWidget& window) {
        return waitUntil([&] { return screenRect(window, Extent::Client) == window.geometry(); });
    }

    // Moves `window` to `geometry` and waits until the manager has (a
    // sheet read before would still lie where it was).
    static bool placeWindow(QWidget& window, const QRect& geometry) {
        window.setGeometry(geometry);
        return waitUntilWindowPlaced(window);
    }

    // No row of the window's title bar is covered by the sheet or its
    // frame, which hangs right below it, centred, and ends within the
    // screen's available area.
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
        EXPECT_LE(framed.bottom(), availableArea().bottom());
    }

    static QRect availableArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    WindowManager manager;
    lf::test::ScopedApplication app;
    lf::test::TemporaryDirectory scratch;
    const QString out = QString::fromStdString((scratch / "out").string());
};

TEST_F(SheetsUnderAWindowManager, LeaveTheTitleBarWholeAndFollowTheirWindow) {
    QFFlowWindowController* controller = openReadyWindow(QRect(60, 80, 640, 420));
    ASSERT_NE(controller, nullptr);
    QFWindow& window = *controller->window();
    QFileDialog* panel = askForFolder(window);
    ASSERT_NE(panel, nullptr);
    {
        SCOPED_TRACE("the folder panel");
        expectBelowTheTitleBar(window, *panel);
    }
    ASSERT_TRUE(placeWindow(window, window.geometry().translated(40, 30)))
        << "the window did not move within 10 s";
    ASSERT_TRUE(waitUntilPlaced(*panel));
    {
        SCOPED_TRACE("the folder panel, the window moved");
        expectBelowTheTitleBar(window, *panel);
    }
    lf::test::takeScreenshot().save("app-sheet-under-window-manager.png");

    // The folder chosen, the first save asks whether to repeat.
    fs::create_directories(out.toStdString());
    panel->setDirectory(out);
    static_cast<QDialog&>(*panel).accept();
    QMessageBox* question = nullptr;
    ASSERT_TRUE(
        waitUntil([&] { return (question = controller->repeatAutomaticallyAlert()) != nullptr; }));
    ASSERT_TRUE(waitUntilPlaced(*question));
    {
        SCOPED_TRACE("the question");
        expectBelowTheTitleBar(window, *question);
    }
    question->reject();
}

// Low on the screen, a sheet ends at the bottom of its available area,
// still below the whole title bar: the folder panel (about 410 rows, at
// least about 180) shrinks to the room left, and takes its size again
// once there is room. Where even its smallest size does not fit, and for
// the question, whose size is fixed, the window moves up as far as needed.
TEST_F(SheetsUnderAWindowManager, FitBetweenTheTitleBarAndTheBottomOfTheScreen) {
    const QRect available = availableArea();
    const QRect placedLow(60, available.bottom() - 300, 640, 420);
    QFFlowWindowController* controller = openReadyWindow(placedLow);
    ASSERT_NE(controller, nullptr);
    QFWindow& window = *controller->window();
    QFileDialog* panel = askForFolder(window);
    ASSERT_NE(panel, nullptr);
    const int shrunk = screenRect(*panel, Extent::Framed).height();
    {
        SCOPED_TRACE("the folder panel, shrunk");
        expectBelowTheTitleBar(window, *panel);
        EXPECT_EQ(screenRect(*panel, Extent::Framed).bottom(), available.bottom());
        EXPECT_EQ(screenRect(window, Extent::Client), placedLow) << "the window moved";
    }
    ASSERT_TRUE(placeWindow(window, placedLow.translated(0, 20 - placedLow.top())));
    ASSERT_TRUE(waitUntilPlaced(*panel));
    {
        SCOPED_TRACE("the folder panel, the window moved up");
        expectBelowTheTitleBar(window, *panel);
        EXPECT_GT(screenRect(*panel, Extent::Framed).height(), shrunk);
        EXPECT_LT(screenRect(*panel, Extent::Framed).bottom(), available.bottom());
    }
    panel->reject();

    // 60 rows left below the title bar.
    const int titleBar = static_cast<int>(window.titlebarHeight());
    const QRect placedLower(60, available.bottom() - 60 - titleBar, 640, 420);
    ASSERT_TRUE(placeWindow(window, placedLower));
    panel = askForFolder(window);
    ASSERT_NE(panel, nullptr);
    {
        SCOPED_TRACE("the folder panel, the window lower");
        expectBelowTheTitleBar(window, *panel);
        EXPECT_EQ(screenRect(*panel, Extent::Framed).bottom(), available.bottom());
        EXPECT_LT(screenRect(window, Extent::Client).top(), placedLower.top());
    }

    fs::create_directories(out.toStdString());
    panel->setDirectory(out);
    static_cast<QDialog&>(*panel).accept();
    // Not waited for: the question may show before the manager has moved
    // the window, and moves it up again.
    window.setGeometry(placedLower);
    QMessageBox* question = nullptr;
    ASSERT_TRUE(
        waitUntil([&] { return (question = controller->repeatAutomaticallyAlert()) != nullptr; }));
    ASSERT_TRUE(waitUntilPlaced(*question));
    ASSERT_TRUE(waitUntilWindowPlaced(window));
    {
        SCOPED_TRACE("the question, the window lower");
        expectBelowTheTitleBar(window, *question);
        EXPECT_EQ(screenRect(*question, Extent::Framed).bottom(), available.bottom());
        EXPECT_LT(screenRect(window, Extent::Client).top(), placedLower.top());
    }
    question->reject();
}

// A quit typed while the save into the chosen folder writes ends the
// application once the save is whole. The folder is chosen with Return in
// the panel, as a user does; the save then writes on the main thread,
// which reads no event meanwhile, and Ctrl+Q reaches the X server for the
// flow window, which the manager has given the focus again: the
// application reads it after the write. A dropped quit leaves the event
// loop running, for the test runner's timeout to end. The folder held
// another version.
TEST_F(SheetsUnderAWindowManager, AQuitTypedWhileTheSaveWritesEndsTheApplicationAfterIt) {
    QFFlowWindowController* controller =
        openReadyWindow(QRect(60, 80, 640, 420), "psd-tagged/02-formats.psd");
    ASSERT_NE(controller, nullptr);
    QFWindow& window = *controller->window();
    const auto items =
        dynamic_cast<QFExportFlowController&>(*window.contentViewController()).outputItems();
    ASSERT_GT(items.size(), 1u);
    const auto fileOf = [&](const auto& item) {
        return fs::path(out.toStdString()) / QFPathWithComponents(item->pathComponents());
    };
    for (const auto& item : items) {
        fs::create_directories(fileOf(item).parent_path());
        std::ofstream(fileOf(item)) << "another version";
    }
    QFileDialog* panel = askForFolder(window);
    ASSERT_NE(panel, nullptr);
    auto* folderName = panel->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(folderName, nullptr);
    folderName->setText(out);
    folderName->setFocus();
    settle();

    lf::AtomicFileSet::setMoveInHookForTesting([&](size_t movedIn) {
        if (movedIn == 1) typeInto(window, kKeysymQ, XCB_MOD_MASK_CONTROL);
    });
    QTimer::singleShot(0, [&] { typeInto(*panel, kKeysymReturn); });
    const int ended = QApplication::exec();
    lf::AtomicFileSet::setMoveInHookForTesting(nullptr);
    EXPECT_EQ(ended, 0);
    for (const auto& item : items) {
        std::ifstream in(fileOf(item), std::ios::binary);
        const std::string written{std::istreambuf_iterator<char>(in), {}};
        const auto expected = item->data().span();
        EXPECT_TRUE(written == std::string(expected.begin(), expected.end()))
            << fileOf(item) << " holds another version";
    }
    for (const auto& entry : fs::recursive_directory_iterator(out.toStdString()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos)
            << entry.path();
}

}  // namespace
