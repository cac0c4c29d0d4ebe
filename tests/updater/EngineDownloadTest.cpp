// The engine's download: the name an archive is saved under, the caps on
// its length, and the progress it shows.

#include "EngineTestSupport.h"
#include "platform/core/Log.h"
#include "updater/engine/OMAUStatusController.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <random>

namespace fs = std::filesystem;
using lf::test::EngineTest;
using lf::test::md5Of;

namespace {

// Adds `length` bytes that do not compress to the application in `source`,
// so that its archive is about that long.
void addNoise(const fs::path& source, size_t length) {
    std::mt19937 random(7);
    std::string noise(length, '\0');
    for (char& byte : noise)
        byte = static_cast<char>(random());
    lf::test::writeFile(source / "layerflow.app" / "noise", noise);
}

TEST_F(EngineTest, AServersNameIsSavedSafeAndShownEscaped) {
    // A name that would forge a log line, colour a terminal and turn the
    // text around, for a damaged archive: as the last part of the URL,
    // percent-decoded, and as Content-Disposition gives it (where no line
    // can end).
    const std::string junk = "twenty-one bytes, no.";
    lf::test::LocalHTTPServer::Response disposed = lf::test::LocalHTTPServer::Response::with(junk);
    disposed.headers = {
        "Content-Disposition: attachment; filename=\"Upd [fake] install OK "
        "\x1B[32mgreen\u202Epiz.zip\""};
    server_.serve("/Upd%0A%5Bfake%5D%20install%20OK%20%1B%5B32mgreen%E2%80%AEpiz.zip",
                  lf::test::LocalHTTPServer::Response::with(junk));
    server_.serve("/update.zip", disposed);
    const std::pair<std::string, std::string> cases[] = {
        {"/Upd%0A%5Bfake%5D%20install%20OK%20%1B%5B32mgreen%E2%80%AEpiz.zip",
         "/Upd_[fake] install OK _[32mgreen_piz.zip: "},
        {"/update.zip", "/Upd [fake] install OK _[32mgreen_piz.zip: "}};
    for (const auto& [archive, saved] : cases) {
        SCOPED_TRACE(archive);
        serveFeed("101", R"(appcast:md5Sum=")" + md5Of(junk) + R"(")", archive);
        presenter_->panels.clear();
        lf::LogCapture log;
        auto engine = makeEngine();
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while extracting the archive."));
        EXPECT_TRUE(log.contains(saved)) << "saved under a safe name";
        EXPECT_TRUE(log.contains("unzip: End-of-central-directory signature not found."));
        for (const std::string& line : log.lines())
            EXPECT_TRUE(lf::test::showsSafely(line)) << line;
        EXPECT_TRUE(temporaryFolderIsEmpty());
    }
}

TEST_F(EngineTest, ANameLongerThanAFolderTakesIsShortenedAndInstalls) {
    // The name keeps its extension, which tells how to unpack the archive.
    const std::string name = std::string(300, 'n') + ".tgz";
    const std::string md5 = serveArchive("/" + name, "2.0");
    serveFeed("101", R"(appcast:md5Sum=")" + md5 + R"(")", "/" + name);
    auto engine = makeEngine();
    engine->checkForUpdates();
    settle(engine);
    ASSERT_EQ(presenter_->attentionRequests, 1) << "ready to install";
    const std::string saved = engine->downloadPath().filename().string();
    EXPECT_EQ(saved.size(), 255u);
    EXPECT_TRUE(saved.starts_with("nnnn") && saved.ends_with(".tgz")) << saved;
    engine->statusController()->performAction();
    EXPECT_EQ(installedVersion(), "2.0");
}

TEST_F(EngineTest, ADownloadPastItsCapStopsAndLeavesNothing) {
    // The feed states 1000 bytes; the archive is some megabytes, announced
    // (stopped before it comes) or not (cut once past the cap).
    lf::test::LocalHTTPServer::Response withoutLength;
    withoutLength.withoutLength = true;
    for (const auto& response : {lf::test::LocalHTTPServer::Response(), withoutLength}) {
        SCOPED_TRACE(response.withoutLength ? "without a length" : "with its length");
        const std::string md5 =
            serveArchive("/layerflow.tgz", "2.0", response,
                         [](const fs::path& source) { addNoise(source, 3 << 20); });
        serveFeed("101", R"(length="1000" appcast:md5Sum=")" + md5 + R"(")");
        presenter_->panels.clear();
        auto engine = makeEngine();
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while trying to download the file."));
        EXPECT_EQ(installedVersion(), "1.0");
        EXPECT_TRUE(temporaryFolderIsEmpty());
    }
}

TEST_F(EngineTest, TheDownloadCapsHoldToTheByte) {
    // The feed's length and a mebibyte more: an archive that long is
    // taken, one a byte longer is not.
    const std::string md5 = serveArchive("/layerflow.tgz", "2.0", {},
                                         [](const fs::path& source) { addNoise(source, 3 << 19); });
    const uint64_t length = fs::file_size(folder_ / "archive.tgz");
    for (const uint64_t stated : {length - (1 << 20), length - (1 << 20) - 1}) {
        SCOPED_TRACE(stated);
        serveFeed("101", fmt::format(R"(length="{}" appcast:md5Sum="{}")", stated, md5));
        presenter_->panels.clear();
        auto engine = makeEngine();
        engine->checkForUpdates();
        settle(engine);
        const bool taken = stated + (1 << 20) == length;
        EXPECT_EQ(presenter_->showed("An error occurred while trying to download the file."),
                  !taken);
        EXPECT_EQ(engine->isUpdateInProgress(), taken) << "ready to install";
    }

    // Without a length in the feed, 2 GiB: a server announcing one byte
    // more is stopped before it sends anything; one announcing exactly that
    // is let through (and fails here as it sends less).
    for (const uint64_t announced : {uint64_t{2} << 30, (uint64_t{2} << 30) + 1}) {
        SCOPED_TRACE(announced);
        lf::test::LocalHTTPServer::Response huge = lf::test::LocalHTTPServer::Response::with("x");
        huge.announcedLength = announced;
        server_.serve("/huge.tgz", huge);
        serveFeed("101", R"(appcast:md5Sum="00000000000000000000000000000000")", "/huge.tgz");
        lf::LogCapture log;
        auto engine = makeEngine();
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while trying to download the file."));
        EXPECT_EQ(log.contains("Maximum file size exceeded"), announced > (uint64_t{2} << 30));
    }
}

TEST_F(EngineTest, AnUnknownLengthShowsIndeterminateProgress) {
    const std::string md5 = serveArchive("/layerflow.tgz", "2.0");
    serveFeed("101", R"(appcast:md5Sum=")" + md5 + R"(")");
    auto engine = makeEngine();
    engine->checkForUpdates();
    settle(engine);
    OMAUStatusController* status = engine->statusController();
    ASSERT_TRUE(status);
    lf::URLRequest dead;
    dead.url = "http://127.0.0.1:1/";
    auto download = lf::URLDownload::start(dead, {});
    lf::URLResponse response;
    for (std::optional<uint64_t> length : {std::optional<uint64_t>(), std::optional<uint64_t>(0)}) {
        response.expectedContentLength = length;
        engine->downloadDidReceiveResponse(*download, response);
        engine->downloadDidReceiveData(*download, 1500);
        EXPECT_EQ(status->maxProgressValue(), 0);
        EXPECT_EQ(status->progressBar()->maximum(), 0) << "indeterminate";
        EXPECT_EQ(status->statusText(), "2 kB") << "the count alone";
    }
    response.expectedContentLength = 3000;
    engine->downloadDidReceiveResponse(*download, response);
    engine->downloadDidReceiveData(*download, 1500);
    EXPECT_EQ(status->statusText(), "50% - 2 kB of 3 kB");
    download->cancel();
    engine->cancelDownload();
    EXPECT_FALSE(engine->isUpdateInProgress());
}

}  // namespace
