// Documents handed over again, by a later launch, to a flow window on
// another desktop than the one shown, under a window manager with desktops
// of its own (openbox): the window comes to the desktop shown, or asks for
// the user's attention where the manager leaves it where it is; coming
// forward ends that request. What the manager did is read from the X
// server once it has handled what the application asked of it.

#include "../AppTestSupport.h"
#include "ScreenTestSupport.h"
#include "WindowManager.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "platform/dispatch/MainQueue.h"
#include "support/TestSupport.h"
#include "ui/shell/QFApplicationFlowHooks.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using lf::test::internAtom;
using lf::test::rootWindow;
using lf::test::x11Connection;

// The 32-bit values of `window`'s property `name`; none where it has none.
std::vector<uint32_t> property(xcb_window_t window, const char* name) {
    xcb_connection_t* connection = x11Connection();
    std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, window, internAtom(name),
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
                               nullptr),
        &free);
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

std::optional<uint32_t> firstValue(xcb_window_t window, const char* name) {
    const std::vector<uint32_t> values = property(window, name);
    return values.empty() ? std::nullopt : std::optional(values.front());
}

// Asks the manager to show `desktop`, as a pager does.
void showDesktop(uint32_t desktop) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = rootWindow();
    message.type = internAtom("_NET_CURRENT_DESKTOP");
    message.data.data32[0] = desktop;
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x11Connection(), 0, rootWindow(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(x11Connection());
}

// Whether `window` asks for attention: the manager's state of it says so,
// or its hints are urgent (ICCCM's UrgencyHint).
bool asksForAttention(xcb_window_t window) {
    constexpr uint32_t kUrgencyHint = 1u << 8;
    const std::vector<uint32_t> state = property(window, "_NET_WM_STATE");
    const bool demands = std::find(state.begin(), state.end(),
                                   internAtom("_NET_WM_STATE_DEMANDS_ATTENTION")) != state.end();
    return demands || (firstValue(window, "WM_HINTS").value_or(0) & kUrgencyHint);
}

class HandOverUnderAWindowManager : public ::testing::Test {
protected:
    void SetUp() override {
        LF_REQUIRE_SCREEN();
        LF_REQUIRE_INSTALLED(lf::test::WindowManager::found(), "openbox");
        ASSERT_TRUE(manager.running()) << "openbox did not take the screen";
        QFDocumentController::setShared(std::make_shared<QFDocumentController>());
        QFFlowInterfaceHooks::install(QFApplicationFlowHooks());
        app.delegate.applicationWillFinishLaunching();
    }
    void TearDown() override {
        QFFlowWindowController::setHandOverMatchedHookForTesting({});
        for (const auto& document : std::vector(QFDocumentController::shared().orderedDocuments()))
            document->close();
        QFFlowInterfaceHooks::install({});
        lf::test::settle();
    }

    // Hands `path` over, as a later launch does, and waits until the
    // window for it is chosen and the manager has handled the requests.
    void handOver(const std::string& path) {
        bool matched = false;
        QFFlowWindowController::setHandOverMatchedHookForTesting([&] { matched = true; });
        app.delegate.openFilesOrUntitledDocument({path});
        ASSERT_TRUE(lf::test::settleUntil([&] {
            lf::MainQueue::shared()->drain();
            return matched;
        }));
        QFFlowWindowController::setHandOverMatchedHookForTesting({});
        ASSERT_TRUE(lf::test::WindowManager::sync());
    }

    lf::test::WindowManager manager;
    lf::test::ScopedApplication app;
};

TEST_F(HandOverUnderAWindowManager, AWindowOnAnotherDesktopAsksForAttention) {
    const std::string path =
        std::filesystem::canonical(lf::test::sharedFile("psd-tagged/01-plain.psd")).string();
    app.delegate.openFilesOrUntitledDocument({path});
    const auto& documents = QFDocumentController::shared().orderedDocuments();
    QFFlowWindowController* controller = nullptr;
    ASSERT_TRUE(lf::test::settleUntil([&] {
        lf::MainQueue::shared()->drain();
        controller =
            documents.empty() ? nullptr : documents.front()->windowControllers().front().get();
        return controller && controller->runningFlow() && controller->window()->isActiveWindow();
    }));
    const auto window = static_cast<xcb_window_t>(controller->window()->winId());
    ASSERT_GE(firstValue(rootWindow(), "_NET_NUMBER_OF_DESKTOPS").value_or(0), 2u);
    const std::optional<uint32_t> own = firstValue(window, "_NET_WM_DESKTOP");
    ASSERT_TRUE(own);
    // Come forward, it asks for nothing.
    ASSERT_TRUE(lf::test::WindowManager::sync());
    ASSERT_FALSE(asksForAttention(window));

    showDesktop(*own + 1);
    ASSERT_TRUE(lf::test::WindowManager::sync());
    ASSERT_EQ(firstValue(rootWindow(), "_NET_CURRENT_DESKTOP"), *own + 1);
    // Out of sight, the window has lost the focus.
    ASSERT_TRUE(lf::test::settleUntil([&] { return !controller->window()->isActiveWindow(); }));
    handOver(path);
    EXPECT_EQ(documents.size(), 1u);
    const bool broughtOver =
        firstValue(window, "_NET_WM_DESKTOP") == firstValue(rootWindow(), "_NET_CURRENT_DESKTOP");
    EXPECT_TRUE(broughtOver || asksForAttention(window))
        << "the window stays on desktop " << *own << " unseen and asks for nothing";

    // The user goes to the window: it comes forward and asks no more.
    showDesktop(*own);
    controller->window()->activateWindow();
    ASSERT_TRUE(lf::test::settleUntil([&] { return controller->window()->isActiveWindow(); }));
    ASSERT_TRUE(lf::test::WindowManager::sync());
    EXPECT_FALSE(asksForAttention(window));
}

}  // namespace
