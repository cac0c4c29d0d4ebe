// The feed: parsing and normalising items, reading them into releases,
// fetching a feed from a local server with the updater's user agent, and
// only over a connection nobody on the way can change.

#include "LocalHTTPServer.h"
#include "UpdaterTestSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/transfers/URLRequest.h"
#include "support/TestSupport.h"
#include "updater/feed/OMAUAppcast.h"
#include "updater/feed/RSS.h"
#include "updater/shared/OMAUStringExtras.h"

#include <gtest/gtest.h>

namespace {

using lf::test::LocalHTTPServer;

std::string feed(const std::string& items) {
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:appcast="http://example.com/appcast">
  <channel>
    <title>layerflow</title>
    <image><url>http://example.com/logo.png</url></image>
    )" + items +
           R"(
  </channel>
</rss>)";
}

RSS parsed(const std::string& text) {
    lf::Result<RSS> result = RSS::withData(text, true);
    EXPECT_TRUE(result) << (result ? "" : lf::describe(result.error()));
    return result ? std::move(*result) : RSS("", "");
}

TEST(RSS, ItemsComeNewestFirstAndTheHeaderStopsAtTheFirstItem) {
    RSS rss = parsed(feed(R"(
        <item><title>old</title><pubDate>Mon, 07 Jan 2013 10:00:00 +0000</pubDate></item>
        <item><title>newest</title><pubDate>Wed, 09 Jan 2013 19:20:11 GMT</pubDate></item>
        <item><title>undated</title><pubDate>someday</pubDate></item>
        <item><title>middle</title><pubDate>2013-01-08T09:00:00Z</pubDate></item>
        <lateHeader>ignored</lateHeader>)"));
    ASSERT_EQ(rss.newsItems().size(), 4u);
    EXPECT_EQ(rss.newsItems()[0]["title"], "newest");
    EXPECT_EQ(rss.newsItems()[1]["title"], "middle");
    EXPECT_EQ(rss.newsItems()[2]["title"], "old");
    EXPECT_EQ(rss.newsItems()[3]["title"], "undated");
    EXPECT_EQ(rss.newestItem()["title"], "newest");
    EXPECT_EQ(rss.version(), "2.0");
    EXPECT_EQ(rss.headerItems().at("title"), "layerflow");
    EXPECT_EQ(rss.headerItems().at("imageurl"), "http://example.com/logo.png");
    EXPECT_FALSE(rss.headerItems().count("lateHeader"));
}

TEST(RSS, RDFFeedsAndTheLastRSSElementAreRead) {
    RSS rdf = parsed(R"(<rdf:RDF xmlns:rdf="r" xmlns:rss="s"><rss:channel><rss:title>t</rss:title>
        </rss:channel><rss:item><rss:title>one</rss:title></rss:item></rdf:RDF>)");
    EXPECT_TRUE(rdf.isRDF());
    EXPECT_EQ(rdf.version(), "rdf");
    ASSERT_EQ(rdf.newsItems().size(), 1u);
    EXPECT_EQ(rdf.newsItems()[0]["title"], "one");

    RSS twice =
        parsed(R"(<rss version="0.9"><channel><item><title>first</title></item></channel></rss>
        <rss version="2.0"><channel><item><title>last</title></item></channel></rss>)");
    ASSERT_EQ(twice.newsItems().size(), 1u);
    EXPECT_EQ(twice.newsItems()[0]["title"], "last");

    EXPECT_FALSE(RSS::withData("<rss><channel><item>", true)) << "not XML";
    EXPECT_TRUE(parsed("<feed/>").newsItems().empty());
}

TEST(RSS, NormalisationFillsInTitlesLinksAndDescriptions) {
    RSS rss = parsed(feed(R"(
        <item><description>one two three four five six</description></item>
        <item><description><![CDATA[<p>Fixed <b>export</b></p> <a href="http://x/notes">notes</a>]]></description></item>
        <item><title>Layer &amp;amp; mask fixes</title><description>d</description></item>
        <item><title>A title that goes on and on for much longer than fifty characters</title></item>)"));
    ASSERT_EQ(rss.newsItems().size(), 4u);
    EXPECT_EQ(rss.newsItems()[0]["title"], "one two three four five...");
    EXPECT_EQ(rss.newsItems()[1]["title"], "Fixed") << "the text of the first tag";
    EXPECT_EQ(rss.newsItems()[1]["link"], "http://x/notes");
    EXPECT_EQ(rss.newsItems()[2]["title"], "Layer &amp; mask fixes");
    EXPECT_EQ(rss.newsItems()[2]["convertedTitle"], "Layer & mask fixes");
    EXPECT_EQ(rss.newsItems()[3]["title"], "A title that goes on and on...");
    EXPECT_EQ(rss.newsItems()[3]["description"],
              "A title that goes on and on for much longer than fifty characters");

    EXPECT_EQ(OMAUStripHTML("one <b>two</b> three"), "one  two  three");
    // A stray ">" makes the depth negative: what follows is dropped until
    // the depth is back at 0.
    EXPECT_EQ(OMAUStripHTML("a > b <i>c</i> d"), "a i/i");
    EXPECT_EQ(OMAUEllipsizeAfterNWords("a b c", 5), "a b c");
}

TEST(OMAUAppcastItem, ReadsTheReleaseFromItsEnclosure) {
    RSS rss = parsed(feed(R"(
        <item><title>1.2</title><description>http://example.com/notes.html</description>
          <enclosure url="http://example.com/App 1.2.zip" appcast:version="345"
            appcast:shortVersionString="1.2" appcast:md5Sum="0123" appcast:dsaSignature="c2ln"
            appcast:minimumSystemVersion="11"/></item>
        <item><title>by name</title><appcast:releaseNotesLink>http://example.com/n</appcast:releaseNotesLink>
          <enclosure url="http://example.com/App%201.3.tgz" appcast:shortVersionString="1.3"/></item>
        <item><title>none</title><enclosure url="http://example.com/App.zip"/></item>)"));
    ASSERT_EQ(rss.newsItems().size(), 3u);
    OMAUAppcastItem full(rss.newsItems()[0]);
    EXPECT_EQ(full.releaseNotesURL(), "http://example.com/notes.html");
    EXPECT_EQ(full.fileURL(), "http://example.com/App%201.2.zip");
    EXPECT_EQ(full.fileVersion(), "345");
    EXPECT_EQ(full.versionString(), "1.2/345");
    EXPECT_EQ(full.MD5Sum(), "0123");
    EXPECT_EQ(full.DSASignature(), "c2ln");
    EXPECT_EQ(full.minimumSystemVersionString(), "11");

    OMAUAppcastItem byName(rss.newsItems()[1]);
    EXPECT_EQ(byName.releaseNotesURL(), "http://example.com/n");
    EXPECT_EQ(byName.fileVersion(), "1.3");
    EXPECT_EQ(byName.versionString(), "1.3") << "a short version equal to the version stands alone";

    OMAUAppcastItem none(rss.newsItems()[2]);
    EXPECT_FALSE(none.fileVersion());
    EXPECT_FALSE(none.releaseNotesURL());
}

// Fetches the feed at `url` and answers whether it loaded, with its items.
struct Fetched {
    bool finished = false;
    bool failed = false;
    std::vector<OMAUAppcastItem> items;
};

class Recorder : public OMAUAppcastDelegate {
public:
    Fetched result;
    void appcastDidFinishLoading(std::shared_ptr<OMAUAppcast> appcast) override {
        result.finished = true;
        result.items = appcast->items();
    }
    void appcastDidFailToLoad(std::shared_ptr<OMAUAppcast>) override { result.failed = true; }
};

Fetched fetch(const std::string& url) {
    auto recorder = std::make_shared<Recorder>();
    auto appcast = OMAUAppcast::create(lf::test::makeHost({}));
    appcast->setDelegate(recorder);
    appcast->fetchAppcastFromURL(url);
    appcast.reset();
    lf::MainQueue::shared()->runUntil(
        [&] { return recorder->result.finished || recorder->result.failed; }, lf::test::kPatience);
    return recorder->result;
}

TEST(OMAUAppcast, FetchesFromAServerWithTheUpdatersUserAgent) {
    LocalHTTPServer server;
    server.serve("/appcast.xml",
                 LocalHTTPServer::Response::with(feed(
                     R"(<item><title>2</title><pubDate>Tue, 08 Jan 2013 10:00:00 +0000</pubDate>
                     <enclosure url="http://x/App.zip" appcast:version="2"/></item>
                   <item><title>3</title><pubDate>Wed, 09 Jan 2013 10:00:00 +0000</pubDate>
                     <enclosure url="http://x/App.zip" appcast:version="3"/></item>)")));
    server.serve("/broken.xml", LocalHTTPServer::Response::with("<rss><channel><item>"));
    server.serve("/gone.xml", LocalHTTPServer::Response::with("no", 500));

    Fetched good = fetch(server.url("/appcast.xml"));
    ASSERT_TRUE(good.finished);
    ASSERT_EQ(good.items.size(), 2u);
    EXPECT_EQ(good.items[0].fileVersion(), "3");
    ASSERT_FALSE(server.requests().empty());
    EXPECT_EQ(server.requests().back().userAgent,
              "layerflow/" + lf::test::kTestSystemVersion + ".100 (Linux) Updater/1.0");

    // A feed that cannot be read or reached finishes without items, which
    // the engine takes as a failed load.
    for (const char* path : {"/broken.xml", "/gone.xml", "/missing.xml"}) {
        Fetched empty = fetch(server.url(path));
        EXPECT_TRUE(empty.finished && empty.items.empty()) << path;
    }
    Fetched dead = fetch("http://127.0.0.1:1/appcast.xml");
    EXPECT_TRUE(dead.finished && dead.items.empty());
}

TEST(RSS, FeedsLoadOnlyOverTrustedConnections) {
    // Refused before anything is connected: the name does not even resolve.
    // A name that begins like this computer's is another computer.
    for (const char* url :
         {"http://updates.example.invalid/appcast.xml", "file:///etc/hostname",
          "ftp://127.0.0.1/appcast.xml", "127.0.0.1/appcast.xml",
          "http://localhost.example.com/appcast.xml", "http://127.0.0.1.example.invalid/"}) {
        lf::Result<RSS> refused = RSS::withURL(url, true);
        ASSERT_FALSE(refused) << url;
        EXPECT_EQ(refused.error().code, lf::kURLErrorAppTransportSecurityRequiresSecureConnection)
            << url;
    }

    // An https load may be led on to https only, not even to http here.
    LocalHTTPServer plain;
    LocalHTTPServer secure(LocalHTTPServer::Scheme::https);
    plain.serve("/appcast.xml", LocalHTTPServer::Response::with(feed("")));
    secure.serve("/appcast.xml", LocalHTTPServer::Response::with(feed("")));
    LocalHTTPServer::Response redirect = LocalHTTPServer::Response::with("", 302);
    redirect.headers = {"Location: " + plain.url("/appcast.xml")};
    secure.serve("/to-http.xml", redirect);
    redirect.headers = {"Location: " + secure.url("/appcast.xml")};
    secure.serve("/to-https.xml", redirect);
    EXPECT_TRUE(RSS::withURL(secure.url("/to-https.xml"), true));
    lf::Result<RSS> redirected = RSS::withURL(secure.url("/to-http.xml"), true);
    ASSERT_FALSE(redirected);
    EXPECT_EQ(redirected.error().code, lf::kURLErrorAppTransportSecurityRequiresSecureConnection);
    EXPECT_TRUE(plain.requests().empty());

    // A certificate for another host name is refused, though trusted.
    LocalHTTPServer elsewhere(LocalHTTPServer::Scheme::https,
                              lf::test::TestCertificate::forAnotherHost());
    elsewhere.serve("/appcast.xml", LocalHTTPServer::Response::with(feed("")));
    EXPECT_FALSE(RSS::withURL(elsewhere.url("/appcast.xml"), true));
    EXPECT_TRUE(elsewhere.requests().empty());

    // A certificate that no trusted authority vouches for is refused.
    lf::test::ScopedEnvironment systemAuthorities("SSL_CERT_FILE", std::nullopt);
    const size_t served = secure.requests().size();
    EXPECT_FALSE(RSS::withURL(secure.url("/appcast.xml"), true));
    EXPECT_EQ(secure.requests().size(), served);
}

}  // namespace
