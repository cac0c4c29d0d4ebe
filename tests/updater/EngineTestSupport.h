#pragma once
// The engine's surroundings in the tests: a clock moved by hand, alert
// panels answered from a script, a local server for feeds and archives,
// and the fixture that puts them together with an installed application.

#include "LocalHTTPServer.h"
#include "UpdaterTestSupport.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"
#include "updater/engine/OMAUScheduler.h"
#include "updater/engine/OMAUUpdater.h"
#include "updater/interface/OMAUPresenter.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <deque>
#include <filesystem>
#include <functional>
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

// An application at version 1.0 installed in a folder of the test's own,
// an engine made for it on demand, and a feed and archives served over
// https; the temporary folder and the trash are the test's own too.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;

    std::shared_ptr<OMAUUpdater> makeEngine(nlohmann::json info = nlohmann::json::object());

    // A feed of one release: build `version`, its archive at /name (of the
    // https server unless a whole URL is given).
    void serveFeed(const std::string& version, const std::string& enclosure = {},
                   const std::string& archive = "/layerflow.tgz",
                   LocalHTTPServer* server = nullptr);

    // Serves an archive holding the application at version `version` (and
    // whatever `extra` adds to the folder it is made from); its MD5 sum.
    std::string serveArchive(const std::string& path, const std::string& version,
                             LocalHTTPServer::Response response = {},
                             const std::function<void(const std::filesystem::path&)>& extra = {},
                             LocalHTTPServer* server = nullptr);

    // Drains the main queue until the update has ended or waits for the user.
    void settle(const std::shared_ptr<OMAUUpdater>& engine);

    std::string installedVersion() const { return readText(installed_ / "version"); }
    bool temporaryFolderIsEmpty() const { return std::filesystem::is_empty(folder_ / "tmp"); }

    TemporaryDirectory folder_;
    ScopedEnvironment tmpdir_{"TMPDIR", (folder_ / "tmp").string()};
    ScopedEnvironment trash_{"XDG_DATA_HOME", (folder_ / "data").string()};
    // Updates come over https, as they do from the real server.
    LocalHTTPServer server_{LocalHTTPServer::Scheme::https};
    std::shared_ptr<lf::UserDefaults> defaults_;
    std::shared_ptr<ManualScheduler> scheduler_ = std::make_shared<ManualScheduler>();
    std::shared_ptr<ScriptedPresenter> presenter_ = std::make_shared<ScriptedPresenter>();
    std::vector<OMAURelaunchRequest> relaunches_;
    int terminations_ = 0;
    int archives_ = 0;
    std::filesystem::path installed_;
};

}  // namespace lf::test
