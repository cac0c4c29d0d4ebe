// The updater's windows on the offscreen platform.

#include "LocalHTTPServer.h"
#include "URLCatcher.h"
#include "UpdaterTestSupport.h"
#include "platform/core/Log.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"
#include "updater/OMSoftwareUpdater.h"
#include "updater/engine/OMAUStatusController.h"
#include "updater/interface/OMAUAutomaticUpdateAlert.h"
#include "updater/interface/OMAUPanelPresenter.h"
#include "updater/interface/OMAUSpinner.h"
#include "updater/interface/OMAUUpdateAlert.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QObject>
#include <QPushButton>
#include <QTimer>
#include <fmt/format.h>
#include <gtest/gtest.h>

namespace {

OMAUAppcastItem item(const std::string& description, std::optional<std::string> notes = {}) {
    RSSItem dictionary = {{"title", "2.0"},
                          {"description", description},
                          {"enclosure",
                           {{"url", "http://x/App.zip"},
                            {"appcast:version", "101"},
                            {"appcast:shortVersionString", "2.0"}}}};
    if (notes) dictionary["appcast:releaseNotesLink"] = *notes;
    return OMAUAppcastItem(dictionary);
}

TEST(OMAUStatusController, ANewMaximumRestartsTheProgress) {
    OMAUStatusController status(lf::test::makeHost({}));
    status.beginAction("Downloading layerflow update.", 200, "");
    status.setProgressValue(50);
    EXPECT_EQ(status.progressBar()->value(), 250);
    status.setMaxProgressValue(1000);
    EXPECT_EQ(status.progressValue(), 0);
    EXPECT_EQ(status.progressBar()->value(), 0);
    status.setMaxProgressValue(0);
    EXPECT_EQ(status.progressBar()->maximum(), 0) << "indeterminate";
    status.setProgressValue(1e12);  // no scale to overflow
    EXPECT_EQ(status.progressBar()->maximum(), 0);
    EXPECT_EQ(status.windowTitle(), "");

    status.setButtonTitle("Install and Relaunch", {}, nullptr, true);
    EXPECT_TRUE(status.actionButton()->isDefault());
    EXPECT_GE(status.actionButton()->minimumWidth(), status.actionButton()->sizeHint().width());
    status.setShowsCancelButton(true);
    status.showWindow();
    EXPECT_TRUE(status.cancelButton()->isVisible());
    status.performAction();  // no target: nothing happens
}

// A delegate that keeps the choice.
class Choice : public OMAUUpdateAlertDelegate {
public:
    std::optional<int> choice;
    void updateAlertFinishedWithChoice(OMAUUpdateAlert*, int value) override { choice = value; }
};

class UpdateAlertTest : public ::testing::Test {
protected:
    lf::test::TemporaryDirectory folder_;
    std::shared_ptr<lf::UserDefaults> defaults_ =
        std::make_shared<lf::UserDefaults>((folder_ / "defaults.json").string());
};

TEST_F(UpdateAlertTest, WithoutANotesLinkTheDescriptionIsShown) {
    OMAUUpdateAlert alert(item("<p>Faster <b>exports</b></p>"), lf::test::makeHost({}), defaults_);
    EXPECT_EQ(alert.titleText(), "A new version of layerflow is available.");
    EXPECT_EQ(alert.descriptionText(),
              "layerflow 2.0/101 is now available (you are using 1.0). Would you like to download "
              "the new version?");
    ASSERT_TRUE(alert.releaseNotesView());
    EXPECT_TRUE(alert.webViewFinishedLoading());
    EXPECT_EQ(alert.releaseNotesView()->toPlainText().trimmed(), "Faster exports");
    EXPECT_FALSE(alert.automaticUpdatesCheckbox()) << "no signed archives expected";
}

TEST_F(UpdateAlertTest, LinksInTheNotesOpenInTheBrowser) {
    lf::test::URLCatcher browser;
    QDesktopServices::setUrlHandler("http", &browser, "open");
    OMAUUpdateAlert alert(item(R"(<a href="http://example.com/more">more</a>)"),
                          lf::test::makeHost({}), defaults_);
    const QString before = alert.releaseNotesView()->toHtml();
    emit alert.releaseNotesView()->anchorClicked(QUrl("http://example.com/more"));
    QDesktopServices::unsetUrlHandler("http");
    ASSERT_EQ(browser.opened.size(), 1u);
    EXPECT_EQ(browser.opened[0], QUrl("http://example.com/more"));
    EXPECT_EQ(alert.releaseNotesView()->toHtml(), before) << "the notes stay where they are";
}

TEST_F(UpdateAlertTest, OnlyWebAndMailLinksInTheNotesOpen) {
    lf::test::URLCatcher browser;
    const char* schemes[] = {"https", "mailto", "file", "smb", "httpx"};
    for (const char* scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, &browser, "open");
    OMAUUpdateAlert alert(item("<p>Notes</p>"), lf::test::makeHost({}), defaults_);
    lf::LogCapture log;
    // A scheme that begins as the web's does is another all the same; a
    // link that is not valid is logged by what it was made of, written out.
    for (const char* link : {"file:///etc/passwd", "smb://host/share", "page.html",
                             "httpx://example.com/", "ht tp://\x1B[31mred"})
        emit alert.releaseNotesView()->anchorClicked(QUrl(link));
    EXPECT_TRUE(browser.opened.empty());
    EXPECT_TRUE(log.contains("Refused to open the release notes' link file:///etc/passwd"));
    EXPECT_TRUE(log.contains("Refused to open the release notes' link httpx://example.com/"));
    EXPECT_TRUE(log.contains("source was \"ht tp://%1B[31mred\"")) << "the invalid link, made safe";
    emit alert.releaseNotesView()->anchorClicked(QUrl("mailto:help@example.com"));
    emit alert.releaseNotesView()->anchorClicked(QUrl("https://example.com/"));
    for (const char* scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);
    EXPECT_EQ(browser.opened.size(), 2u);
}

// Clicks the first link that `label` shows, found by hovering over the
// label point by point until it shows the pointing hand a link gets.
bool clickLinkIn(QLabel* label) {
    for (int y = 1; y < label->height(); y += 2)
        for (int x = 1; x < label->width(); x += 2) {
            const QPointF at(x, y), onScreen = label->mapToGlobal(at);
            QMouseEvent move(QEvent::MouseMove, at, onScreen, Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(label, &move);
            if (label->cursor().shape() != Qt::PointingHandCursor) continue;
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                QMouseEvent click(type, at, onScreen, Qt::LeftButton,
                                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                  Qt::NoModifier);
                QApplication::sendEvent(label, &click);
            }
            return true;
        }
    return false;
}

TEST(OMAUPanelPresenter, TheUpdatePanelOpensOnlyWebAndMailLinks) {
    // The offer of an update shows the item's description, from the feed,
    // as rich text; each of its links is clicked.
    lf::test::URLCatcher desktop;
    const char* schemes[] = {"https", "mailto", "file", "javascript", "layerflow-test"};
    for (const char* scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, &desktop, "open");
    OMAUPanelPresenter presenter(lf::test::makeHost({}));
    for (const char* link : {"file:///etc/passwd", "javascript:alert(1)", "layerflow-test:run",
                             "mailto:help@example.com", "https://example.com/notes"}) {
        SCOPED_TRACE(link);
        bool clicked = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            for (QLabel* label : box->findChildren<QLabel*>())
                clicked = clicked || clickLinkIn(label);
            box->defaultButton()->click();
        });
        presenter.runAlertPanel(
            "An updated version of layerflow is available.",
            fmt::format("<p>Faster exports: <a href=\"{}\">the notes</a></p>\n\nWould you like to "
                        "update to the new version?",
                        link),
            "Install...", "Skip This Version", "Remind Later");
        EXPECT_TRUE(clicked);
    }
    for (const char* scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);
    EXPECT_EQ(desktop.opened, (std::vector<QUrl>{QUrl("mailto:help@example.com"),
                                                 QUrl("https://example.com/notes")}));
}

TEST_F(UpdateAlertTest, ReleaseNotesLoadFromTheirLink) {
    lf::test::LocalHTTPServer server(lf::test::LocalHTTPServer::Scheme::https);
    server.serve("/notes.html", lf::test::LocalHTTPServer::Response::with("<h1>Two point oh</h1>"));
    OMAUUpdateAlert alert(item("unused", server.url("/notes.html")), lf::test::makeHost({}),
                          defaults_);
    EXPECT_TRUE(alert.releaseNotesSpinner()->isAnimating());
    lf::MainQueue::shared()->runUntil([&] { return alert.webViewFinishedLoading(); },
                                      lf::test::kPatience);
    EXPECT_EQ(alert.releaseNotesView()->toPlainText().trimmed(), "Two point oh");
    EXPECT_FALSE(alert.releaseNotesSpinner()->isAnimating());
}

TEST_F(UpdateAlertTest, ReleaseNotesLoadOnlyOverTrustedConnections) {
    // Led on from https to plain http, though on this computer: the notes
    // could have been changed on the way.
    lf::test::LocalHTTPServer plain;
    plain.serve("/notes.html", lf::test::LocalHTTPServer::Response::with("<h1>Changed</h1>"));
    lf::test::LocalHTTPServer secure(lf::test::LocalHTTPServer::Scheme::https);
    lf::test::LocalHTTPServer::Response redirect =
        lf::test::LocalHTTPServer::Response::with("", 302);
    redirect.headers = {"Location: " + plain.url("/notes.html")};
    secure.serve("/notes.html", redirect);
    for (const std::string& link :
         {secure.url("/notes.html"), std::string("http://updates.example.invalid/notes.html")}) {
        SCOPED_TRACE(link);
        OMAUUpdateAlert alert(item("unused", link), lf::test::makeHost({}), defaults_);
        lf::MainQueue::shared()->runUntil([&] { return alert.webViewFinishedLoading(); },
                                          lf::test::kPatience);
        const QString shown = alert.releaseNotesView()->toPlainText();
        EXPECT_TRUE(shown.contains("is refused")) << shown.toStdString();
        EXPECT_FALSE(shown.contains("Changed"));
    }
    EXPECT_TRUE(plain.requests().empty());
}

TEST_F(UpdateAlertTest, ChoicesAndClosingReachTheDelegateOnce) {
    auto delegate = std::make_shared<Choice>();
    {
        OMAUUpdateAlert alert(item("x"), lf::test::makeHost({}), defaults_);
        alert.setDelegate(delegate);
        alert.show();
        alert.close();
        EXPECT_EQ(delegate->choice, 1) << "closing is remind me later";
        alert.skipThisVersion();
        EXPECT_EQ(delegate->choice, 1) << "once";
    }
    OMAUUpdateAlert alert(item("x"), lf::test::makeHost({}), defaults_);
    alert.setDelegate(delegate);
    alert.skipThisVersion();
    EXPECT_EQ(delegate->choice, 2);
    EXPECT_TRUE(defaults_->objectForKey("OMAUUpdateAlertFrame")) << "the frame is kept";
}

TEST_F(UpdateAlertTest, ThePropertyListShapesTheAlert) {
    OMAUUpdateAlert plain(item("x"), lf::test::makeHost({{"AUShowReleaseNotes", false}}),
                          defaults_);
    EXPECT_FALSE(plain.releaseNotesView());
    EXPECT_EQ(plain.minimumSize(), plain.maximumSize()) << "a fixed size";

    OMAUUpdateAlert signedUpdates(item("x"), lf::test::makeHost({{"AUExpectsDSASignature", true}}),
                                  defaults_);
    ASSERT_TRUE(signedUpdates.automaticUpdatesCheckbox());
    signedUpdates.automaticUpdatesCheckbox()->setChecked(true);
    EXPECT_TRUE(defaults_->boolForKey("AUAutomaticallyUpdate"));
    OMAUUpdateAlert forbidden(
        item("x"),
        lf::test::makeHost({{"AUExpectsDSASignature", true}, {"AUAllowsAutomaticUpdates", false}}),
        defaults_);
    EXPECT_FALSE(forbidden.automaticUpdatesCheckbox());
}

TEST(OMAUAutomaticUpdateAlert, AsksToRelaunch) {
    OMAUAutomaticUpdateAlert alert(item("x"),
                                   lf::test::makeHost({{"CFBundleDisplayName", "Layerflow"}}));
    EXPECT_EQ(alert.titleText(), "A new version of Layerflow has been installed!");
    EXPECT_EQ(alert.descriptionText(),
              "Layerflow 101 has been installed and will be ready to use next time Layerflow "
              "starts! Would you like to relaunch now?");
    alert.relaunchNow();
    EXPECT_EQ(alert.result(), 1);
    alert.relaunchLater();
    EXPECT_EQ(alert.result(), 0);
}

TEST(OMSoftwareUpdater, IsShared) {
    EXPECT_EQ(&OMSoftwareUpdater::sharedUpdater(), &OMSoftwareUpdater::sharedUpdater());
    EXPECT_EQ(OMSoftwareUpdater::sharedUpdater().preferencePaneView(), nullptr);
}

}  // namespace
