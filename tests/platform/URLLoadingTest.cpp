// Loading URLs over libcurl: whole resources and downloads into files, here
// from file URLs (the updater's tests use a local HTTP server).

#include "platform/dispatch/MainQueue.h"
#include "platform/transfers/URLDownload.h"
#include "platform/transfers/URLRequest.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::string fileURL(const fs::path& path) {
    return "file://" + path.string();
}

TEST(URLRequest, LoadsWholeResourcesWithinTheirLimit) {
    lf::test::TemporaryDirectory folder;
    lf::test::writeFile(folder / "feed.xml", "<rss/>");
    lf::URLRequest request;
    request.url = fileURL(folder / "feed.xml");
    lf::Result<lf::Data> data = lf::loadURLSynchronously(request);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->stringView(), "<rss/>");

    request.maximumLength = 3;
    lf::Result<lf::Data> tooLong = lf::loadURLSynchronously(request);
    ASSERT_FALSE(tooLong);
    EXPECT_EQ(tooLong.error().code, lf::kURLErrorDataLengthExceedsMaximum);

    request.url = fileURL(folder / "missing.xml");
    EXPECT_FALSE(lf::loadURLSynchronously(request));
    request.url = "ftp://127.0.0.1/feed.xml";
    lf::Result<lf::Data> unsupported = lf::loadURLSynchronously(request);
    ASSERT_FALSE(unsupported);
    EXPECT_EQ(unsupported.error().code, lf::kURLErrorUnsupportedURL);
}

class Recorder : public lf::URLDownloadDelegate {
public:
    explicit Recorder(fs::path destination) : destination_(std::move(destination)) {}
    std::optional<uint64_t> expected;
    std::string suggested;
    uint64_t received = 0;
    bool finished = false;
    std::optional<lf::Error> failure;
    bool cancelOnResponse = false;

    void downloadDidReceiveResponse(lf::URLDownload& download,
                                    const lf::URLResponse& response) override {
        expected = response.expectedContentLength;
        if (cancelOnResponse) download.cancel();
    }
    std::string downloadDecideDestination(lf::URLDownload&, const std::string& name) override {
        suggested = name;
        return destination_.string();
    }
    void downloadDidReceiveData(lf::URLDownload&, uint64_t length) override { received += length; }
    void downloadDidFinish(lf::URLDownload&) override { finished = true; }
    void downloadDidFail(lf::URLDownload&, const lf::Error& error) override { failure = error; }

private:
    fs::path destination_;
};

TEST(URLDownload, WritesTheResourceAndReportsOnTheMainQueue) {
    lf::test::TemporaryDirectory folder;
    const std::string bytes(1 << 20, 'u');
    lf::test::writeFile(folder / "App%201.2.zip", bytes);
    auto recorder = std::make_shared<Recorder>(folder / "copy.zip");
    lf::URLRequest request;
    request.url = fileURL(folder / "App%25201.2.zip");
    auto download = lf::URLDownload::start(request, recorder);
    lf::MainQueue::shared()->runUntil([&] { return recorder->finished || recorder->failure; },
                                      lf::test::kPatience);
    ASSERT_TRUE(recorder->finished) << lf::describe(*recorder->failure);
    EXPECT_EQ(recorder->suggested, "App%201.2.zip") << "the name as the server sends it";
    EXPECT_EQ(recorder->expected, bytes.size());
    EXPECT_EQ(recorder->received, bytes.size()) << "every byte reported once";
    EXPECT_EQ(fs::file_size(folder / "copy.zip"), bytes.size());

    // A destination that cannot be written fails the download.
    auto unwritable = std::make_shared<Recorder>(folder / "missing" / "copy.zip");
    download = lf::URLDownload::start(request, unwritable);
    lf::MainQueue::shared()->runUntil([&] { return unwritable->finished || unwritable->failure; },
                                      lf::test::kPatience);
    ASSERT_TRUE(unwritable->failure);
    EXPECT_EQ(unwritable->failure->code, lf::kURLErrorCannotCreateFile);
}

TEST(URLDownload, AFailedDownloadRemovesWhatItWrote) {
    // curl holds file URLs to no maximum: the download stops itself past
    // it, with part of the file written.
    lf::test::TemporaryDirectory folder;
    lf::test::writeFile(folder / "archive.tgz", std::string(3 << 20, 'p'));
    auto recorder = std::make_shared<Recorder>(folder / "copy.tgz");
    lf::URLRequest request;
    request.url = fileURL(folder / "archive.tgz");
    request.maximumLength = 1 << 20;
    auto download = lf::URLDownload::start(request, recorder);
    lf::MainQueue::shared()->runUntil([&] { return recorder->finished || recorder->failure; },
                                      lf::test::kPatience);
    ASSERT_TRUE(recorder->failure);
    EXPECT_EQ(recorder->failure->code, lf::kURLErrorDataLengthExceedsMaximum);
    EXPECT_GT(recorder->received, 0u) << "the file was begun";
    EXPECT_FALSE(fs::exists(folder / "copy.tgz"));
}

TEST(URLDownload, NothingIsReportedAfterCancel) {
    lf::test::TemporaryDirectory folder;
    lf::test::writeFile(folder / "archive.tgz", std::string(1 << 20, 'c'));
    auto recorder = std::make_shared<Recorder>(folder / "copy.tgz");
    recorder->cancelOnResponse = true;
    lf::URLRequest request;
    request.url = fileURL(folder / "archive.tgz");
    auto download = lf::URLDownload::start(request, recorder);
    lf::MainQueue::shared()->runUntil([&] { return recorder->expected.has_value(); },
                                      lf::test::kPatience);
    // The transfer's thread ends by itself; its last reports are dropped.
    lf::MainQueue::shared()->runUntil([&] { return download.use_count() == 1; },
                                      lf::test::kPatience);
    lf::MainQueue::shared()->drain();
    EXPECT_TRUE(download->isCancelled());
    EXPECT_FALSE(recorder->finished);
    EXPECT_FALSE(recorder->failure);
    EXPECT_TRUE(recorder->suggested.empty());
}

}  // namespace
