#include "flows/QFFlowRunController.h"

#include "flows/QFFlow.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/runs/QFFlowOutput.h"
#include "flows/runs/QFFlowRun.h"
#include "platform/dispatch/MainQueue.h"

#include <utility>

QFFlowRunController::QFFlowRunController(std::shared_ptr<QFFlow> flow)
    : flow_(std::move(flow)), output_(std::make_shared<QFFlowOutput>()) {}

QFFlowRunController::~QFFlowRunController() = default;

std::vector<std::shared_ptr<QFFlowOutputItem>> QFFlowRunController::outputItems() const {
    return output_->items();
}

void QFFlowRunController::willAppearInUI() {
    isInUI_ = true;
    flow_->willStartRunningInUI(shared_from_this());
}

void QFFlowRunController::willDisappearFromUI() {
    isInUI_ = false;
    flow_->willStopRunningInUI(shared_from_this());
}

bool QFFlowRunController::addInputWithURLs(const std::vector<std::string>& urls) {
    flow_->addInputWithURLs(urls);
    return true;
}

void QFFlowRunController::runFlowForInitialInput() {
    lf::assertMainThread("QFFlowRunController::runFlowForInitialInput");
    // A change the window saw before this first run began may have started
    // a run already: this one follows it rather than fill its output too.
    if (isRunning_) {
        hasPendingInitialRun_ = true;
        return;
    }
    isRunning_ = true;  // changes reported meanwhile wait for this run
    flow_->detectInputWithCompletionHandler([self = shared_from_this()] {
        const bool started = self->runFlowForCurrentInput(
            [self](bool success, const std::optional<lf::Error>& error) {
                self->didRunFlowForInitialInputWithResult(success, error);
            });
        if (!started) self->runDidNotStart();
    });
}

void QFFlowRunController::flowInputDidChange(const std::shared_ptr<QFFlow>&) {
    lf::assertMainThread("QFFlowRunController::flowInputDidChange");
    if (isRunning_) {
        hasPendingRerun_ = true;
        return;
    }
    runFlowForChangedInput();
}

void QFFlowRunController::runFlowForChangedInput() {
    willRunFlowForChangedInput();
    runFlowForCurrentInput(
        [self = shared_from_this()](bool success, const std::optional<lf::Error>& error) {
            self->didRunFlowForChangedInputWithResult(success, error);
        });
}

bool QFFlowRunController::runFlowForCurrentInput(RunCompletion completion) {
    lf::assertMainThread("QFFlowRunController::runFlowForCurrentInput");
    auto snapshot = flow_->inputSnapshotWithChangesSinceSnapshot(lastRunInputSnapshot_.get());
    auto run = snapshot ? flow_->newRunWithInput(snapshot, output_) : nullptr;
    if (!run) return false;
    auto previous = std::exchange(lastRunInputSnapshot_, std::move(snapshot));
    isRunning_ = true;
    run->startWithCompletionHandler(
        [self = shared_from_this(), completion = std::move(completion),
         previous = std::move(previous)](bool success, std::optional<lf::Error> error) {
            lf::MainQueue::shared()->async(
                [self, completion, previous, success, error = std::move(error)] {
                    self->isRunning_ = false;
                    if (QFFlowRunErrorIsInputChanged(error)) {
                        // Its changes count from the run before, whose output the
                        // window still shows.
                        self->lastRunInputSnapshot_ = previous;
                        if (self->isInUI_) {
                            self->runAgainForChangedInput(completion);
                            return;
                        }
                        // Out of the window, nothing shows a run made again.
                        self->runDidEnd(false);
                        return;
                    }
                    completion(success, error);
                    self->runDidEnd(success);
                });
        });
    return true;
}

void QFFlowRunController::runAgainForChangedInput(RunCompletion completion) {
    // The fresh snapshot holds the changes that came meanwhile.
    hasPendingRerun_ = false;
    isRunning_ = true;
    flow_->detectInputWithCompletionHandler(
        [self = shared_from_this(), completion = std::move(completion)] {
            if (!self->runFlowForCurrentInput(completion)) self->runDidNotStart();
        });
}

void QFFlowRunController::runDidNotStart() {
    isRunning_ = false;
    // Nothing ran: what waited for the run follows, but a save that waited
    // for it is dropped, as after a failed run.
    runDidEnd(false);
}

void QFFlowRunController::runDidEnd(bool succeeded) {
    // The first run, asked for while this one ran, comes next, and a save
    // waits for it too: the window asked for it first. Its fresh snapshot
    // holds the changes that came meanwhile.
    if (std::exchange(hasPendingInitialRun_, false)) {
        hasPendingRerun_ = false;
        runFlowForInitialInput();
        return;
    }
    if (pendingSaveDirectory_) {
        auto directory = std::exchange(pendingSaveDirectory_, std::nullopt);
        // The output the user chose to save was replaced by this run's; a
        // failed run left nothing worth saving.
        if (succeeded) saveOutputToDirectory(*directory);
    }
    if (isRunning_ || !hasPendingRerun_) return;
    hasPendingRerun_ = false;
    if (isInUI_) runFlowForChangedInput();
}

void QFFlowRunController::tryToFinishBySavingOutput() {
    QFFlowInterfaceHooks::current().chooseOutputDirectory(
        *this, flow_->outputDirectoryURL(),
        [self = shared_from_this()](std::optional<std::string> directory) {
            if (!directory) return;  // cancelled
            if (self->isRunning_)
                self->pendingSaveDirectory_ = std::move(directory);
            else
                self->saveOutputToDirectory(*directory);
        });
}

void QFFlowRunController::saveOutputToDirectory(const std::string& directory) {
    flow_->setOutputDirectoryURL(directory);
    // The host notes the save while the files' commit still holds the end
    // of the application.
    lf::Status written =
        flow_->writeOutput(*output_, lastRunInputSnapshot_, [this, self = shared_from_this()] {
            if (auto host = host_.lock()) host->didSaveFlowOutput(*this);
        });
    if (!written) {
        didFailToSaveOutputWithError(written.error());
        return;
    }
    closeWithReason(QFFlowCloseReasonSaved);
}

void QFFlowRunController::closeWithReason(QFFlowCloseReason reason) {
    if (auto host = host_.lock()) host->closeFlowController(*this, reason);
}
