#pragma once
// QFActionResponder: one link of the chain that menu actions travel. A menu
// item names an action ("saveFlowOutput"); the window that shows the menu
// asks, in order, its content controller, its window controller, the
// application and the application's delegate, and the first link that
// responds to the action performs it and decides whether its item is
// enabled. An item whose action no link responds to is disabled.
//
// Threads: main thread only.

#include <QAction>

#include <string>
#include <string_view>
#include <vector>

class QFActionResponder {
public:
    virtual ~QFActionResponder() = default;

    virtual bool respondsToAction(std::string_view action) const = 0;
    virtual void performAction(std::string_view action) = 0;
    // Whether `item` (whose action this link responds to) is enabled; a
    // link may also change the item's title here.
    virtual bool validateMenuItem(QAction& item) { return true; }
};

using QFResponderChain = std::vector<QFActionResponder*>;

// The actions of the application's menu, named after what they do.
namespace QFAction {
inline constexpr std::string_view ShowUpdates = "showUpdates";
inline constexpr std::string_view ShowHelp = "showHelp";
inline constexpr std::string_view ShowExampleFiles = "showExampleFiles";
inline constexpr std::string_view ShowReleaseNotes = "showReleaseNotes";
inline constexpr std::string_view RateInAppStore = "rateInAppStore";
inline constexpr std::string_view FollowOnTwitter = "followOnTwitter";
inline constexpr std::string_view SendFeedback = "sendFeedback";
inline constexpr std::string_view ShowPreferences = "showPreferences";
inline constexpr std::string_view OpenFilesForFlow = "openFilesForFlow";
inline constexpr std::string_view ClearRecentFlows = "clearRecentFlows";
inline constexpr std::string_view ToggleRecentRepeat = "toggleRecentRepeat";
inline constexpr std::string_view SaveFlowOutput = "saveFlowOutput";
inline constexpr std::string_view CancelFlow = "cancelFlow";
inline constexpr std::string_view PerformClose = "performClose";
inline constexpr std::string_view Terminate = "terminate";
}  // namespace QFAction

// The action a menu item sends, or empty for an item without one.
std::string QFActionOfMenuItem(const QAction& item);
void QFSetActionOfMenuItem(QAction& item, std::string_view action);

// The first link (null links are skipped) that responds to `action`, or
// null.
QFActionResponder* QFTargetForAction(const QFResponderChain& chain, std::string_view action);
// Performs `action` at its target; false when no link responds to it.
bool QFSendAction(const QFResponderChain& chain, std::string_view action);
// Enables `item` as its target says; disables it when there is none.
void QFValidateMenuItem(const QFResponderChain& chain, QAction& item);
