#pragma once
// QFFlowManager: the recents list: every flow that was saved into an output
// folder, the most recently used first, kept in the user defaults under
// "RecentFlowsData-1.0" as an array of archived flows (QFFlow::encode).
// The list is saved whenever it changes and whenever a listed flow's
// archived state changes.
//
// Loading keeps, in stored order, the flows that decode and still have
// input: a flow with a value it cannot read keeps the rest, one that is no
// flow's archive is dropped with a log line, and neither touches the
// others. Data that is not a list gives an empty one.
//
// Main thread only. Observable keys: "recentFlows" (every change of the
// list) and "isRunningFlowsWithoutUI" (when its value changes).

#include "flows/QFFlow.h"
#include "platform/KeyValueObserving.h"
#include "platform/Observation.h"

#include <memory>
#include <optional>
#include <vector>

namespace lf {
class UserDefaults;
}

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
    // output folder never enters the list.
    void noteNewRecentFlow(std::shared_ptr<QFFlow> flow);
    // Takes the flow out of the list and sets its behaviour to none. The
    // flow is taken by value: callers may pass an element of recentFlows(),
    // which the removal replaces.
    void removeFlow(std::shared_ptr<QFFlow> flow);
    // Lets every recent flow start its automatic behaviour.
    void activateAutomaticBehaviorIfNeeded();
    bool isRunningFlowsWithoutUI() const { return isRunningFlowsWithoutUI_; }
    bool canClearRecentFlowsWithoutAutomaticBehavior();
    // Keeps only the flows that notify or repeat automatically.
    void clearRecentFlowsWithoutAutomaticBehavior();

    // A flow of the archived class, read from `archive`; null (with a log
    // line) when it cannot be decoded.
    static std::shared_ptr<QFFlow> decodeFlow(const nlohmann::json& archive);

private:
    std::shared_ptr<lf::UserDefaults> defaults() const;
    void loadRecentFlows();
    void setRecentFlows(std::vector<std::shared_ptr<QFFlow>> flows);
    void observeRecentFlows();
    void saveRecentFlows();
    void updateRunningFlowsWithoutUI();
    void recentFlowChangesToRunChanged();

    const std::shared_ptr<lf::UserDefaults> defaults_;
    std::optional<std::vector<std::shared_ptr<QFFlow>>> recentFlows_;
    bool isRunningFlowsWithoutUI_ = false;
    std::vector<lf::Observation> flowObservations_;
};
