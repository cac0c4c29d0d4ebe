// A flow's output folder: where it is, the writes into it, and the record
// of what it holds (when it was last written, and of which documents) that
// tells whether it is behind the documents.

#include "flows/QFFlow.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowKeys.h"
#include "flows/QFPendingOutputRecords.h"
#include "flows/runs/QFFlowOutput.h"
#include "platform/core/Log.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/Bookmark.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <utility>

namespace {

using TokensByURL = QFFlowInputSnapshot::TokensByURL;

timespec timespecOf(lf::SystemTime time) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    return {static_cast<time_t>(seconds.time_since_epoch().count()),
            static_cast<long>(duration_cast<nanoseconds>(time - seconds).count())};
}

}  // namespace

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
    changeValueForKey(QFFlowLastRunDateKey, [&] {
        lastRunDate_ = written.date;
        lastRunNumberOfItemsSaved_ = written.itemsSaved;
    });
    // Written from a window too: the outputs are current again.
    if (lastRunError_) changeValueForKey(QFFlowLastRunErrorKey, [&] { lastRunError_.reset(); });
    invalidateEncodedState();
}

void QFFlow::noteFailedWrite(const lf::Error& error) {
    changeValueForKey(QFFlowLastRunErrorKey, [&] { lastRunError_ = error; });
    invalidateEncodedState();
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
