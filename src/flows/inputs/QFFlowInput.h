#pragma once
// QFFlowInput: the files and folders a flow takes its documents from,
// limited to the document types the flow accepts.
//
// The input keeps a bookmark of each file or folder, so a flow reaches its
// documents again after a relaunch (a path for which no bookmark can be
// made is kept as it is). It takes snapshots of its documents
// (QFFlowInputSnapshot): folders are walked deeply, hidden files included,
// without following links. A path given as input that is a link stands for
// what it leads to: a document given through a link is typed by its target
// and kept under the path given, its token covering the link and the
// target; links found inside folders are no documents. A path given that
// yields no documents is kept in the snapshot with what is wrong with it
// (QFFlowInputProblem): it cannot be opened (missing, a link to nothing, a
// loop, not a file, permission denied), it is a file of another type, or
// it is a folder that holds none. While change detection is on, a
// QFFileObserver watches every file and folder (through links, and along
// the folders on the way to them); after a change a new snapshot is taken
// on the low-priority global queue and, when it differs from the one
// before, the detected-changes handler is called on the main queue.
// Starting the watch takes one such snapshot too, so that a save made
// between the snapshot before and the watch is reported.
//
// Threads: snapshots are taken one at a time, guarded by one semaphore that
// also guards the path lists, the accepted types and the latest snapshot;
// they run on whatever thread asks (the high-priority global queue when the
// flow asks, the low-priority one after a change, the caller of
// addInputWithURLs). Change detection and its handler belong to the main
// thread. Paths are only ever added.
//
// Archived with the keys "inputTypes", "inputBookmarks" and "inputURLs";
// snapshots, the handler and the observer are not archived. What of an
// archive cannot be read is left out of the input but archived again as it
// was stored, so that a mended file, or a disk mounted again, gives it
// back: list elements of the wrong kind and bookmarks that do not resolve
// follow the input's own in their lists, and types that cannot be read
// stay until the types are replaced.

#include "flows/inputs/QFFlowInputSnapshot.h"
#include "flows/shared/QFKeptArchiveValues.h"
#include "flows/watching/FSEventObserver.h"
#include "flows/watching/QFFileObserver.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/files/Data.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QFKeyedDecoder;
// What input files can be found among some paths.
enum QFFlowInputAvailability : int32_t {
    QFFlowInputAvailabilityNone = 0,
    // Only folders, which may hold documents.
    QFFlowInputAvailabilityFoldersOnly = 1,
    QFFlowInputAvailabilityFiles = 2,
};

class QFFlowInput : public QFFileObserverDelegate,
                    public FSEventObserverDelegate,
                    public std::enable_shared_from_this<QFFlowInput> {
public:
    static constexpr const char* kClassName = "QFFlowInput";

    QFFlowInput();
    explicit QFFlowInput(const std::vector<std::string>& allowedTypes);
    // Null when the archive is not one of an input. Bookmarks that cannot be
    // resolved, and values of the wrong kind, are left out with a log line
    // (and kept for encode); accepted types that cannot be read are those of
    // every registered plug-in. No snapshot is taken.
    static std::shared_ptr<QFFlowInput> decode(const nlohmann::json& archive);
    nlohmann::json encode() const;
    ~QFFlowInput() override;
    QFFlowInput(const QFFlowInput&) = delete;
    QFFlowInput& operator=(const QFFlowInput&) = delete;

    std::set<std::string> inputTypes() const;
    // Replaces the accepted types.
    void limitToSubsetOfAllowedTypes(const std::vector<std::string>& types);

    // Adds the paths not yet part of the input, then takes a snapshot on the
    // calling thread (which reports the new documents as a change when there
    // was a snapshot before).
    void addInputWithURLs(const std::vector<std::string>& urls);
    // Every file and folder of the input.
    std::set<std::string> inputURLs() const;

    // Takes a snapshot now, on the calling thread.
    void detectInput();
    // The latest snapshot with the documents that changed since `since`
    // marked (every document when `since` is not a snapshot); null before
    // the first snapshot.
    std::shared_ptr<const QFFlowInputSnapshot> snapshotWithChangesSinceSnapshot(
        const QFFlowInputProtocol* since) const;

    // Main thread only.
    bool detectsChanges() const { return detectsChanges_; }
    void setDetectsChanges(bool detectsChanges);
    void setDetectedChangesHandler(std::function<void()> handler);

    void observedChangeAtPath(QFFileObserver& observer,
                              const std::optional<std::string>& path) override;
    void observedChangeInDirectoryAtPath(FSEventObserver& observer, const std::string& path,
                                         bool shouldScanRecursively) override;

    // What `urls` offer: files of `types`, else folders, else nothing.
    // `options` changes nothing.
    static QFFlowInputAvailability availabilityOfInputTypes(const std::vector<std::string>& types,
                                                            const std::vector<std::string>& urls,
                                                            unsigned options = 0);

    // The observer while change detection has been on; for tests.
    const std::shared_ptr<QFFileObserver>& changeObserver() const { return changeObserver_; }
    // For tests: called on the main thread each time change detection
    // starts, just before the watch begins.
    void setWillStartWatchingHookForTesting(std::function<void()> hook) {
        willStartWatchingHook_ = std::move(hook);
    }
    // For tests: whether the snapshot that follows a start of the watch is
    // still to be taken.
    bool hasPendingWatchStartSnapshot() const { return pendingWatchStartSnapshots_ > 0; }

private:
    // Read once, by decode, before the input is shared.
    void decodeBookmarks(const nlohmann::json& stored, QFKeyedDecoder& decoder);
    void decodeURLs(const nlohmann::json& stored, QFKeyedDecoder& decoder);
    void keepUnreadableValues(const nlohmann::json& archive, const std::vector<std::string>& keys);
    void makeSnapshotForCurrentInput();
    void updateObserverURLs();
    // Adds the document at `url` of `type` when the input takes that type;
    // whether it does.
    bool visitURL(const std::string& url, const std::optional<std::string>& type,
                  const std::optional<std::string>& container, const std::set<std::string>& types,
                  const QFFlowInputSnapshot* previous,
                  QFFlowInputSnapshot::ItemsByType& itemsByType,
                  QFFlowInputSnapshot::ItemsByURL& itemsByURL,
                  QFFlowInputSnapshot::TokensByURL& tokensByURL) const;

    mutable lf::DispatchSemaphore lock_{1};
    // Guarded by the lock.
    std::set<std::string> inputTypes_;
    std::optional<std::vector<std::string>> inputURLsWithoutSecurityScope_;
    std::optional<std::vector<std::string>> inputURLsWithSecurityScope_;
    std::optional<std::vector<lf::Data>> inputURLBookmarksWithSecurityScope_;
    // What decode could not read, as stored: set before the input is
    // shared; the kept values lose the types under the lock when those are
    // replaced.
    nlohmann::json keptBookmarks_ = nlohmann::json::array();
    nlohmann::json keptURLs_ = nlohmann::json::array();
    QFKeptArchiveValues keptValues_;
    std::set<std::string> inputObserverURLs_;
    std::shared_ptr<const QFFlowInputSnapshot> latestInputSnapshot_;
    // Main thread only.
    bool detectsChanges_ = false;
    std::function<void()> detectedChangesHandler_;
    std::shared_ptr<QFFileObserver> changeObserver_;
    std::function<void()> willStartWatchingHook_;
    std::atomic<int> pendingWatchStartSnapshots_{0};
};
