#include "updater/engine/OMAUScheduler.h"

#include "platform/dispatch/MainQueue.h"

#include <atomic>

namespace {

class MainQueueTimer final : public OMAUTimer {
public:
    MainQueueTimer(OMAUScheduler::Seconds interval, bool repeats, std::function<void()> action)
        : state_(std::make_shared<State>(interval, repeats, std::move(action))) {
        arm(state_);
    }
    ~MainQueueTimer() override { invalidate(); }
    void invalidate() override { state_->valid = false; }

private:
    struct State {
        State(OMAUScheduler::Seconds interval, bool repeats, std::function<void()> action)
            : interval(interval), repeats(repeats), action(std::move(action)) {}
        OMAUScheduler::Seconds interval;
        bool repeats;
        std::function<void()> action;
        std::atomic<bool> valid{true};
    };

    static void arm(const std::shared_ptr<State>& state) {
        const auto delay = std::chrono::duration_cast<std::chrono::nanoseconds>(state->interval);
        lf::MainQueue::shared()->asyncAfter(delay, [state] {
            if (!state->valid) return;
            if (state->repeats) arm(state);
            // A copy: the action may invalidate and destroy its own timer.
            auto action = state->action;
            action();
        });
    }

    std::shared_ptr<State> state_;
};

class MainQueueScheduler final : public OMAUScheduler {
public:
    std::chrono::system_clock::time_point now() const override {
        return std::chrono::system_clock::now();
    }
    std::unique_ptr<OMAUTimer> schedule(Seconds interval, bool repeats,
                                        std::function<void()> action) override {
        return std::make_unique<MainQueueTimer>(interval, repeats, std::move(action));
    }
};

}  // namespace

std::shared_ptr<OMAUScheduler> OMAUScheduler::mainQueue() {
    static const auto scheduler = std::make_shared<MainQueueScheduler>();
    return scheduler;
}
