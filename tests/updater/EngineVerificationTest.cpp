// The engine's check of a downloaded archive: what an unverified archive,
// a checksum alone and a signature come to.

#include "EngineTestSupport.h"
#include "platform/core/Log.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using lf::test::EngineTest;
using lf::test::readText;

namespace {

TEST_F(EngineTest, AnUnverifiedArchiveInstallsNothing) {
    serveArchive("/layerflow.tgz", "2.0");
    const std::pair<std::string, const char*> cases[] = {
        {R"(appcast:md5Sum="00000000000000000000000000000000")", "a wrong checksum"},
        {"", "neither checksum nor signature"},
    };
    for (const auto& [enclosure, what] : cases) {
        SCOPED_TRACE(what);
        serveFeed("101", enclosure);
        presenter_->panels.clear();
        auto engine = makeEngine();
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while extracting the Update archive."));
        EXPECT_EQ(installedVersion(), "1.0");
        EXPECT_FALSE(engine->isUpdateInProgress());
        EXPECT_TRUE(temporaryFolderIsEmpty()) << "the download is removed";
    }

    // A signature expected by the property list must be there and right,
    // whatever the checksum says.
    const std::string md5 = serveArchive("/layerflow.tgz", "2.0");
    const std::string key = readText(fs::path(LF_UPDATER_TEST_DATA) / "test-dsa-public.pem");
    for (const char* signature :
         {"",
          "MD0CHQCI4OEOHe+hwj27N2+fffZybwy8FZ56ojp+Jjg7AhxFFmu5sBanX4UAHYz83dcpSSOzw7Zmi/tuLEcU"}) {
        serveFeed("101",
                  fmt::format(R"(appcast:md5Sum="{}" appcast:dsaSignature="{}")", md5, signature));
        presenter_->panels.clear();
        auto engine = makeEngine({{"AUExpectsDSASignature", true}, {"AUPublicDSAKey", key}});
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while extracting the Update archive."))
            << "signature \"" << signature << "\"";
        EXPECT_EQ(installedVersion(), "1.0");
    }
}

TEST_F(EngineTest, AChecksumAloneCountsOnlyWhenFeedAndArchiveCameOverHTTPS) {
    // Plain http, though from this computer, could have been changed on
    // the way: the checksum that comes with it proves nothing.
    lf::test::LocalHTTPServer plain;
    const std::string md5 = serveArchive("/layerflow.tgz", "2.0", {}, {}, &plain);
    server_.serve("/layerflow.tgz",
                  lf::test::LocalHTTPServer::Response::with(readText(folder_ / "archive.tgz")));
    const std::string enclosure = R"(appcast:md5Sum=")" + md5 + R"(")";
    const std::pair<std::string, const char*> feeds[] = {
        {plain.url("/appcast.xml"), "the feed over http"},
        {server_.url("/appcast.xml"), "the archive over http"},
    };
    serveFeed("101", enclosure, server_.url("/layerflow.tgz"), &plain);
    serveFeed("101", enclosure, plain.url("/layerflow.tgz"));
    for (const auto& [feed, what] : feeds) {
        SCOPED_TRACE(what);
        presenter_->panels.clear();
        lf::LogCapture log;
        auto engine = makeEngine({{"AUFeedURL", feed}});
        engine->checkForUpdates();
        settle(engine);
        EXPECT_TRUE(presenter_->showed("An error occurred while extracting the Update archive."));
        EXPECT_TRUE(log.contains("both came over https"));
        EXPECT_EQ(installedVersion(), "1.0");
        EXPECT_TRUE(temporaryFolderIsEmpty());
    }
}

TEST_F(EngineTest, ASignedArchiveIsStillLoadedOverHTTPSOnly) {
    // The signature would vouch for the archive wherever it came from; it
    // is refused all the same when a redirect leads it to plain http.
    lf::test::LocalHTTPServer plain;
    serveArchive("/layerflow.tgz", "2.0", {}, {}, &plain);
    const std::string archive = readText(folder_ / "archive.tgz");
    server_.serve("/direct.tgz", lf::test::LocalHTTPServer::Response::with(archive));
    lf::test::LocalHTTPServer::Response redirect =
        lf::test::LocalHTTPServer::Response::with("", 302);
    redirect.headers = {"Location: " + plain.url("/layerflow.tgz")};
    server_.serve("/redirected.tgz", redirect);
    const std::string signature = lf::test::signWithTestKey(archive);
    const nlohmann::json info = {
        {"AUExpectsDSASignature", true},
        {"AUPublicDSAKey", readText(fs::path(LF_UPDATER_TEST_DATA) / "test-dsa-public.pem")}};
    for (const char* path : {"/direct.tgz", "/redirected.tgz"}) {
        SCOPED_TRACE(path);
        serveFeed("101", fmt::format(R"(appcast:dsaSignature="{}")", signature), path);
        presenter_->panels.clear();
        lf::LogCapture log;
        auto engine = makeEngine(info);
        engine->checkForUpdates();
        settle(engine);
        const bool secure = std::string(path) == "/direct.tgz";
        EXPECT_EQ(engine->isUpdateInProgress(), secure) << "ready to install";
        EXPECT_EQ(log.contains("is refused"), !secure);
    }
    EXPECT_TRUE(plain.requests().empty());
    EXPECT_EQ(installedVersion(), "1.0");
}

}  // namespace
