// A flow's input and the watch of its documents, its behaviour when they
// change, its runs in a window and in the background, and its name and
// status line. Its archive (QFFlowArchive.cpp) and its output folder
// (QFFlowOutputFolder.cpp) stand in files of their own.

#include "flows/QFFlow.h"

#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowKeys.h"
#include "flows/QFFlowManager.h"
#include "flows/QFFlowStatusPhrase.h"
#include "flows/QFPendingOutputRecords.h"
#include "flows/runs/QFFlowOutput.h"
#include "flows/runs/QFFlowRun.h"
#include "kit/OMLocalizer.h"
#include "platform/core/Assert.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainQueue.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <utility>

QFFlow::QFFlow() {
    setKeysAffectingValueForKey("localizedStatusDescription",
                                {QFFlowStatusKey, QFFlowLastRunDateKey, QFFlowLastRunErrorKey});
}

QFFlow::~QFFlow() = default;

// Input.

void QFFlow::setInitialInput(std::shared_ptr<QFFlowInput> input) {
    LF_PRECONDITION(input_ == nullptr, "_input == nil (Flows/QFFlow)");
    input_ = std::move(input);
    if (!input_) return;
    input_->setDetectedChangesHandler([weak = weak_from_this()] {
        if (auto flow = weak.lock()) flow->inputDidChange();
    });
}

std::set<std::string> QFFlow::inputURLs() const {
    return input_ ? input_->inputURLs() : std::set<std::string>{};
}

void QFFlow::addInputWithURLs(const std::vector<std::string>& urls) {
    if (input_) input_->addInputWithURLs(urls);
}

std::shared_ptr<const QFFlowInputSnapshot> QFFlow::inputSnapshotWithChangesSinceSnapshot(
    const QFFlowInputProtocol* since) const {
    return input_ ? input_->snapshotWithChangesSinceSnapshot(since) : nullptr;
}

void QFFlow::detectInputWithCompletionHandler(std::function<void()> completion) {
    lf::DispatchQueue::global(lf::QueuePriority::High)
        ->async([self = shared_from_this(), completion = std::move(completion)]() mutable {
            if (self->input_) self->input_->detectInput();
            lf::MainQueue::shared()->async([self, completion = std::move(completion)] {
                self->hasDetectedInput_ = true;
                self->updateChangeDetectionSettings();
                if (completion) completion();
            });
        });
}

void QFFlow::updateChangeDetectionSettings() {
    const bool automatic = hasActivatedAutomaticBehavior_ && behavior_ != QFFlowBehaviorNone;
    const bool wanted = hasDetectedInput_ && (isRunningWithUI_ || automatic);
    if (input_) input_->setDetectsChanges(wanted);
}

void QFFlow::activateAutomaticBehaviorIfNeeded() {
    if (hasActivatedAutomaticBehavior_) return;
    hasActivatedAutomaticBehavior_ = true;
    detectInputWithCompletionHandler([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->takeUpChangesNotExported();
    });
}

void QFFlow::takeUpChangesNotExported() {
    if (isRunningWithUI_ || !isBehindItsDocuments()) return;
    switch (behavior_) {
        case QFFlowBehaviorNotifyWhenChanged:
            changeValueForKey(QFFlowHasChangesToRunKey, [&] { hasChangesToRun_ = true; });
            break;
        case QFFlowBehaviorRepeatAutomatically:
            if (isRunningWithoutUI_)
                hasInputChangedDuringBackgroundRun_ = true;
            else
                startBackgroundRunIfNeeded();
            break;
        case QFFlowBehaviorNone:
            break;
    }
}

void QFFlow::takeUpChangesNotExportedOnceWatched() {
    // Before its first snapshot, activation takes them up.
    if (hasActivatedAutomaticBehavior_ && hasDetectedInput_) takeUpChangesNotExported();
}

void QFFlow::inputDidChange() {
    if (isRunningWithUI_) {
        if (auto ui = runningUI_.lock()) ui->flowInputDidChange(shared_from_this());
        return;
    }
    if (!hasActivatedAutomaticBehavior_) return;
    // A behaviour changed, or the flow removed, in the stored recents acts
    // before this change does.
    if (behavior_ != QFFlowBehaviorNone) QFFlowManager::defaultManager()->followStoredList();
    if (behavior_ != QFFlowBehaviorNone) setHasUnexportedChanges(true);
    switch (behavior_) {
        case QFFlowBehaviorNotifyWhenChanged:
            changeValueForKey(QFFlowHasChangesToRunKey, [&] { hasChangesToRun_ = true; });
            QFFlowManager::defaultManager()->noteNewRecentFlow(shared_from_this());
            break;
        case QFFlowBehaviorRepeatAutomatically:
            // A run under way may have read the documents before this
            // change: it is run again once it ends, however many changes
            // come meanwhile.
            if (isRunningWithoutUI_)
                hasInputChangedDuringBackgroundRun_ = true;
            else
                startBackgroundRunIfNeeded();
            break;
        case QFFlowBehaviorNone:
            break;
    }
}

// Running.

std::shared_ptr<QFFlowRun> QFFlow::newRunWithInput(std::shared_ptr<const QFFlowInputProtocol>,
                                                   std::shared_ptr<QFFlowOutput>) {
    return nullptr;
}

void QFFlow::run() {
    QFFlowManager::defaultManager()->noteNewRecentFlow(shared_from_this());
    if (!isRunningWithUI_ && hasOutputDirectory())
        startBackgroundRunIfNeeded();
    else
        runWithUI();
}

void QFFlow::runWithUI() {
    QFFlowManager::defaultManager()->noteNewRecentFlow(shared_from_this());
    QFFlowInterfaceHooks::current().startFlow(shared_from_this());
}

void QFFlow::willStartRunningInUI(const std::shared_ptr<QFFlowUI>& controller) {
    changeValueForKey(QFFlowStatusKey, [&] {
        isRunningWithUI_ = true;
        runningUI_ = controller;
        updateChangeDetectionSettings();
    });
}

void QFFlow::willStopRunningInUI(const std::shared_ptr<QFFlowUI>&) {
    changeValueForKey(QFFlowStatusKey, [&] {
        runningUI_.reset();
        isRunningWithUI_ = false;
    });
    updateChangeDetectionSettings();
    // A window closed without saving leaves the folder behind the saves it
    // showed: a flow that repeats exports them, one that notifies marks them.
    // Taken up after what a save of the window noted on the main queue.
    lf::MainQueue::shared()->async([weak = weak_from_this()] {
        if (auto self = weak.lock(); self && !self->isRunningWithUI_)
            self->takeUpChangesNotExportedOnceWatched();
    });
}

void QFFlow::startBackgroundRunIfNeeded() {
    lf::assertMainThread("QFFlow::startBackgroundRunIfNeeded");
    if (isRunningWithoutUI_) return;
    if (hasChangesToRun_)
        changeValueForKey(QFFlowHasChangesToRunKey, [&] { hasChangesToRun_ = false; });
    changeValueForKey(QFFlowStatusKey, [&] { isRunningWithoutUI_ = true; });
    backgroundRunBehavior_ = behavior_;
    // The run writes where the flow saved when it started, whatever the
    // folder becomes meanwhile.
    const std::optional<std::string> directory = outputDirectoryURL_;
    detectInputWithCompletionHandler([self = shared_from_this(), directory] {
        auto snapshot = self->inputSnapshotWithChangesSinceSnapshot(nullptr);
        auto output = std::make_shared<QFFlowOutput>();
        output->removeAllItems();
        auto run = snapshot ? self->newRunWithInput(snapshot, output) : nullptr;
        if (!run) {
            lf::log("*** {} made no run", self->archivedClassName());
            self->backgroundRunDidEnd(std::nullopt, nullptr);
            return;
        }
        run->startWithCompletionHandler(
            [self, output, directory, snapshot](bool success, std::optional<lf::Error> error) {
                // On the thread that finished the run. Written, its record goes
                // before the files' commit ends. A failed run leaves the folder
                // and the record of the last written output alone, as does one
                // that read a document while it changed; its end is noted after
                // the records before it all the same.
                QFPendingOutputRecords& records = QFPendingOutputRecords::shared();
                if (success) {
                    lf::Status written =
                        directory ? self->writeOutputToDirectory(
                                        *output, *directory,
                                        [&](const WrittenOutput& record) {
                                            records.add([self, record, snapshot] {
                                                self->noteWrittenOutput(record);
                                                self->backgroundRunDidEnd(std::nullopt, snapshot);
                                            });
                                        })
                                  : lf::Error::posix(ENOENT, "write the output: no output folder");
                    if (written) return;
                    error = written.error();
                }
                records.add([self, error = std::move(error), snapshot] {
                    self->backgroundRunDidEnd(error, snapshot);
                });
            });
    });
}

void QFFlow::backgroundRunDidEnd(std::optional<lf::Error> error,
                                 const std::shared_ptr<const QFFlowInputSnapshot>& exported) {
    bool changedDuringRun = std::exchange(hasInputChangedDuringBackgroundRun_, false);
    if (QFFlowRunErrorIsInputChanged(error)) {
        // The run read a document while it was written and wrote nothing:
        // it is made again on a fresh snapshot, which holds every change
        // that came meanwhile, unless the behaviour that asked for it was
        // switched off meanwhile (or the flow was removed, which does so).
        changeValueForKey(QFFlowStatusKey, [&] { isRunningWithoutUI_ = false; });
        const bool stillWanted =
            behavior_ != QFFlowBehaviorNone || backgroundRunBehavior_ == QFFlowBehaviorNone;
        if (stillWanted && !isRunningWithUI_) startBackgroundRunIfNeeded();
        return;
    }
    if (error || lastRunError_) {
        changeValueForKey(QFFlowLastRunErrorKey, [&] { lastRunError_ = std::move(error); });
        invalidateEncodedState();
    }
    // Exported: every change up to the run's snapshot is in the folder,
    // those reported during the run included when the documents are still
    // as the run read them.
    if (!lastRunError_ && exported && noteExportedInput(*exported)) changedDuringRun = false;
    if (!lastRunError_ && !changedDuringRun) setHasUnexportedChanges(false);
    changeValueForKey(QFFlowStatusKey, [&] { isRunningWithoutUI_ = false; });
    // Handled now as if it came after the run, by the behaviour the flow
    // has now.
    if (changedDuringRun) inputDidChange();
}

QFFlowStatus QFFlow::status() const {
    if (isRunningWithoutUI_) return QFFlowStatusRunningWithoutUI;
    return isRunningWithUI_ ? QFFlowStatusRunningWithUI : QFFlowStatusIdle;
}

// Naming and status line.

void QFFlow::setBehavior(QFFlowBehavior behavior) {
    if (behavior == behavior_) return;
    changeValueForKey("behavior", [&] { behavior_ = behavior; });
    updateChangeDetectionSettings();
    invalidateEncodedState();
    // Switched on: what changed while it was off, or was left to run, is
    // taken up.
    takeUpChangesNotExportedOnceWatched();
}

void QFFlow::setName(std::optional<std::string> name) {
    changeValueForKey("displayName", [&] {
        changeValueForKey("name", [&] { name_ = std::move(name); });
        invalidateEncodedState();
    });
}

std::string QFFlow::displayName() const {
    return name_ ? *name_ : defaultDisplayName();
}

const std::string& QFFlow::defaultDisplayName() const {
    if (!defaultDisplayName_) {
        std::string joined;
        for (const auto& url : inputURLs()) {
            if (!joined.empty()) joined += ", ";
            joined += std::filesystem::path(url).stem().string();
        }
        defaultDisplayName_ = joined.empty() ? "-" : joined;
    }
    return *defaultDisplayName_;
}

std::string QFFlow::localizedStatusDescription() const {
    return localizedStatusDescription(std::chrono::system_clock::now(), {}, {});
}

std::string QFFlow::localizedStatusDescription(lf::SystemTime now, const std::string& locale,
                                               const std::string& timeZone) const {
    if (isRunningWithoutUI_)
        return OMLocalizedString("recents-repeat.flow.status.running-in-background");
    if (isRunningWithUI_) return OMLocalizedString("recents-repeat.flow.status.running-in-window");
    // The outputs on disk are those of an earlier run: the line says so
    // until a run succeeds.
    if (lastRunError_)
        return OMLocalizedString("recents-repeat.flow.status.failed",
                                 {{"error", lastRunError_->localizedDescription()}}, {"error"});
    if (!lastRunDate_) return "\u2014";
    return QFFlowTimePhrase(*lastRunDate_, now, locale, timeZone) +
           QFFlowSavedItemsSuffix(lastRunNumberOfItemsSaved_, locale);
}
