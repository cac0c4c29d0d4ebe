#include "flows/QFFlowManager.h"

#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFStoredRecents.h"
#include "flows/watching/QFFileObserver.h"
#include "platform/core/Log.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"

#include <algorithm>
#include <iterator>
#include <map>

// Follows the stored list when its file changes.
class QFFlowManager::StoredListFileDelegate final : public QFFileObserverDelegate {
public:
    explicit StoredListFileDelegate(std::weak_ptr<QFFlowManager*> manager)
        : manager_(std::move(manager)) {}
    void observedChangeAtPath(QFFileObserver&, const std::optional<std::string>&) override {
        if (auto manager = manager_.lock()) (*manager)->followStoredList();
    }

private:
    std::weak_ptr<QFFlowManager*> manager_;
};

const std::shared_ptr<QFFlowManager>& QFFlowManager::defaultManager() {
    // Never destroyed: its flows may outlive the main thread's last drain.
    static auto* manager = new std::shared_ptr<QFFlowManager>(std::make_shared<QFFlowManager>());
    return *manager;
}

QFFlowManager::QFFlowManager(std::shared_ptr<lf::UserDefaults> defaults)
    : defaults_(std::move(defaults)) {}

QFFlowManager::~QFFlowManager() = default;

std::shared_ptr<lf::UserDefaults> QFFlowManager::defaults() const {
    return defaults_ ? defaults_ : lf::UserDefaults::standard();
}

std::shared_ptr<QFFlow> QFFlowManager::decodeFlow(const nlohmann::json& archive) {
    return QFDecodeStoredFlow(archive);
}

const std::vector<std::shared_ptr<QFFlow>>& QFFlowManager::recentFlows() {
    if (!recentFlows_) loadRecentFlows();
    return *recentFlows_;
}

void QFFlowManager::loadRecentFlows() {
    lf::assertMainThread("QFFlowManager::recentFlows");
    const auto defaults = this->defaults();
    // First, so that the list the store mends below gives way to an edit
    // too.
    observeStoredList(defaults);
    // A list that is no list is damage, which the store mends from its last
    // good copy where it can.
    const auto stored = defaults->checkedObjectForKey(
        kRecentFlowsDefaultsKey, [](const nlohmann::json& value) { return value.is_array(); });
    QFStoredRecents recents = QFReadStoredRecents(stored.value_or(nlohmann::json::array()));
    std::vector<std::shared_ptr<QFFlow>> flows;
    storedArchives_.clear();
    for (auto& [flow, archive] : recents.listed) {
        storedArchives_.emplace(flow.get(), std::move(archive));
        flows.push_back(std::move(flow));
    }
    unlistedArchives_ = std::move(recents.unlisted);
    recentFlows_ = std::move(flows);
    storedList_ = stored.value_or(nullptr);
    observeRecentFlows();
    updateRunningFlowsWithoutUI();
}

void QFFlowManager::observeStoredList(const std::shared_ptr<lf::UserDefaults>& defaults) {
    if (storedListDefaults_.lock() == defaults) return;
    storedListDefaults_ = defaults;
    // An edit of the list saved before the flows' own change of it is
    // written is followed first (followStoredList), not written over.
    defaults->yieldToFileEditsOf(kRecentFlowsDefaultsKey);
    // Told on whichever thread found the change in the file.
    storedListObservation_ =
        defaults->observe(kRecentFlowsDefaultsKey, [lifetime = std::weak_ptr(lifetime_)] {
            lf::MainQueue::shared()->async([lifetime] {
                if (auto manager = lifetime.lock()) (*manager)->followStoredList();
            });
        });
    // An edit that nothing reads afterwards (one that switches a flow on,
    // say) is followed as it is saved.
    if (!storedListFile_) {
        storedListFile_ = std::make_shared<QFFileObserver>();
        storedListFileDelegate_ = std::make_shared<StoredListFileDelegate>(lifetime_);
        storedListFile_->setDelegate(storedListFileDelegate_);
    }
    storedListFile_->setObservedURLs({defaults->path()});
    storedListFile_->setSuspended(false);
}

void QFFlowManager::noteListIfWritten(const lf::UserDefaults& defaults) {
    if (!listBeingWritten_ || defaults.hasUnwrittenChange(kRecentFlowsDefaultsKey)) return;
    // Otherwise it gave way to an edit saved first, which followStoredList
    // follows.
    if (defaults.objectForKey(kRecentFlowsDefaultsKey) != listBeingWritten_->list) return;
    storedList_ = std::move(listBeingWritten_->list);
    storedArchives_ = std::move(listBeingWritten_->archives);
    listBeingWritten_.reset();
}

void QFFlowManager::followStoredList() {
    lf::assertMainThread("QFFlowManager::followStoredList");
    // A list another store holds is not the one the manager followed: it
    // is written over, as before.
    if (!recentFlows_ || isFollowingStoredList_) return;
    const auto defaults = this->defaults();
    if (storedListDefaults_.lock() != defaults) return;
    noteListIfWritten(*defaults);
    const nlohmann::json stored =
        defaults->objectForKey(kRecentFlowsDefaultsKey).value_or(nlohmann::json());
    // The flows' own list, waiting to be written.
    if (listBeingWritten_ && stored == listBeingWritten_->list) return;
    // Or one that gave way to an edit saved before it was written: the
    // flows follow the edit from the list the file held before, then write
    // their changes over it.
    const bool gaveWay = listBeingWritten_.has_value();
    listBeingWritten_.reset();
    if (stored == storedList_ && !gaveWay) return;
    isFollowingStoredList_ = true;
    if (stored.is_array()) {
        if (stored != storedList_) takeStoredList(stored);
        if (gaveWay) writeRecentFlows();
    } else {
        // Damage, as at launch: kept aside by the store, with a log line,
        // and the flows written again.
        lf::log(
            "The recents list of the user defaults is no list, or missing: the flows are written "
            "again");
        (void)defaults->checkedObjectForKey(
            kRecentFlowsDefaultsKey, [](const nlohmann::json& value) { return value.is_array(); });
        writeRecentFlows();
    }
    isFollowingStoredList_ = false;
}

void QFFlowManager::takeStoredList(const nlohmann::json& stored) {
    lf::log(
        "The recents list of the user defaults was changed outside the application: the "
        "flows follow it");
    QFStoredRecents recents = QFReadStoredRecents(stored);
    std::vector<std::shared_ptr<QFFlow>> before = *recentFlows_, flows, added;
    std::map<const QFFlow*, nlohmann::json> archives;
    // Unobserved meanwhile: what the flows take is no change of theirs to
    // write.
    flowObservations_.clear();
    for (auto& [decoded, archive] : recents.listed) {
        const std::set<std::string> documents = decoded->inputURLs();
        auto same = std::find_if(before.begin(), before.end(),
                                 [&](const auto& flow) { return flow->inputURLs() == documents; });
        std::shared_ptr<QFFlow> flow = decoded;
        if (same != before.end()) {
            flow = std::move(*same);
            before.erase(same);
            if (auto was = storedArchives_.find(flow.get()); was != storedArchives_.end())
                flow->takeValuesEditedInArchive(*decoded, was->second, archive);
        } else {
            added.push_back(flow);
        }
        archives.emplace(flow.get(), std::move(archive));
        flows.push_back(std::move(flow));
    }
    unlistedArchives_ = std::move(recents.unlisted);
    storedArchives_ = std::move(archives);
    storedList_ = stored;
    if (flows != *recentFlows_)
        changeValueForKey("recentFlows", [&] { recentFlows_ = std::move(flows); });
    observeRecentFlows();
    // Those left out leave the list as removeFlow takes them out.
    for (const auto& removed : before) {
        lf::log(
            "The flow \"{}\" is no longer listed in the recents of the user defaults: its "
            "automatic behaviour stops",
            removed->displayName());
        removed->setBehavior(QFFlowBehaviorNone);
    }
    if (hasActivatedAutomaticBehavior_)
        for (const auto& flow : added)
            flow->activateAutomaticBehaviorIfNeeded();
    updateRunningFlowsWithoutUI();
}

void QFFlowManager::setRecentFlows(std::vector<std::shared_ptr<QFFlow>> flows) {
    flowObservations_.clear();
    changeValueForKey("recentFlows", [&] { recentFlows_ = std::move(flows); });
    observeRecentFlows();
    updateRunningFlowsWithoutUI();
    writeRecentFlows();
}

void QFFlowManager::observeRecentFlows() {
    for (const auto& flow : *recentFlows_) {
        flowObservations_.push_back(flow->addObserver(
            "status", [this](const std::string&) { updateRunningFlowsWithoutUI(); }));
        flowObservations_.push_back(flow->addObserver(
            "hasChangesToRun", [this](const std::string&) { recentFlowChangesToRunChanged(); }));
        flowObservations_.push_back(flow->addObserver(
            "_encodedStateChangeToken", [this](const std::string&) { saveRecentFlows(); }));
    }
}

void QFFlowManager::saveRecentFlows() {
    if (!recentFlows_) return;
    followStoredList();
    writeRecentFlows();
}

void QFFlowManager::writeRecentFlows() {
    if (!recentFlows_) return;
    ListBeingWritten written{nlohmann::json::array(), {}};
    for (const auto& flow : *recentFlows_) {
        written.list.push_back(flow->encode());
        written.archives.emplace(flow.get(), written.list.back());
    }
    // Ascending, each at its stored place as far as the list now reaches.
    for (const auto& [index, unlisted] : unlistedArchives_)
        written.list.insert(written.list.begin() +
                                static_cast<std::ptrdiff_t>(std::min(index, written.list.size())),
                            unlisted);
    const auto defaults = this->defaults();
    observeStoredList(defaults);
    defaults->setObject(kRecentFlowsDefaultsKey, written.list);
    listBeingWritten_ = std::move(written);
    noteListIfWritten(*defaults);
}

void QFFlowManager::updateRunningFlowsWithoutUI() {
    const bool running = std::any_of(
        recentFlows_->begin(), recentFlows_->end(),
        [](const auto& flow) { return flow->status() == QFFlowStatusRunningWithoutUI; });
    if (running == isRunningFlowsWithoutUI_) return;
    changeValueForKey("isRunningFlowsWithoutUI", [&] { isRunningFlowsWithoutUI_ = running; });
}

void QFFlowManager::recentFlowChangesToRunChanged() {
    const bool changes = std::any_of(recentFlows_->begin(), recentFlows_->end(),
                                     [](const auto& flow) { return flow->hasChangesToRun(); });
    const QFFlowInterfaceHooks& hooks = QFFlowInterfaceHooks::current();
    if (changes && !hooks.isApplicationActive()) hooks.requestUserAttention();
}

void QFFlowManager::noteNewRecentFlow(std::shared_ptr<QFFlow> flow) {
    lf::assertMainThread("QFFlowManager::noteNewRecentFlow");
    followStoredList();
    if (!flow || !flow->hasOutputDirectory()) return;
    std::vector<std::shared_ptr<QFFlow>> flows = recentFlows();
    auto found = std::find(flows.begin(), flows.end(), flow);
    if (found == flows.begin() && found != flows.end()) return;
    std::vector<std::shared_ptr<QFFlow>> replaced;
    if (found != flows.end()) {
        flows.erase(found);
    } else {
        const std::set<std::string> urls = flow->inputURLs();
        std::copy_if(flows.begin(), flows.end(), std::back_inserter(replaced),
                     [&](const auto& listed) { return listed->inputURLs() == urls; });
        std::erase_if(flows, [&](const auto& listed) {
            return std::find(replaced.begin(), replaced.end(), listed) != replaced.end();
        });
    }
    flows.insert(flows.begin(), flow);
    // Kept right after the flow that takes their place, which a later
    // launch therefore lists rather than them.
    for (auto other = replaced.rbegin(); other != replaced.rend(); ++other) {
        lf::log(
            "The flow \"{}\" of the recents is of the same documents as one listed now: it is "
            "kept as stored, unlisted",
            (*other)->displayName());
        keepUnlisted(storedIndexOfFirstListed() + 1, (*other)->encode());
    }
    setRecentFlows(std::move(flows));
    // No longer observed, so this does not save them again; off, they no
    // longer export beside the flow that took their place.
    for (const auto& other : replaced)
        other->setBehavior(QFFlowBehaviorNone);
}

std::shared_ptr<QFFlow> QFFlowManager::takeBackUnlistedFlowWithURLs(
    const std::set<std::string>& urls) {
    lf::assertMainThread("QFFlowManager::takeBackUnlistedFlowWithURLs");
    followStoredList();
    std::vector<std::shared_ptr<QFFlow>> flows = recentFlows();
    if (std::any_of(flows.begin(), flows.end(),
                    [&](const auto& flow) { return flow->inputURLs() == urls; }))
        return nullptr;
    for (size_t kept = 0; kept < unlistedArchives_.size(); ++kept) {
        const size_t index = unlistedArchives_[kept].first;
        auto flow = decodeFlow(unlistedArchives_[kept].second);
        if (!flow || flow->inputURLs() != urls) continue;
        lf::log("The stored flow at {} of the recents is listed again: its documents were opened",
                index);
        // Among the listed flows, after those stored before it.
        flows.insert(
            flows.begin() + static_cast<std::ptrdiff_t>(std::min(index - kept, flows.size())),
            flow);
        unlistedArchives_.erase(unlistedArchives_.begin() + static_cast<std::ptrdiff_t>(kept));
        setRecentFlows(std::move(flows));
        if (hasActivatedAutomaticBehavior_) flow->activateAutomaticBehaviorIfNeeded();
        return flow;
    }
    return nullptr;
}

void QFFlowManager::keepUnlisted(size_t index, nlohmann::json archive) {
    // The entries kept from there on move one place on with the rest.
    for (auto& unlisted : unlistedArchives_)
        if (unlisted.first >= index) ++unlisted.first;
    auto place = std::find_if(unlistedArchives_.begin(), unlistedArchives_.end(),
                              [&](const auto& unlisted) { return unlisted.first > index; });
    unlistedArchives_.emplace(place, index, std::move(archive));
}

size_t QFFlowManager::storedIndexOfFirstListed() const {
    // The entries kept unlisted at the front come before it.
    size_t index = 0;
    for (const auto& [unlistedIndex, archive] : unlistedArchives_)
        if (unlistedIndex == index) ++index;
    return index;
}

void QFFlowManager::removeFlow(std::shared_ptr<QFFlow> flow) {
    if (!flow) return;
    followStoredList();
    std::vector<std::shared_ptr<QFFlow>> flows = recentFlows();
    flows.erase(std::remove(flows.begin(), flows.end(), flow), flows.end());
    setRecentFlows(std::move(flows));
    // No longer observed, so this does not save again.
    flow->setBehavior(QFFlowBehaviorNone);
}

void QFFlowManager::activateAutomaticBehaviorIfNeeded() {
    hasActivatedAutomaticBehavior_ = true;
    for (const auto& flow : recentFlows())
        flow->activateAutomaticBehaviorIfNeeded();
}

bool QFFlowManager::canClearRecentFlowsWithoutAutomaticBehavior() {
    const auto& flows = recentFlows();
    return std::any_of(flows.begin(), flows.end(),
                       [](const auto& flow) { return flow->behavior() == QFFlowBehaviorNone; });
}

void QFFlowManager::clearRecentFlowsWithoutAutomaticBehavior() {
    lf::assertMainThread("QFFlowManager::clearRecentFlowsWithoutAutomaticBehavior");
    followStoredList();
    std::vector<std::shared_ptr<QFFlow>> kept;
    for (const auto& flow : recentFlows())
        if (flow->behavior() != QFFlowBehaviorNone) kept.push_back(flow);
    setRecentFlows(std::move(kept));
}
