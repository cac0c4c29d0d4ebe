#include "flows/QFFlowManager.h"

#include "flows/QFExportFlow.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFStoredRecents.h"
#include "flows/shared/QFKeyedArchive.h"
#include "platform/core/Log.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"

#include <algorithm>
#include <iterator>
#include <map>

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
    const std::string className = QFArchivedClassName(archive);
    std::shared_ptr<QFFlow> flow;
    if (className == QFExportFlow::kClassName)
        flow = std::make_shared<QFExportFlow>();
    else if (className == QFFlow::kClassName)
        flow = std::make_shared<QFFlow>();
    if (!flow) {
        lf::log("Couldn't decode a flow: no flow class named \"{}\"", className);
        return nullptr;
    }
    return flow->decodeArchive(archive) ? flow : nullptr;
}

const std::vector<std::shared_ptr<QFFlow>>& QFFlowManager::recentFlows() {
    if (!recentFlows_) loadRecentFlows();
    return *recentFlows_;
}

void QFFlowManager::loadRecentFlows() {
    lf::assertMainThread("QFFlowManager::recentFlows");
    const auto defaults = this->defaults();
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
    noteStoredList(defaults, stored.value_or(nullptr));
    observeRecentFlows();
    updateRunningFlowsWithoutUI();
}

void QFFlowManager::noteStoredList(const std::shared_ptr<lf::UserDefaults>& defaults,
                                   nlohmann::json list) {
    storedList_ = std::move(list);
    if (storedListDefaults_.lock() == defaults) return;
    storedListDefaults_ = defaults;
    // Told on whichever thread found the change in the file.
    storedListObservation_ =
        defaults->observe(kRecentFlowsDefaultsKey, [lifetime = std::weak_ptr(lifetime_)] {
            lf::MainQueue::shared()->async([lifetime] {
                if (auto manager = lifetime.lock()) (*manager)->followStoredList();
            });
        });
}

void QFFlowManager::followStoredList() {
    lf::assertMainThread("QFFlowManager::followStoredList");
    // A list another store holds is not the one the manager followed: it
    // is written over, as before.
    if (!recentFlows_ || isFollowingStoredList_) return;
    const auto defaults = this->defaults();
    if (storedListDefaults_.lock() != defaults) return;
    const nlohmann::json stored =
        defaults->objectForKey(kRecentFlowsDefaultsKey).value_or(nlohmann::json());
    if (stored == storedList_) return;
    isFollowingStoredList_ = true;
    if (stored.is_array()) {
        takeStoredList(stored);
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
    nlohmann::json archive = nlohmann::json::array();
    storedArchives_.clear();
    for (const auto& flow : *recentFlows_) {
        archive.push_back(flow->encode());
        storedArchives_.emplace(flow.get(), archive.back());
    }
    // Ascending, each at its stored place as far as the list now reaches.
    for (const auto& [index, unlisted] : unlistedArchives_)
        archive.insert(
            archive.begin() + static_cast<std::ptrdiff_t>(std::min(index, archive.size())),
            unlisted);
    const auto defaults = this->defaults();
    noteStoredList(defaults, archive);
    defaults->setObject(kRecentFlowsDefaultsKey, archive);
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
