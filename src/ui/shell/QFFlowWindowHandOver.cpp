// The hand-over of files to a flow window (QFFlowWindowController.h): the
// paths that cannot be taken are refused on a sheet of the window, each
// saying why; the rest start a recent flow of exactly those files, else
// one the recents kept unlisted while its files could not be found, else a
// new flow of the one plug-in that takes them; files that hold no
// documents (an empty folder) say so. Files whose flow a window shows
// already bring that window forward, before any window is taken for them.

#include "flows/QFFlow.h"
#include "flows/QFFlowManager.h"
#include "flows/QFGivenPath.h"
#include "flows/inputs/QFFlowInput.h"
#include "flows/inputs/QFFlowPlugIn.h"
#include "flows/inputs/QFFlowPlugInManager.h"
#include "flows/runs/QFExportFlowError.h"
#include "platform/core/TestHook.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/shell/QFApplication.h"
#include "ui/shell/QFDocumentController.h"
#include "ui/shell/QFFlowDocument.h"
#include "ui/shell/QFFlowWindowController.h"
#include "ui/window/QFErrorAlert.h"
#include "ui/window/QFWindow.h"

#include <set>

namespace {

// A flow and its input, read on the main thread, so the matching off it
// touches only the input, which guards itself: its files are read under
// the lock that a snapshot of its documents holds while it walks them.
// Flows are main-thread objects: the list returns to the main thread to be
// let go.
struct FlowInput {
    std::shared_ptr<QFFlow> flow;
    std::shared_ptr<QFFlowInput> input;
};

// The first of `flows` whose files are exactly `urls`, in any order.
std::shared_ptr<QFFlow> flowWithURLs(const std::vector<FlowInput>& flows,
                                     const std::vector<std::string>& urls) {
    const std::set<std::string> wanted(urls.begin(), urls.end());
    for (const auto& candidate : flows)
        if (candidate.input && candidate.input->inputURLs() == wanted) return candidate.flow;
    return nullptr;
}

struct MatchedPlace;

lf::TestHook<void()>& matchedHook() {
    return lf::sharedTestHook<MatchedPlace, void()>();
}

// The window controllers whose window shows a flow, front to back. A
// window closed is hidden at once, while its document goes a moment later:
// brought forward then, it would take files that go with it.
std::vector<std::shared_ptr<QFFlowWindowController>> controllersShowingFlows() {
    std::vector<std::shared_ptr<QFFlowWindowController>> showing;
    for (const auto& document : QFDocumentController::shared().orderedDocuments())
        for (const auto& controller : document->windowControllers())
            if (controller->window()->isVisible() && controller->runningFlow())
                showing.push_back(controller);
    return showing;
}

}  // namespace

void QFFlowWindowController::showWindowOfFlowWithURLs(const std::vector<std::string>& urls,
                                                      std::function<void()> otherwise) {
    std::vector<FlowInput> shown;
    for (const auto& controller : controllersShowingFlows()) {
        auto flow = controller->runningFlow();
        auto input = flow->input();
        shown.push_back({std::move(flow), std::move(input)});
    }
    // Nothing to match: the files are placed at once, so that the next
    // files handed over find the window they took already taken.
    if (shown.empty()) return otherwise();
    lf::DispatchQueue::global()->async(
        [urls, otherwise = std::move(otherwise), shown = std::move(shown)]() mutable {
            std::shared_ptr<QFFlow> match = flowWithURLs(shown, urls);
            lf::MainQueue::shared()->async([otherwise = std::move(otherwise),
                                            match = std::move(match), shown = std::move(shown)] {
                if (const auto hook = matchedHook().get()) (*hook)();
                // The window may have closed, or moved on to another flow,
                // while the files were matched.
                if (match) {
                    for (const auto& controller : controllersShowingFlows()) {
                        if (controller->runningFlow() != match) continue;
                        controller->showWindow();
                        return;
                    }
                }
                otherwise();
            });
        });
}

void QFFlowWindowController::setHandOverMatchedHookForTesting(std::function<void()> hook) {
    matchedHook().set(std::move(hook));
}

bool QFFlowWindowController::canStartFlowWithURLs(const std::vector<std::string>&) const {
    return canStartFlow(nullptr);
}

bool QFFlowWindowController::startFlowWithURLs(const std::vector<std::string>& given) {
    const std::vector<std::string> urls = takeableURLs(given);
    if (urls.empty()) return false;
    const std::vector<std::string> types =
        QFFlowPlugInManager::defaultManager()->acceptedInputTypes();
    if (types.empty()) return false;
    if (QFFlowInput::availabilityOfInputTypes(types, urls, 0) == QFFlowInputAvailabilityNone)
        return false;
    std::vector<FlowInput> recents;
    for (const auto& flow : QFFlowManager::defaultManager()->recentFlows())
        recents.push_back({flow, flow->input()});
    // Taken from now until the flow starts: files handed over meanwhile go
    // to another window instead of replacing these.
    ++pendingHandOvers_;
    lf::DispatchQueue::global()->async(
        [weak = weak_from_this(), urls, types, recents = std::move(recents)]() mutable {
            std::shared_ptr<QFFlow> match = flowWithURLs(recents, urls);
            std::shared_ptr<QFFlowInput> input;
            if (!match) {
                input = std::make_shared<QFFlowInput>(types);
                input->addInputWithURLs(urls);
            }
            // The flows go back to the main thread, where they may be let go.
            lf::MainQueue::shared()->async(
                [weak, urls, match = std::move(match), input, recents = std::move(recents)] {
                    finishHandOver(weak.lock(), urls, match, input);
                });
        });
    return true;
}

std::vector<std::string> QFFlowWindowController::takeableURLs(
    const std::vector<std::string>& given) {
    std::vector<std::string> urls;
    for (const auto& url : given) {
        if (auto refused = QFGivenPathError(url))
            presentRefusal(*refused);
        else
            urls.push_back(url);
    }
    return urls;
}

void QFFlowWindowController::finishHandOver(const std::shared_ptr<QFFlowWindowController>& self,
                                            const std::vector<std::string>& urls,
                                            std::shared_ptr<QFFlow> match,
                                            const std::shared_ptr<QFFlowInput>& input) {
    if (self) --self->pendingHandOvers_;
    // Its files back, a flow kept unlisted is taken back rather than made
    // anew beside it.
    if (!match)
        match = QFFlowManager::defaultManager()->takeBackUnlistedFlowWithURLs(
            std::set<std::string>(urls.begin(), urls.end()));
    const auto flow = match ? match : newFlowWithInput(input);
    if (!flow) {
        if (self && input) self->presentInputProblems(*input);
        return;
    }
    // A new flow shows here; in another window when this one went
    // meanwhile or cannot take it.
    if (!match && self && self->canStartFlow(flow.get()))
        self->startFlow(flow);
    else
        startFlowInWindow(flow);
}

std::shared_ptr<QFFlow> QFFlowWindowController::newFlowWithInput(
    const std::shared_ptr<QFFlowInput>& input) {
    const auto snapshot = input->snapshotWithChangesSinceSnapshot(nullptr);
    if (!snapshot) return nullptr;
    const auto available =
        QFFlowPlugInManager::defaultManager()->availablePlugInsForInput(*snapshot);
    if (available.size() != 1) return nullptr;
    auto flow = available.front()->newFlow();
    if (!flow) return nullptr;
    input->limitToSubsetOfAllowedTypes(available.front()->acceptedInputTypes());
    flow->setInitialInput(input);
    return flow;
}

void QFFlowWindowController::presentInputProblems(const QFFlowInput& input) {
    const auto snapshot = input.snapshotWithChangesSinceSnapshot(nullptr);
    if (!snapshot) return;
    for (const auto& [path, problem] : snapshot->inputProblems())
        presentRefusal(QFExportFlowInputError(path, problem));
}

void QFFlowWindowController::presentRefusal(const lf::Error& error) {
    pendingRefusals_.push_back(error);
    if (pendingRefusals_.size() == 1) presentNextRefusal();
}

void QFFlowWindowController::presentNextRefusal() {
    if (pendingRefusals_.empty()) return;
    // A sheet of the window, which owns it; it goes once closed, and the
    // next refusal follows it.
    QMessageBox* alert = QFAlertWithError(pendingRefusals_.front(), window_).release();
    alert->setAttribute(Qt::WA_DeleteOnClose);
    QFApplication::shared().beginSheet(*alert, window_, [weak = weak_from_this()](int) {
        const auto self = weak.lock();
        if (!self) return;
        self->pendingRefusals_.pop_front();
        self->presentNextRefusal();
    });
}
