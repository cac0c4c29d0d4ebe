#pragma once
// QFFlowWindowController: decides what a flow window shows. An idle window
// shows the start view (QFFlowStartController) and takes dropped files; a
// flow started in it pushes the flow's run controller, which shows the
// run, and closing the run controller pops back to the start view.
//
// It finds or makes the window for a flow that is to be shown (one that
// already runs the flow, else the first idle one, else a new one), finds
// the window that shows a flow of given files already, starts
// flows from files (a recent flow with exactly the same set of files is
// reused, matched off the main thread, else one the recents kept unlisted
// while those files could not be found; otherwise a new flow of the one
// plug-in that takes the files; the window counts as taken from the
// moment the files are handed over; a path that cannot be opened, or a
// link to no document, is left out, and files that hold no documents (an
// empty folder) start nothing: each says why on a sheet of the window,
// one after another), carries the title-bar button of the recents, which
// turns while any flow runs without a window, and asks after the first
// save of a new flow whether it is to repeat automatically. While it asks,
// the window takes no other flow: one handed to the application meanwhile
// opens a window of its own.
//
// A window controller belongs to its document (QFFlowDocument) and owns
// its window; closing the window closes the document.
//
// Threads: main thread only, apart from the matching of files with the
// flows shown and the recent ones.

#include "flows/QFFlowRunController.h"
#include "platform/core/Observation.h"
#include "ui/window/QFActionResponder.h"
#include "ui/window/QFWindowDraggingDestination.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QFApplicationMenuButton;
class QFFlow;
class QFFlowDocument;
class QFFlowInput;
class QFFlowStartController;
class QFFlowTitleView;
class QFWindow;
class QFWindowButton;
class QFWindowLabel;

class QFFlowWindowController : public QObject,
                               public QFWindowDraggingDestination,
                               public QFFlowRunControllerHost,
                               public QFActionResponder,
                               public std::enable_shared_from_this<QFFlowWindowController> {
    Q_OBJECT

public:
    using Test = std::function<bool(QFFlowWindowController&)>;
    using Action = std::function<void(QFFlowWindowController&)>;

    // The size of the recents button's picture.
    static constexpr double kRecentRepeatGlyphSize = 24;

    static std::shared_ptr<QFFlowWindowController> create();
    ~QFFlowWindowController() override;

    QFWindow* window() const { return window_; }
    const std::weak_ptr<QFFlowDocument>& document() const { return document_; }
    // Set by the document.
    void setDocument(std::weak_ptr<QFFlowDocument> document) { document_ = std::move(document); }
    // Shows the window, restored if minimized, and brings it forward, or
    // where the window manager does not, has it ask for attention; the
    // recents popover closes.
    void showWindow();
    // Hides the window for good; it goes with the controller.
    void closeWindow();

    // Shows `flow` in a window: the one that runs it, else an idle one,
    // else a new one. What QFFlow::runWithUI reaches.
    static void startFlowInWindow(const std::shared_ptr<QFFlow>& flow);
    // Brings forward the window that shows a flow of exactly the files
    // `urls` (the frontmost one), or else calls `otherwise`: at once when
    // no window shows a flow, else on the main queue once the files were
    // matched off the main thread.
    static void showWindowOfFlowWithURLs(const std::vector<std::string>& urls,
                                         std::function<void()> otherwise);
    // For tests: called on the main thread as files handed over come back
    // matched with the flows shown, before the windows that show them are
    // looked at (a window may close just then); null clears it.
    static void setHandOverMatchedHookForTesting(std::function<void()> hook);
    // Brings forward the window whose controller passes `test` (the
    // frontmost document's wins), else calls `action` with the first idle
    // controller, else with the controller of a new untitled document, and
    // shows that window.
    static void findRunningWindowControllerWithTest(const Test& test, const Action& action);

    // Whether the window is idle: it shows the start view, asks nothing
    // about the flow it showed last (a flow started under the question
    // would look as if it were asked about), and waits for no flow of files
    // handed to it (another would replace that flow).
    bool canStartAnything() const;
    // The flow of the run controller shown, or null.
    std::shared_ptr<QFFlow> runningFlow() const;
    // Idle, or already showing `flow`.
    bool canStartFlow(const QFFlow* flow) const;
    // Shows `flow` (with a run controller from the plug-ins, unless it
    // shows already) and brings the window forward; false when the window
    // cannot take it.
    bool startFlow(const std::shared_ptr<QFFlow>& flow);
    // Pushes the controller and starts its first run one turn later.
    void startRunningFlowWithController(const std::shared_ptr<QFFlowRunController>& controller);
    // Lists the saved flow first in the recents, while the files' commit
    // still holds the end of the application.
    void didSaveFlowOutput(QFFlowRunController& controller) override;
    void closeFlowController(QFFlowRunController& controller, QFFlowCloseReason reason) override;

    // Virtual for controllers of tests.
    virtual bool canStartFlowWithURLs(const std::vector<std::string>& urls) const;
    // True when the files were taken; the flow starts later, and the window
    // takes nothing else until then. A path among them that cannot be
    // opened, or a link to no document, is not taken: its error shows on a
    // sheet. When the files taken hold no documents, no flow starts and
    // each says why on a sheet.
    virtual bool startFlowWithURLs(const std::vector<std::string>& urls);

    void toggleRecentRepeat();
    void showRecentRepeat();
    void closeRecentRepeat();

    bool respondsToAction(std::string_view action) const override;
    void performAction(std::string_view action) override;
    bool validateMenuItem(QAction& item) override;
    // The links a menu action of this window travels.
    QFResponderChain responderChain() const;

    QStringList acceptedDraggedTypes() const override;
    std::optional<Qt::DropAction> draggingEntered(const QFDraggingInfo& info) override;
    std::optional<bool> performDragOperation(const QFDraggingInfo& info) override;

    void noteWindowWillClose();
    // Moves the controller to `document`, closing the one it leaves when
    // that has no window left.
    void replaceSessionDocument(const std::shared_ptr<QFFlowDocument>& document);

    QFWindowButton* recentRepeatWindowButton() const { return recentRepeatWindowButton_; }
    QFFlowTitleView* startTitleView() const { return startTitleView_; }
    const std::shared_ptr<QFFlowStartController>& startViewController() const {
        return startViewController_;
    }
    QFApplicationMenuButton* menuButton() const { return menuButton_; }
    // The question after a first save while it shows, else null.
    QMessageBox* repeatAutomaticallyAlert() const { return repeatAutomaticallyAlert_; }

protected:
    QFFlowWindowController();
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void askWhetherToRepeatAutomatically(const std::shared_ptr<QFFlow>& flow);

    // The hand-over of files (QFFlowWindowHandOver.cpp).
    // `given` without the paths refused, each presented.
    std::vector<std::string> takeableURLs(const std::vector<std::string>& given);
    // On the main queue once the files `urls` were matched with the recent
    // flows: shows `match`, else the flow of those files the recents kept
    // unlisted, else a new flow of `input`, in `self` (gone when null) or
    // another window.
    static void finishHandOver(const std::shared_ptr<QFFlowWindowController>& self,
                               const std::vector<std::string>& urls, std::shared_ptr<QFFlow> match,
                               const std::shared_ptr<QFFlowInput>& input);
    // A new flow of the one plug-in that takes the input, or null.
    static std::shared_ptr<QFFlow> newFlowWithInput(const std::shared_ptr<QFFlowInput>& input);
    // Why each path given to `input` yields no documents.
    void presentInputProblems(const QFFlowInput& input);
    // Shows `error` on a sheet of the window once the refusals before it
    // were closed.
    void presentRefusal(const lf::Error& error);
    void presentNextRefusal();

    QFWindow* window_;
    std::weak_ptr<QFFlowDocument> document_;
    QFWindowButton* recentRepeatWindowButton_;
    QFFlowTitleView* startTitleView_;
    std::shared_ptr<QFFlowStartController> startViewController_;
    QFApplicationMenuButton* menuButton_;
    QPointer<QMessageBox> repeatAutomaticallyAlert_;
    // From the pop of a flow saved for the first time until the question
    // after it is answered.
    bool isAskingWhetherToRepeat_ = false;
    // A flow its save listed for the first time, until its controller
    // closes: the question after it follows.
    std::shared_ptr<QFFlow> firstSavedFlow_;
    // Files handed to the window whose flow is yet to start.
    int pendingHandOvers_ = 0;
    // The refusal on a sheet first, then those that wait for it.
    std::deque<lf::Error> pendingRefusals_;
    lf::Observation runningFlowsObservation_;
};
