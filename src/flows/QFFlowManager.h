#pragma once
// QFFlowManager: the recents list: every flow that was saved into an output
// folder, the most recently used first, kept in the user defaults under
// "RecentFlowsData-1.0" as an array of archived flows (QFFlow::encode).
// The list is saved whenever it changes and whenever a listed flow's
// archived state changes.
//
// Loading lists, in stored order, the flows that decode and still have
// input: a flow with a value it cannot read keeps the rest (and the value,
// as stored). A stored entry that lists no flow (no flow's archive, none of
// its documents found, or the same documents as a flow written later, or
// as one before it when neither was written later) is logged and kept as
// it was stored, at its place in the list, through every later save, so
// that a mended file, or documents found again, give it back; neither
// touches the others. Opening the documents of an entry kept unlisted
// takes its flow back (takeBackUnlistedFlowWithURLs), so that no second
// flow of them is made, and a flow that enters the list unlists another of
// the same documents: no two listed flows have the same documents. Data
// that is not a list is damage: the list of the last good copy of the
// defaults, if any.
//
// The list in the defaults is the user's too, as every setting is: a change
// made there while the application runs (by hand) is followed, before the
// list is next written, when the store tells of it, when the file is saved
// (it is watched as documents are), and when a flow's documents change
// before its automatic behaviour acts. An edit saved while the manager's
// own change of the list waits to be written (an editor's save in place
// under way) is followed from the list the file held before, and the
// flows' changes then written over it. A listed flow
// takes what was changed in its entry (its name, behaviour, output folder,
// the record of its last run), a flow whose entry is gone, or lists no
// flow now, leaves the list with its behaviour off, and an entry that lists
// a flow now is listed. A flow is known by its documents: an entry whose
// documents were changed is another flow. A list that is no list, or
// missing, is damage, as at launch: the flows stay, and are written again.
//
// Main thread only. Observable keys: "recentFlows" (every change of the
// list) and "isRunningFlowsWithoutUI" (when its value changes).

#include "flows/QFFlow.h"
#include "platform/core/Observation.h"
#include "platform/dispatch/KeyValueObserving.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace lf {
class UserDefaults;
}
class QFFileObserver;

class QFFlowManager : public lf::KeyValueObservable {
public:
    static constexpr const char* kRecentFlowsDefaultsKey = "RecentFlowsData-1.0";

    // The manager of the standard user defaults, made once.
    static const std::shared_ptr<QFFlowManager>& defaultManager();

    // A manager of `defaults` (the standard store, looked up at each use,
    // when null).
    explicit QFFlowManager(std::shared_ptr<lf::UserDefaults> defaults = nullptr);
    ~QFFlowManager();
    QFFlowManager(const QFFlowManager&) = delete;
    QFFlowManager& operator=(const QFFlowManager&) = delete;

    // Loaded from the defaults on first use.
    const std::vector<std::shared_ptr<QFFlow>>& recentFlows();
    // Moves the flow to the front, or puts it there; a flow without an
    // output folder never enters the list. A listed flow of the same
    // documents as one that enters leaves the list, kept unlisted as it was
    // at that moment right after it, with its behaviour off.
    void noteNewRecentFlow(std::shared_ptr<QFFlow> flow);
    // The flow of the first stored entry kept unlisted whose documents can
    // now be found and are exactly `urls`, listed again at its place (and
    // its automatic behaviour started, once the list's has been); null when
    // there is none, or when a listed flow has those documents.
    std::shared_ptr<QFFlow> takeBackUnlistedFlowWithURLs(const std::set<std::string>& urls);
    // Takes the flow out of the list and sets its behaviour to none. The
    // flow is taken by value: callers may pass an element of recentFlows(),
    // which the removal replaces.
    void removeFlow(std::shared_ptr<QFFlow> flow);
    // Follows a change of the stored list made outside the application
    // since the manager last read or wrote it (see above); nothing when
    // there is none, before the list is loaded, or while the list is kept
    // in another store than the one it was read from.
    void followStoredList();
    // Lets every recent flow start its automatic behaviour.
    void activateAutomaticBehaviorIfNeeded();
    bool isRunningFlowsWithoutUI() const { return isRunningFlowsWithoutUI_; }
    bool canClearRecentFlowsWithoutAutomaticBehavior();
    // Keeps only the flows that notify or repeat automatically.
    void clearRecentFlowsWithoutAutomaticBehavior();

    // A flow of the archived class, read from `archive`; null (with a log
    // line) when it cannot be decoded (QFDecodeStoredFlow).
    static std::shared_ptr<QFFlow> decodeFlow(const nlohmann::json& archive);

private:
    class StoredListFileDelegate;
    // A list written into the store, with what it holds for each listed
    // flow, until the store has put it into the file.
    struct ListBeingWritten {
        nlohmann::json list;
        std::map<const QFFlow*, nlohmann::json> archives;
    };

    std::shared_ptr<lf::UserDefaults> defaults() const;
    void loadRecentFlows();
    void setRecentFlows(std::vector<std::shared_ptr<QFFlow>> flows);
    void observeRecentFlows();
    // Keeps `archive` unlisted, put in at place `index` of the stored list.
    void keepUnlisted(size_t index, nlohmann::json archive);
    // The place in the stored list of the first listed flow.
    size_t storedIndexOfFirstListed() const;
    // Starts following the stored list of `defaults`, unless it does.
    void observeStoredList(const std::shared_ptr<lf::UserDefaults>& defaults);
    // Takes the list being written as the stored one once the store has
    // written it.
    void noteListIfWritten(const lf::UserDefaults& defaults);
    // Takes in a list the user left changed, unless it is damage.
    void takeStoredList(const nlohmann::json& stored);
    // Writes the list after following a change of it made outside.
    void saveRecentFlows();
    void writeRecentFlows();
    void updateRunningFlowsWithoutUI();
    void recentFlowChangesToRunChanged();

    const std::shared_ptr<lf::UserDefaults> defaults_;
    std::optional<std::vector<std::shared_ptr<QFFlow>>> recentFlows_;
    // The stored entries that list no flow, as stored, by their place in
    // the stored list, ascending.
    std::vector<std::pair<size_t, nlohmann::json>> unlistedArchives_;
    bool isRunningFlowsWithoutUI_ = false;
    bool hasActivatedAutomaticBehavior_ = false;
    std::vector<lf::Observation> flowObservations_;
    // The stored list as the manager last read or wrote it, in the store
    // it did, and what it held for each listed flow: a change found there
    // since was made outside.
    std::weak_ptr<lf::UserDefaults> storedListDefaults_;
    nlohmann::json storedList_;
    std::map<const QFFlow*, nlohmann::json> storedArchives_;
    std::optional<ListBeingWritten> listBeingWritten_;
    lf::Observation storedListObservation_;
    std::shared_ptr<QFFileObserver> storedListFile_;
    std::shared_ptr<StoredListFileDelegate> storedListFileDelegate_;
    bool isFollowingStoredList_ = false;
    // Lets what the store's observer queues on the main queue find that
    // the manager is gone.
    std::shared_ptr<QFFlowManager*> lifetime_ = std::make_shared<QFFlowManager*>(this);
};
