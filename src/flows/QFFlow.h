#pragma once
// QFFlow: one export flow: its input documents (QFFlowInput), its output
// folder, its behaviour when the input changes, an optional name given by
// the user, and the record of the last time it wrote its output.
//
// A flow runs either in a flow window, through the run controller that
// shows it, or in the background: a background run takes a fresh snapshot
// of the input, runs the flow and writes the output into the output folder
// the flow had when the run started. After a change of the input a flow
// shown in a window runs again there; otherwise, once its automatic
// behaviour is active, a flow that notifies is marked as having changes to
// run and moved to the front of the recents, and a flow that repeats
// automatically runs in the background. A change while its background run
// is under way is kept for when that run ends (unless the documents are
// then still those the run read and wrote), and then handled by the
// behaviour the flow has then: one that repeats starts one more run on a
// fresh snapshot, so background runs of one flow never overlap and the
// last change is always exported; one whose behaviour was switched off
// meanwhile (or that was removed from the recents) runs nothing.
//
// A background run that fails keeps its error (lastRunError) and writes
// nothing, and so does a flow window's save that cannot be written; the
// last run date says when output was last written, so a failed run or
// write leaves it as it was. The error stays until a background run
// succeeds or a flow window saves the flow's output. A run
// that read a document while it was written writes nothing and changes
// neither: it is made again at once on a fresh snapshot, unless the
// behaviour that asked for it was switched off meanwhile.
//
// Archived as a keyed JSON object with the keys "input", "behavior",
// "name", "outputDirectoryBookmarkData" or "outputDirectoryURL",
// "lastRunDate", "lastRunNumberOfItemsSaved", and, when there is one,
// "lastRunError", "hasUnexportedChanges" (a change came that no background
// run has exported since) and "exportedInputTokens" (each document's
// modification token, by path, as the output folder holds it: those of the
// last run whose output was written, in the background or by a window's
// Save). Archives without them are read as without error, change or
// record of the documents. A value that cannot be read (of the wrong kind,
// a behaviour other than none, notify and repeat, an output folder's
// bookmark that does not resolve) is logged and taken as unset; the flow
// keeps the rest, and archives that value again as it was stored until it
// has one of its own there (QFKeptArchiveValues). Every change of the
// archived state raises encodedStateChangeToken, on which the flow manager
// saves the recents list.
//
// Changes the flow never saw (made while no application ran, before its
// watch began, or shown in a window that closed without saving) are taken
// up when its automatic behaviour is activated at launch, whenever it is
// switched to notify or repeat, and when a window that showed it closes:
// when the output folder is behind the documents, one that repeats runs
// once and one that notifies is marked as having changes to run. The
// folder is behind after a failed run or an unexported change, and when
// the documents (which there are, and each one's token) differ from the
// recorded ones; without a record (archived before it was kept), when a
// document's status changed after the output was last written.
//
// The record of a write whose files are in (its date and number of files,
// the documents it exported, the end of a background run) is made before
// the files' commit ends, which the end of the application waits for: a
// window's Save makes it there, a background run hands it to
// QFPendingOutputRecords, which the main thread, or the end before it,
// notes. So the recents in the user defaults hold it whenever the
// application ends once the files are in.
//
// Threads: main thread only, apart from the input snapshot of
// detectInputWithCompletionHandler (on the high-priority global queue) and
// a background run's write (on the thread that finished the run), which
// hand their results back to the main thread. Observable keys: "status",
// "hasChangesToRun", "lastRunDate", "lastRunError", "displayName", "name",
// "behavior", "_encodedStateChangeToken" and "localizedStatusDescription"
// (after "status", "lastRunDate" and "lastRunError").

#include "flows/QFFlowUI.h"
#include "flows/inputs/QFFlowInput.h"
#include "flows/shared/QFKeptArchiveValues.h"
#include "platform/core/Formatters.h"
#include "platform/core/Result.h"
#include "platform/dispatch/KeyValueObserving.h"
#include "platform/files/Data.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFFlowOutput;
class QFFlowRun;
class QFKeyedDecoder;

enum QFFlowBehavior : int32_t {
    QFFlowBehaviorNone = 0,
    QFFlowBehaviorNotifyWhenChanged = 1,
    QFFlowBehaviorRepeatAutomatically = 2,
};

enum QFFlowStatus : int32_t {
    QFFlowStatusIdle = 0,
    QFFlowStatusRunningWithoutUI = 1,
    // Shown in a flow window (and not running in the background).
    QFFlowStatusRunningWithUI = 2,
};

class QFFlow : public lf::KeyValueObservable, public std::enable_shared_from_this<QFFlow> {
public:
    static constexpr const char* kClassName = "QFFlow";

    // Behaviour none, no input, no output folder, no name, never run.
    QFFlow();
    virtual ~QFFlow();

    // Archive. The class name the flow is archived under; decoding makes a
    // flow of that class and reads the archive into it.
    virtual const char* archivedClassName() const { return kClassName; }
    nlohmann::json encode() const;
    // False, with a log line, when the archive is damaged. Starts nothing.
    bool decodeArchive(const nlohmann::json& archive);

    // Takes what a change of its stored archive made outside the
    // application changed, from `before` (the archive as stored until then)
    // to `after`, as `edited`, the flow decoded from `after`, reads it: the
    // name, behaviour, output folder and record of the last run; what
    // `edited` could not read is taken as unset and kept as stored, as at
    // launch. What the change left alone stays as this flow has it. A flow
    // switched to notify or repeat takes up what it left to run.
    void takeValuesEditedInArchive(const QFFlow& edited, const nlohmann::json& before,
                                   const nlohmann::json& after);

    // Installs the input, once; a second input stops the program.
    void setInitialInput(std::shared_ptr<QFFlowInput> input);
    const std::shared_ptr<QFFlowInput>& input() const { return input_; }
    // A new run of the flow over `input`, filling `output`, not started; none
    // in this class.
    virtual std::shared_ptr<QFFlowRun> newRunWithInput(
        std::shared_ptr<const QFFlowInputProtocol> input, std::shared_ptr<QFFlowOutput> output);

    // Output folder.
    bool hasOutputDirectory() const { return outputDirectoryURL_.has_value(); }
    const std::optional<std::string>& outputDirectoryURL() const { return outputDirectoryURL_; }
    // Keeps a bookmark of the folder when one can be made (else the path).
    void setOutputDirectoryURL(const std::string& url);
    // Shows the output folder in the file manager; false without one.
    bool activateFileViewerSelectingOutputURL() const;
    // Writes `output` into the output folder: a window's Save. Once the
    // files are in, before their commit ends, the flow notes what earlier
    // writes left to note, then the date and number of files written and
    // `exported` as the documents the folder holds (when given), and calls
    // `whenIn`. The error of the write, or of a missing output folder,
    // otherwise, which the flow keeps as a failed run's (lastRunError).
    // Main thread.
    lf::Status writeOutput(const QFFlowOutput& output,
                           const std::shared_ptr<const QFFlowInputSnapshot>& exported = nullptr,
                           const std::function<void()>& whenIn = {});
    // Records the documents of `snapshot` as those whose output the folder
    // now holds; sent once a run's output over it was written. Whether the
    // latest snapshot's documents are still those: then no change is left
    // to export.
    bool noteExportedInput(const QFFlowInputSnapshot& snapshot);

    // Input.
    std::set<std::string> inputURLs() const;
    void addInputWithURLs(const std::vector<std::string>& urls);
    std::shared_ptr<const QFFlowInputSnapshot> inputSnapshotWithChangesSinceSnapshot(
        const QFFlowInputProtocol* since) const;
    // A fresh snapshot on the high-priority global queue, then on the main
    // queue change detection follows it and `completion` is called.
    void detectInputWithCompletionHandler(std::function<void()> completion);
    // The first call takes a snapshot, which lets change detection start for
    // a flow that notifies or repeats; later calls do nothing.
    void activateAutomaticBehaviorIfNeeded();

    // Running.
    // Notes the flow as recent; runs it in the background when it has an
    // output folder and is not in a window, else shows it in a window.
    void run();
    void runWithUI();
    // Sent by the run controller that shows the flow in a window.
    void willStartRunningInUI(const std::shared_ptr<QFFlowUI>& controller);
    void willStopRunningInUI(const std::shared_ptr<QFFlowUI>& controller);
    // Starts a background run unless one is under way.
    void startBackgroundRunIfNeeded();
    QFFlowStatus status() const;
    bool hasChangesToRun() const { return hasChangesToRun_; }
    // The error of the latest background run or window save, or none when
    // it succeeded or a window saved since.
    const std::optional<lf::Error>& lastRunError() const { return lastRunError_; }
    // A change came, to a flow that notifies or repeats, that no background
    // run has exported yet.
    bool hasUnexportedChanges() const { return hasUnexportedChanges_; }

    // Naming and status line.
    QFFlowBehavior behavior() const { return behavior_; }
    void setBehavior(QFFlowBehavior behavior);
    const std::optional<std::string>& name() const { return name_; }
    void setName(std::optional<std::string> name);
    std::string displayName() const;
    // The input files' names without extension, joined by ", " ("-" when
    // there are none); worked out once.
    const std::string& defaultDisplayName() const;
    const std::optional<lf::SystemTime>& lastRunDate() const { return lastRunDate_; }
    uint64_t lastRunNumberOfItemsSaved() const { return lastRunNumberOfItemsSaved_; }
    std::string localizedStatusDescription() const;
    std::string localizedStatusDescription(lf::SystemTime now, const std::string& locale,
                                           const std::string& timeZone) const;

    uint64_t encodedStateChangeToken() const { return encodedStateChangeToken_; }
    void invalidateEncodedState();

private:
    void updateChangeDetectionSettings();
    void inputDidChange();
    nlohmann::json encodeOwnState() const;
    void decodeLastRun(QFKeyedDecoder& decoder);
    // Whether the stored output folder, if any, was read.
    bool decodeOutputDirectory(QFKeyedDecoder& decoder);
    void decodeBehavior(QFKeyedDecoder& decoder);
    void keepUnreadableValues(const nlohmann::json& archive, const std::vector<std::string>& keys);
    void takeUpChangesNotExported();
    void takeUpChangesNotExportedOnceWatched();
    bool isBehindItsDocuments() const;
    void setHasUnexportedChanges(bool hasUnexportedChanges);
    // What a write whose files are in records.
    struct WrittenOutput {
        lf::SystemTime date;
        uint64_t itemsSaved = 0;
    };
    // Writes `output` into `directory`; `whenIn` gets the record once the
    // files are in, before their commit ends, on the calling thread.
    lf::Status writeOutputToDirectory(const QFFlowOutput& output, const std::string& directory,
                                      const std::function<void(const WrittenOutput&)>& whenIn);
    void noteWrittenOutput(const WrittenOutput& written);
    void noteFailedWrite(const lf::Error& error);
    // `exported`: the snapshot the run read; null when there was no run.
    void backgroundRunDidEnd(std::optional<lf::Error> error,
                             const std::shared_ptr<const QFFlowInputSnapshot>& exported);

    std::shared_ptr<QFFlowInput> input_;
    std::optional<std::string> outputDirectoryURL_;
    std::optional<lf::Data> outputDirectoryBookmarkData_;
    bool hasActivatedAutomaticBehavior_ = false;
    bool hasDetectedInput_ = false;
    QFFlowBehavior behavior_ = QFFlowBehaviorNone;
    std::optional<std::string> name_;
    mutable std::optional<std::string> defaultDisplayName_;
    bool isRunningWithoutUI_ = false;
    bool isRunningWithUI_ = false;
    std::weak_ptr<QFFlowUI> runningUI_;
    bool hasChangesToRun_ = false;
    // An input change came while the background run was under way.
    bool hasInputChangedDuringBackgroundRun_ = false;
    // The behaviour when the background run under way started.
    QFFlowBehavior backgroundRunBehavior_ = QFFlowBehaviorNone;
    bool hasUnexportedChanges_ = false;
    // None when unknown (archived before it was kept, or never exported).
    std::optional<QFFlowInputSnapshot::TokensByURL> exportedInputTokens_;
    std::optional<lf::SystemTime> lastRunDate_;
    uint64_t lastRunNumberOfItemsSaved_ = 0;
    std::optional<lf::Error> lastRunError_;
    uint64_t encodedStateChangeToken_ = 0;
    // The stored values the flow could not read, archived again as stored.
    QFKeptArchiveValues keptValues_;
};
