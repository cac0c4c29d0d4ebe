#include "EngineTestSupport.h"

#include <algorithm>

namespace lf::test {

class ManualScheduler::Timer : public OMAUTimer {
public:
    explicit Timer(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}
    ~Timer() override { invalidate(); }
    void invalidate() override { entry_->valid = false; }

private:
    std::shared_ptr<Entry> entry_;
};

std::unique_ptr<OMAUTimer> ManualScheduler::schedule(Seconds interval, bool repeats,
                                                     std::function<void()> action) {
    auto entry = std::make_shared<Entry>(
        Entry{now_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(interval),
              interval, repeats, std::move(action)});
    entries_.push_back(entry);
    return std::make_unique<Timer>(entry);
}

void ManualScheduler::advance(Seconds by) {
    const auto end = now_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(by);
    for (;;) {
        std::erase_if(entries_, [](const auto& entry) { return !entry->valid; });
        auto next =
            std::min_element(entries_.begin(), entries_.end(),
                             [](const auto& a, const auto& b) { return a->fireAt < b->fireAt; });
        if (next == entries_.end() || (*next)->fireAt > end) break;
        std::shared_ptr<Entry> entry = *next;
        now_ = entry->fireAt;
        if (entry->repeats)
            entry->fireAt +=
                std::chrono::duration_cast<std::chrono::system_clock::duration>(entry->interval);
        else
            entry->valid = false;
        auto action = entry->action;
        action();
    }
    now_ = end;
}

std::vector<double> ManualScheduler::pendingDelays() const {
    std::vector<double> delays;
    for (const auto& entry : entries_)
        if (entry->valid)
            delays.push_back(std::chrono::duration<double>(entry->fireAt - now_).count());
    std::sort(delays.begin(), delays.end());
    return delays;
}

int ScriptedPresenter::runAlertPanel(const std::string& title, const std::string& message,
                                     const std::string&, const std::string&, const std::string&) {
    panels.push_back({title, message});
    if (answers.empty()) return kAlertDefaultReturn;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool ScriptedPresenter::runAutomaticUpdateAlert(const OMAUAppcastItem&) {
    ++automaticAlerts;
    return relaunchNow;
}

bool ScriptedPresenter::showed(const std::string& text) const {
    return std::any_of(panels.begin(), panels.end(), [&](const Panel& panel) {
        return panel.title.find(text) != std::string::npos ||
               panel.message.find(text) != std::string::npos;
    });
}

}  // namespace lf::test
