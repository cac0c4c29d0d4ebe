#include "flows/QFFlow.h"

#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "flows/QFFlowStatusPhrase.h"
#include "flows/QFPendingOutputRecords.h"
#include "flows/runs/QFFlowOutput.h"
#include "flows/runs/QFFlowRun.h"
#include "flows/shared/QFKeyedArchive.h"
#include "kit/OMLocalizer.h"
#include "platform/core/Assert.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/Bookmark.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <utility>

namespace {

// Keys of the observable state.
constexpr const char* kStatusKey = "status";
constexpr const char* kHasChangesToRunKey = "hasChangesToRun";
constexpr const char* kLastRunDateKey = "lastRunDate";
constexpr const char* kLastRunErrorKey = "lastRunError";
constexpr const char* kEncodedStateChangeTokenKey = "_encodedStateChangeToken";
// Archive keys of what a relaunch takes up.
constexpr const char* kLastRunErrorArchiveKey = "lastRunError";
constexpr const char* kHasUnexportedChangesArchiveKey = "hasUnexportedChanges";
constexpr const char* kExportedInputTokensArchiveKey = "exportedInputTokens";
// The output folder is archived as a bookmark, or as a path when no bookmark
// could be made.
constexpr const char* kOutputBookmarkArchiveKey = "outputDirectoryBookmarkData";
constexpr const char* kOutputURLArchiveKey = "outputDirectoryURL";

using TokensByURL = QFFlowInputSnapshot::TokensByURL;

nlohmann::json archivedTokens(const TokensByURL& tokens) {
    nlohmann::json archive = nlohmann::json::object();
    for (const auto& [url, token] : tokens)
        archive[url] = token.encode();
    return archive;
}

// The documents the output folder holds. Present but unreadable, they are
// taken as none: the flow then runs once rather than vouch for a folder it
// cannot check. Absent (archived before they were kept), they are unknown.
std::optional<TokensByURL> decodedExportedInputTokens(QFKeyedDecoder& decoder) {
    if (!decoder.containsValueForKey(kExportedInputTokensArchiveKey)) return std::nullopt;
    const nlohmann::json* archive = decoder.decodeObject(kExportedInputTokensArchiveKey);
    if (!archive) return TokensByURL{};
    TokensByURL tokens;
    for (const auto& [url, archivedToken] : archive->items()) {
        auto token = QFModificationToken::decode(archivedToken);
        if (!token) {
            decoder.noteUnreadableValueForKey(kExportedInputTokensArchiveKey);
            return TokensByURL{};
        }
        tokens.emplace(url, std::move(*token));
    }
    return tokens;
}

// What `archive` holds under `key`; null when nothing.
nlohmann::json archivedValue(const nlohmann::json& archive, const char* key) {
    if (!archive.is_object()) return nullptr;
    auto value = archive.find(key);
    return value != archive.end() ? *value : nlohmann::json();
}

timespec timespecOf(lf::SystemTime time) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    return {static_cast<time_t>(seconds.time_since_epoch().count()),
            static_cast<long>(duration_cast<nanoseconds>(time - seconds).count())};
}

}  // namespace

QFFlow::QFFlow() {
    setKeysAffectingValueForKey("localizedStatusDescription",
                                {kStatusKey, kLastRunDateKey, kLastRunErrorKey});
}

QFFlow::~QFFlow() = default;

// Archive.

nlohmann::json QFFlow::encode() const {
    nlohmann::json archive = encodeOwnState();
    keptValues_.restoreInto(archive);
    return archive;
}

nlohmann::json QFFlow::encodeOwnState() const {
    nlohmann::json archive = {{QFArchivedClassKey, archivedClassName()}};
    if (input_) archive["input"] = input_->encode();
    if (behavior_ != QFFlowBehaviorNone) archive["behavior"] = behavior_;
    if (name_) archive["name"] = *name_;
    if (outputDirectoryURL_) {
        if (outputDirectoryBookmarkData_)
            archive[kOutputBookmarkArchiveKey] = QFArchivedData(*outputDirectoryBookmarkData_);
        else
            archive[kOutputURLArchiveKey] = *outputDirectoryURL_;
    }
    if (lastRunDate_) archive["lastRunDate"] = QFArchivedDate(*lastRunDate_);
    archive["lastRunNumberOfItemsSaved"] = lastRunNumberOfItemsSaved_;
    if (lastRunError_) archive[kLastRunErrorArchiveKey] = QFArchivedError(*lastRunError_);
    if (hasUnexportedChanges_) archive[kHasUnexportedChangesArchiveKey] = true;
    if (exportedInputTokens_)
        archive[kExportedInputTokensArchiveKey] = archivedTokens(*exportedInputTokens_);
    return archive;
}

bool QFFlow::decodeArchive(const nlohmann::json& archive) {
    QFKeyedDecoder decoder(archive, archivedClassName());
    if (!decoder.isArchiveOfClass()) {
        lf::log("Couldn't decode a flow: {}", decoder.damage());
        return false;
    }
    const nlohmann::json* inputArchive = decoder.decodeObject("input");
    std::shared_ptr<QFFlowInput> input =
        inputArchive ? QFFlowInput::decode(*inputArchive) : nullptr;
    if (inputArchive && !input) return false;  // logged by the input

    name_ = decoder.decodeString("name");
    decodeLastRun(decoder);
    setInitialInput(std::move(input));
    const bool hasReadOutputDirectory = decodeOutputDirectory(decoder);
    decodeBehavior(decoder);
    for (const auto& key : decoder.unreadableKeys())
        lf::log(
            "Couldn't decode the \"{}\" of a flow: the value is of the wrong kind; it is "
            "taken as unset and kept as stored",
            key);
    std::vector<std::string> unreadable = decoder.unreadableKeys();
    if (!hasReadOutputDirectory) unreadable.push_back(kOutputBookmarkArchiveKey);
    keepUnreadableValues(archive, unreadable);
    return true;
}

void QFFlow::takeValuesEditedInArchive(const QFFlow& edited, const nlohmann::json& before,
                                       const nlohmann::json& after) {
    std::vector<std::string> changed;
    for (const char* key : {"name", "behavior", kOutputBookmarkArchiveKey, kOutputURLArchiveKey,
                            "lastRunDate", "lastRunNumberOfItemsSaved", kLastRunErrorArchiveKey,
                            kHasUnexportedChangesArchiveKey, kExportedInputTokensArchiveKey})
        if (archivedValue(before, key) != archivedValue(after, key)) changed.push_back(key);
    if (changed.empty()) return;
    const auto isChanged = [&](std::initializer_list<const char*> keys) {
        return std::any_of(keys.begin(), keys.end(), [&](const char* key) {
            return std::find(changed.begin(), changed.end(), key) != changed.end();
        });
    };
    // Every value first, then the kept ones, which hold while the flow's
    // own values under their keys are those `edited` read.
    if (isChanged({"name"}))
        changeValueForKey("displayName",
                          [&] { changeValueForKey("name", [&] { name_ = edited.name_; }); });
    if (isChanged({kOutputBookmarkArchiveKey, kOutputURLArchiveKey})) {
        outputDirectoryURL_ = edited.outputDirectoryURL_;
        outputDirectoryBookmarkData_ = edited.outputDirectoryBookmarkData_;
    }
    if (isChanged({"lastRunDate", "lastRunNumberOfItemsSaved"}))
        changeValueForKey(kLastRunDateKey, [&] {
            lastRunDate_ = edited.lastRunDate_;
            lastRunNumberOfItemsSaved_ = edited.lastRunNumberOfItemsSaved_;
        });
    if (isChanged({kLastRunErrorArchiveKey}))
        changeValueForKey(kLastRunErrorKey, [&] { lastRunError_ = edited.lastRunError_; });
    if (isChanged({kHasUnexportedChangesArchiveKey}))
        hasUnexportedChanges_ = edited.hasUnexportedChanges_;
    if (isChanged({kExportedInputTokensArchiveKey}))
        exportedInputTokens_ = edited.exportedInputTokens_;
    const bool behaviorChanged = isChanged({"behavior"}) && behavior_ != edited.behavior_;
    if (behaviorChanged) {
        changeValueForKey("behavior", [&] { behavior_ = edited.behavior_; });
        updateChangeDetectionSettings();
    }
    keptValues_.takeFrom(edited.keptValues_, changed);
    invalidateEncodedState();
    if (behaviorChanged) takeUpChangesNotExportedOnceWatched();
}

void QFFlow::keepUnreadableValues(const nlohmann::json& archive,
                                  const std::vector<std::string>& keys) {
    // The output folder is archived under one of two keys, never both.
    const QFKeptArchiveValues::KeyGroup outputDirectory{kOutputBookmarkArchiveKey,
                                                        kOutputURLArchiveKey};
    std::vector<QFKeptArchiveValues::KeyGroup> groups;
    for (const auto& key : keys) {
        const bool ofOutputDirectory =
            std::find(outputDirectory.begin(), outputDirectory.end(), key) != outputDirectory.end();
        QFKeptArchiveValues::KeyGroup group =
            ofOutputDirectory ? outputDirectory : QFKeptArchiveValues::KeyGroup{key};
        if (std::find(groups.begin(), groups.end(), group) == groups.end())
            groups.push_back(std::move(group));
    }
    keptValues_ = QFKeptArchiveValues(archive, groups, encodeOwnState());
}

void QFFlow::decodeBehavior(QFKeyedDecoder& decoder) {
    auto behavior = decoder.decodeInteger("behavior");
    if (behavior == QFFlowBehaviorNotifyWhenChanged ||
        behavior == QFFlowBehaviorRepeatAutomatically) {
        behavior_ = static_cast<QFFlowBehavior>(*behavior);
        updateChangeDetectionSettings();
    } else if (behavior && *behavior != QFFlowBehaviorNone) {
        // A behaviour of a later version, or damage: none until mended.
        decoder.noteUnreadableValueForKey("behavior");
    }
}

void QFFlow::decodeLastRun(QFKeyedDecoder& decoder) {
    lastRunDate_ = decoder.decodeDate("lastRunDate");
    auto itemsSaved = decoder.decodeInteger("lastRunNumberOfItemsSaved");
    lastRunNumberOfItemsSaved_ =
        itemsSaved && *itemsSaved > 0 ? static_cast<uint64_t>(*itemsSaved) : 0;
    lastRunError_ = decoder.decodeError(kLastRunErrorArchiveKey);
    hasUnexportedChanges_ = decoder.decodeBool(kHasUnexportedChangesArchiveKey).value_or(false);
    exportedInputTokens_ = decodedExportedInputTokens(decoder);
}

bool QFFlow::decodeOutputDirectory(QFKeyedDecoder& decoder) {
    auto bookmark = decoder.decodeData(kOutputBookmarkArchiveKey);
    if (!bookmark) {
        outputDirectoryURL_ = decoder.decodeString(kOutputURLArchiveKey);
        return true;  // what could not be read, the decoder noted
    }
    auto resolved = lf::resolveBookmarkData(*bookmark);  // staleness does not matter
    if (!resolved) {
        // A folder on a disk that is not mounted now, or damage.
        lf::log(
            "Couldn't resolve security-scoped bookmark for output URL ({}); it is kept as stored",
            lf::describe(resolved.error()));
        return false;
    }
    outputDirectoryURL_ = resolved->path;
    outputDirectoryBookmarkData_ = std::move(*bookmark);
    return true;
}

void QFFlow::setInitialInput(std::shared_ptr<QFFlowInput> input) {
    LF_PRECONDITION(input_ == nullptr, "_input == nil (Flows/QFFlow)");
    input_ = std::move(input);
    if (!input_) return;
    input_->setDetectedChangesHandler([weak = weak_from_this()] {
        if (auto flow = weak.lock()) flow->inputDidChange();
    });
}

std::shared_ptr<QFFlowRun> QFFlow::newRunWithInput(std::shared_ptr<const QFFlowInputProtocol>,
                                                   std::shared_ptr<QFFlowOutput>) {
    return nullptr;
}

// Output folder.

void QFFlow::setOutputDirectoryURL(const std::string& url) {
    if (outputDirectoryURL_ == url) return;
    auto bookmark = lf::createBookmarkData(url);
    if (!bookmark) {
        // A folder that does not exist yet is made by the first write.
        outputDirectoryURL_ = url;
        outputDirectoryBookmarkData_.reset();
        return;
    }
    auto resolved = lf::resolveBookmarkData(*bookmark);
    if (!resolved) {
        lf::log("Couldn't resolve security-scoped bookmark for output URL: {} ({})", url,
                lf::describe(resolved.error()));
        return;
    }
    outputDirectoryURL_ = resolved->path;
    outputDirectoryBookmarkData_ = std::move(*bookmark);
}

bool QFFlow::activateFileViewerSelectingOutputURL() const {
    if (!outputDirectoryURL_) return false;
    QFFlowInterfaceHooks::current().revealInFileViewer(*outputDirectoryURL_);
    return true;
}

lf::Status QFFlow::writeOutput(const QFFlowOutput& output,
                               const std::shared_ptr<const QFFlowInputSnapshot>& exported,
                               const std::function<void()>& whenIn) {
    lf::assertMainThread("QFFlow::writeOutput");
    QFPendingOutputRecords& records = QFPendingOutputRecords::shared();
    const auto self = shared_from_this();
    // What earlier writes left to note goes first, so the latest write
    // decides.
    lf::Status written =
        outputDirectoryURL_
            ? writeOutputToDirectory(output, *outputDirectoryURL_,
                                     [&](const WrittenOutput& record) {
                                         records.add([self, record, exported, whenIn] {
                                             self->noteWrittenOutput(record);
                                             if (exported) self->noteExportedInput(*exported);
                                             if (whenIn) whenIn();
                                         });
                                         records.noteAll();
                                     })
            : lf::Error::posix(ENOENT, "write the output: no output folder");
    if (!written) {
        records.add([self, error = written.error()] { self->noteFailedWrite(error); });
        records.noteAll();
    }
    return written;
}

lf::Status QFFlow::writeOutputToDirectory(const QFFlowOutput& output, const std::string& directory,
                                          const std::function<void(const WrittenOutput&)>& whenIn) {
    const uint64_t itemsSaved = output.items().size();
    return output.writeOutputToDirectoryAtURL(directory, [&] {
        whenIn({std::chrono::system_clock::now(), itemsSaved});
    });
}

void QFFlow::noteWrittenOutput(const WrittenOutput& written) {
    changeValueForKey(kLastRunDateKey, [&] {
        lastRunDate_ = written.date;
        lastRunNumberOfItemsSaved_ = written.itemsSaved;
    });
    // Written from a window too: the outputs are current again.
    if (lastRunError_) changeValueForKey(kLastRunErrorKey, [&] { lastRunError_.reset(); });
    invalidateEncodedState();
}

void QFFlow::noteFailedWrite(const lf::Error& error) {
    changeValueForKey(kLastRunErrorKey, [&] { lastRunError_ = error; });
    invalidateEncodedState();
}

// Input.

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
            changeValueForKey(kHasChangesToRunKey, [&] { hasChangesToRun_ = true; });
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

bool QFFlow::isBehindItsDocuments() const {
    if (lastRunError_ || hasUnexportedChanges_) return true;
    auto snapshot = inputSnapshotWithChangesSinceSnapshot(nullptr);
    if (!snapshot) return false;
    const TokensByURL& tokens = snapshot->URLToModificationTokenMap();
    if (exportedInputTokens_) return tokens != *exportedInputTokens_;
    // Archived before the exported documents were kept: a document saved
    // after the output was last written has not been exported.
    if (!lastRunDate_) return false;
    const timespec written = timespecOf(*lastRunDate_);
    return std::any_of(tokens.begin(), tokens.end(),
                       [&](const auto& entry) { return entry.second.changedAfter(written); });
}

bool QFFlow::noteExportedInput(const QFFlowInputSnapshot& snapshot) {
    if (exportedInputTokens_ != snapshot.URLToModificationTokenMap()) {
        exportedInputTokens_ = snapshot.URLToModificationTokenMap();
        invalidateEncodedState();
    }
    auto latest = inputSnapshotWithChangesSinceSnapshot(nullptr);
    const bool current = latest && latest->URLToModificationTokenMap() == *exportedInputTokens_;
    // The documents are as the folder holds them: nothing is left to export.
    if (current) setHasUnexportedChanges(false);
    return current;
}

void QFFlow::setHasUnexportedChanges(bool hasUnexportedChanges) {
    if (hasUnexportedChanges_ == hasUnexportedChanges) return;
    hasUnexportedChanges_ = hasUnexportedChanges;
    invalidateEncodedState();
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
            changeValueForKey(kHasChangesToRunKey, [&] { hasChangesToRun_ = true; });
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
    changeValueForKey(kStatusKey, [&] {
        isRunningWithUI_ = true;
        runningUI_ = controller;
        updateChangeDetectionSettings();
    });
}

void QFFlow::willStopRunningInUI(const std::shared_ptr<QFFlowUI>&) {
    changeValueForKey(kStatusKey, [&] {
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
    if (hasChangesToRun_) changeValueForKey(kHasChangesToRunKey, [&] { hasChangesToRun_ = false; });
    changeValueForKey(kStatusKey, [&] { isRunningWithoutUI_ = true; });
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
        changeValueForKey(kStatusKey, [&] { isRunningWithoutUI_ = false; });
        const bool stillWanted =
            behavior_ != QFFlowBehaviorNone || backgroundRunBehavior_ == QFFlowBehaviorNone;
        if (stillWanted && !isRunningWithUI_) startBackgroundRunIfNeeded();
        return;
    }
    if (error || lastRunError_) {
        changeValueForKey(kLastRunErrorKey, [&] { lastRunError_ = std::move(error); });
        invalidateEncodedState();
    }
    // Exported: every change up to the run's snapshot is in the folder,
    // those reported during the run included when the documents are still
    // as the run read them.
    if (!lastRunError_ && exported && noteExportedInput(*exported)) changedDuringRun = false;
    if (!lastRunError_ && !changedDuringRun) setHasUnexportedChanges(false);
    changeValueForKey(kStatusKey, [&] { isRunningWithoutUI_ = false; });
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

void QFFlow::invalidateEncodedState() {
    if (!keptValues_.empty()) keptValues_.forgetChangedIn(encodeOwnState());
    changeValueForKey(kEncodedStateChangeTokenKey, [&] { ++encodedStateChangeToken_; });
}
