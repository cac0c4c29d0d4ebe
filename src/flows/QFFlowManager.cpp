#include "flows/QFFlowManager.h"

#include "flows/QFExportFlow.h"
#include "flows/QFFlowInterfaceHooks.h"
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
    std::vector<std::shared_ptr<QFFlow>> flows;
    unlistedArchives_.clear();
    // A list that is no list is damage, which the store mends from its last
    // good copy where it can.
    const auto stored = defaults()->checkedObjectForKey(
        kRecentFlowsDefaultsKey, [](const nlohmann::json& value) { return value.is_array(); });
    // The listed flow of each set of documents, with its place in the
    // stored list.
    std::map<std::set<std::string>, size_t> listedIndexOfDocuments;
    std::map<size_t, std::shared_ptr<QFFlow>> listed;
    for (size_t index = 0; stored && index < stored->size(); ++index) {
        const nlohmann::json& archive = (*stored)[index];
        auto flow = decodeFlow(archive);
        // A flow whose documents could not all be found again is no use
        // now, but may be once they are back.
        if (!flow || flow->inputURLs().empty()) {
            lf::log("Couldn't list the stored flow at {} of the recents: it is kept as stored",
                    index);
            unlistedArchives_.emplace_back(index, archive);
            continue;
        }
        auto [other, first] = listedIndexOfDocuments.try_emplace(flow->inputURLs(), index);
        if (first) {
            listed.emplace(index, std::move(flow));
            continue;
        }
        // Two flows of the same documents (one made while the other's were
        // out of reach): the one written last is listed, the first of them
        // when that tells them not apart.
        size_t unlisted = index;
        if (flow->lastRunDate() > listed.at(other->second)->lastRunDate()) {
            unlisted = std::exchange(other->second, index);
            listed.erase(unlisted);
            listed.emplace(index, std::move(flow));
        }
        lf::log(
            "Couldn't list the stored flow at {} of the recents: another flow of the same "
            "documents is listed; it is kept as stored",
            unlisted);
        unlistedArchives_.emplace_back(unlisted, (*stored)[unlisted]);
    }
    std::sort(unlistedArchives_.begin(), unlistedArchives_.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [index, flow] : listed)
        flows.push_back(std::move(flow));
    recentFlows_ = std::move(flows);
    observeRecentFlows();
    updateRunningFlowsWithoutUI();
}

void QFFlowManager::setRecentFlows(std::vector<std::shared_ptr<QFFlow>> flows) {
    flowObservations_.clear();
    changeValueForKey("recentFlows", [&] { recentFlows_ = std::move(flows); });
    observeRecentFlows();
    updateRunningFlowsWithoutUI();
    saveRecentFlows();
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
    nlohmann::json archive = nlohmann::json::array();
    for (const auto& flow : *recentFlows_)
        archive.push_back(flow->encode());
    // Ascending, each at its stored place as far as the list now reaches.
    for (const auto& [index, unlisted] : unlistedArchives_)
        archive.insert(
            archive.begin() + static_cast<std::ptrdiff_t>(std::min(index, archive.size())),
            unlisted);
    defaults()->setObject(kRecentFlowsDefaultsKey, archive);
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
    std::vector<std::shared_ptr<QFFlow>> kept;
    for (const auto& flow : recentFlows())
        if (flow->behavior() != QFFlowBehaviorNone) kept.push_back(flow);
    setRecentFlows(std::move(kept));
}
