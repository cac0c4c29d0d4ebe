#pragma once
// QFFlowRunController: runs one flow for a flow window. It runs the flow
// once for its initial input, again whenever the flow's input changes while
// the window shows it, keeps the output of the latest run, saves that
// output into a folder the user chooses, and asks its host (the window) to
// close it.
//
// The interface subclasses it, gives it a view, and overrides the run
// hooks to show progress, results and errors; headless, the hooks do
// nothing.
//
// Runs of one controller never overlap, since they fill one output: a
// change of the input while a run is under way waits, and however many
// changes come meanwhile, one run follows it; the first run, asked for
// while a run for a change is under way, follows that run (and stands for
// the changes that came meanwhile). Each run's result reaches its
// own hook. A run that read a document while it was written
// (QFFlowRunErrorInputChanged) has no result: its outputs would mix two
// versions, so the window keeps showing those of the run before while the
// flow runs again on a fresh snapshot, and the result of that run reaches
// the hook instead. A save asked for while a run is under way waits for
// that run (and for the one made again in its place, and for the first run
// when that waits for it) and is made only if the last of them succeeds,
// so a save never writes an output that a run is filling. A save whose
// write fails keeps the controller open and reports the write error
// through its hook.
//
// Main thread only.

#include "flows/QFFlowUI.h"
#include "platform/core/Error.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFFlow;
class QFFlowInputSnapshot;
class QFFlowOutput;
class QFFlowOutputItem;
class QFFlowRunController;

enum QFFlowCloseReason : int32_t {
    QFFlowCloseReasonSaved = 1,
    // Cancelled, or replaced by a run for other input.
    QFFlowCloseReasonCancelled = 2,
};

// The window that shows a run controller.
class QFFlowRunControllerHost {
public:
    virtual ~QFFlowRunControllerHost() = default;
    // The controller's output is in the folder chosen, and the flow has
    // noted the save: sent before the files' commit ends, which the end of
    // the application waits for, so that what the window notes of the save
    // here is kept however the application ends. Nothing by default.
    virtual void didSaveFlowOutput(QFFlowRunController&) {}
    // Removes the controller from the window.
    virtual void closeFlowController(QFFlowRunController& controller, QFFlowCloseReason reason) = 0;
};

class QFFlowRunController : public QFFlowUI,
                            public std::enable_shared_from_this<QFFlowRunController> {
public:
    explicit QFFlowRunController(std::shared_ptr<QFFlow> flow);
    ~QFFlowRunController() override;
    QFFlowRunController(const QFFlowRunController&) = delete;
    QFFlowRunController& operator=(const QFFlowRunController&) = delete;

    const std::shared_ptr<QFFlow>& flow() const { return flow_; }
    // The latest run's files.
    std::vector<std::shared_ptr<QFFlowOutputItem>> outputItems() const;
    // Whether a run is under way (its result not yet delivered).
    bool isRunning() const { return isRunning_; }

    // The window showing the controller; none while not shown.
    void setHost(std::weak_ptr<QFFlowRunControllerHost> host) { host_ = std::move(host); }
    // Sent by the window before it shows the controller and when it
    // removes it.
    void willAppearInUI();
    void willDisappearFromUI();

    // The first run: a fresh snapshot, then a run over every document.
    void runFlowForInitialInput();
    // A run over the changed documents.
    void flowInputDidChange(const std::shared_ptr<QFFlow>& flow) override;
    // Adds files to the flow's input; a change then comes back through
    // flowInputDidChange. Always true.
    bool addInputWithURLs(const std::vector<std::string>& urls);

    // Hooks, empty here.
    virtual void willRunFlowForInitialInput() {}
    virtual void didRunFlowForInitialInputWithResult(bool, const std::optional<lf::Error>&) {}
    virtual void willRunFlowForChangedInput() {}
    virtual void didRunFlowForChangedInputWithResult(bool, const std::optional<lf::Error>&) {}
    // The output could not be written into the chosen folder; the
    // controller stays.
    virtual void didFailToSaveOutputWithError(const lf::Error&) {}

    // Asks for a folder (QFFlowInterfaceHooks::chooseOutputDirectory), makes
    // it the flow's output folder, writes the output into it and closes as
    // saved. Cancelling changes nothing.
    void tryToFinishBySavingOutput();
    virtual void saveFlowOutput() { tryToFinishBySavingOutput(); }
    // Asks the host to close the controller; nothing without a host.
    void closeWithReason(QFFlowCloseReason reason);

private:
    using RunCompletion = std::function<void(bool success, const std::optional<lf::Error>& error)>;
    bool runFlowForCurrentInput(RunCompletion completion);
    void runFlowForChangedInput();
    void runAgainForChangedInput(RunCompletion completion);
    void runDidNotStart();
    // Starts what waited for the run that ended: the first run, else the
    // save (made only if `succeeded`), then the run for the changes.
    void runDidEnd(bool succeeded);
    void saveOutputToDirectory(const std::string& directory);

    const std::shared_ptr<QFFlow> flow_;
    const std::shared_ptr<QFFlowOutput> output_;
    std::shared_ptr<const QFFlowInputSnapshot> lastRunInputSnapshot_;
    std::weak_ptr<QFFlowRunControllerHost> host_;
    bool isInUI_ = false;
    bool isRunning_ = false;
    bool hasPendingRerun_ = false;
    bool hasPendingInitialRun_ = false;
    std::optional<std::string> pendingSaveDirectory_;
};
