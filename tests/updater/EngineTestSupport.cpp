#include "EngineTestSupport.h"

#include "platform/dispatch/MainQueue.h"

#include <fmt/format.h>

#include <algorithm>

namespace fs = std::filesystem;

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

void EngineTest::SetUp() {
    defaults_ = std::make_shared<lf::UserDefaults>((folder_ / "defaults.json").string());
    installed_ = makeApplication(folder_ / "Applications", "layerflow", "1.0");
    fs::create_directories(folder_ / "tmp");
}

std::shared_ptr<OMAUUpdater> EngineTest::makeEngine(nlohmann::json info) {
    if (!info.contains("AUFeedURL")) info["AUFeedURL"] = server_.url("/appcast.xml");
    if (info["AUFeedURL"].is_null()) info.erase("AUFeedURL");
    OMAUUpdater::Environment environment;
    environment.host = makeHost(info, installed_);
    environment.defaults = defaults_;
    environment.scheduler = scheduler_;
    environment.presenter = presenter_;
    environment.privilegedMove = OMAUPrivilegedMove{"env", LF_UPDATE_INSTALLER};
    environment.relaunch = [this](const OMAURelaunchRequest& request) {
        relaunches_.push_back(request);
    };
    environment.terminate = [this] { ++terminations_; };
    return OMAUUpdater::create(std::move(environment));
}

void EngineTest::serveFeed(const std::string& version, const std::string& enclosure,
                           const std::string& archive, LocalHTTPServer* server) {
    const std::string archiveURL = archive.starts_with("/") ? server_.url(archive) : archive;
    (server ? *server : server_)
        .serve("/appcast.xml", LocalHTTPServer::Response::with(fmt::format(
                                   R"(<rss version="2.0" xmlns:appcast="a">
            <channel><title>layerflow</title><item><title>Version {0}</title>
            <description>Faster exports.</description><pubDate>Wed, 09 Jan 2013 19:20:11 +0000</pubDate>
            <enclosure url="{1}" appcast:version="{0}" {2}/></item></channel></rss>)",
                                   version, archiveURL, enclosure)));
}

std::string EngineTest::serveArchive(const std::string& path, const std::string& version,
                                     LocalHTTPServer::Response response,
                                     const std::function<void(const fs::path&)>& extra,
                                     LocalHTTPServer* server) {
    const fs::path source = folder_ / ("source" + std::to_string(archives_++));
    makeApplication(source, "layerflow.app", version);
    if (extra) extra(source);
    const fs::path archive = folder_ / "archive.tgz";
    EXPECT_TRUE(runIn(source, "tar -czf '" + archive.string() + "' ."));
    response.body = readText(archive);
    (server ? *server : server_).serve(path, response);
    return md5Of(response.body);
}

void EngineTest::settle(const std::shared_ptr<OMAUUpdater>& engine) {
    const int attention = presenter_->attentionRequests;
    lf::MainQueue::shared()->runUntil(
        [&] {
            return !engine->isUpdateInProgress() || presenter_->attentionRequests > attention ||
                   terminations_ > 0;
        },
        kPatience);
}

}  // namespace lf::test
