#pragma once
// The engine's surroundings in the tests: a clock moved by hand, alert
// panels answered from a script, and a local server for feeds and archives.

#include "LocalHTTPServer.h"
#include "support/TestSupport.h"
#include "updater/engine/OMAUScheduler.h"
#include "updater/engine/OMAUUpdater.h"
#include "updater/interface/OMAUPresenter.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace lf::test {

class ManualScheduler : public OMAUScheduler {
public:
    std::chrono::system_clock::time_point now() const override { return now_; }
    std::unique_ptr<OMAUTimer> schedule(Seconds interval, bool repeats,
                                        std::function<void()> action) override;
    // Moves the clock forward, firing every timer that falls due on the way.
    void advance(Seconds by);
    void setNow(std::chrono::system_clock::time_point now) { now_ = now; }
    // The times (from now) at which live timers fire next.
    std::vector<double> pendingDelays() const;

private:
    struct Entry {
        std::chrono::system_clock::time_point fireAt;
        Seconds interval;
        bool repeats;
        std::function<void()> action;
        bool valid = true;
    };
    class Timer;
    std::chrono::system_clock::time_point now_{
        std::chrono::sys_days{std::chrono::year{2026} / 1 / 1}};
    std::vector<std::shared_ptr<Entry>> entries_;
};

class ScriptedPresenter : public OMAUPresenter {
public:
    struct Panel {
        std::string title, message;
    };
    // The answers to the next panels, in order; a panel without one gets
    // the default button.
    std::deque<int> answers;
    bool relaunchNow = true;
    std::vector<Panel> panels;
    int beeps = 0;
    int attentionRequests = 0;
    int automaticAlerts = 0;

    int runAlertPanel(const std::string& title, const std::string& message, const std::string&,
                      const std::string&, const std::string&) override;
    bool runAutomaticUpdateAlert(const OMAUAppcastItem&) override;
    void beep() override { ++beeps; }
    void requestUserAttention() override { ++attentionRequests; }
    bool showed(const std::string& titleOrMessage) const;
};

}  // namespace lf::test
