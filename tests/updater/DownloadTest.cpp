// Downloads from a local server that fail part of the way: nothing of
// them is left to be taken for the resource.

#include "LocalHTTPServer.h"
#include "platform/MainQueue.h"
#include "platform/URLDownload.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class DownloadRecorder : public lf::URLDownloadDelegate {
public:
    explicit DownloadRecorder(fs::path destination) : destination_(std::move(destination)) {}
    uint64_t received = 0;
    std::optional<lf::Error> failure;
    bool finished = false;

    std::string downloadDecideDestination(lf::URLDownload&, const std::string&) override {
        return destination_.string();
    }
    void downloadDidReceiveData(lf::URLDownload&, uint64_t length) override { received += length; }
    void downloadDidFinish(lf::URLDownload&) override { finished = true; }
    void downloadDidFail(lf::URLDownload&, const lf::Error& error) override { failure = error; }

private:
    fs::path destination_;
};

TEST(URLDownload, AFailedDownloadRemovesWhatItWrote) {
    lf::test::TemporaryDirectory folder;
    lf::test::LocalHTTPServer server;
    const std::string body(3 << 20, 'd');
    lf::test::LocalHTTPServer::Response cut = lf::test::LocalHTTPServer::Response::with(body);
    cut.cutAfter = 1 << 20;
    server.serve("/cut.tgz", cut);
    lf::test::LocalHTTPServer::Response endless = lf::test::LocalHTTPServer::Response::with(body);
    endless.withoutLength = true;
    server.serve("/endless.tgz", endless);

    // The connection lost part of the way; a server that sends on past the
    // request's maximum.
    for (const auto& [path, maximum] :
         {std::pair{"/cut.tgz", std::optional<uint64_t>()},
          std::pair{"/endless.tgz", std::optional<uint64_t>(2 << 20)}}) {
        SCOPED_TRACE(path);
        auto recorder = std::make_shared<DownloadRecorder>(folder / "archive.tgz");
        lf::URLRequest request;
        request.url = server.url(path);
        request.maximumLength = maximum;
        auto download = lf::URLDownload::start(request, recorder);
        lf::MainQueue::shared()->runUntil([&] { return recorder->finished || recorder->failure; });
        ASSERT_TRUE(recorder->failure);
        EXPECT_GT(recorder->received, 0u) << "the file was begun";
        EXPECT_FALSE(fs::exists(folder / "archive.tgz"));
    }
}

}  // namespace
