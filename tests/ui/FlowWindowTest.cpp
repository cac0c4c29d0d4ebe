// Flow documents on disk, and flow windows end to end: tagged documents
// handed to the application show in a window's export flow view and are
// saved from the window's menu into a folder a fake panel chooses, the
// question after a first save is asked once, the same set of documents
// reuses its flow, documents handed over at once each find a window, and
// documents handed over again find the window that shows them.

#include "FlowWindowTestSupport.h"
#include "flows/QFExportFlow.h"
#include "flows/QFFlow.h"
#include "flows/inputs/QFFlowInput.h"
#include "flows/inputs/QFFlowPlugInManager.h"
#include "platform/settings/UserDefaults.h"
#include "ui/iconview/QFIconView.h"
#include "ui/recents/QFRecentsPopover.h"
#include "ui/recents/QFRecentsStyle.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFWindowButton.h"

#include <QImage>
#include <QPainter>
#include <QPushButton>

#include <functional>
#include <set>
#include <utility>

namespace {

namespace fs = std::filesystem;

// The hook called as files handed over come back matched with the flows
// shown, set for the object's life.
class ScopedHandOverMatchedHook {
public:
    explicit ScopedHandOverMatchedHook(std::function<void()> hook) {
        QFFlowWindowController::setHandOverMatchedHookForTesting(std::move(hook));
    }
    ~ScopedHandOverMatchedHook() { QFFlowWindowController::setHandOverMatchedHookForTesting({}); }
    ScopedHandOverMatchedHook(const ScopedHandOverMatchedHook&) = delete;
    ScopedHandOverMatchedHook& operator=(const ScopedHandOverMatchedHook&) = delete;
};

TEST(QFFlowDocument, IsAFolderWithOneEmptyWorkflowFileAndAlwaysReads) {
    lf::test::TemporaryDirectory scratch;
    const fs::path package = scratch / "Export.tsflow";
    QFFlowDocument document;
    ASSERT_TRUE(document.writeToURL(package.string()));
    EXPECT_EQ(entries(package), std::vector<std::string>{"Workflow"});
    EXPECT_EQ(fs::file_size(package / "Workflow"), 0u);

    // Writing again replaces whatever the folder had come to hold.
    lf::test::writeFile(package / "Workflow", "stale");
    lf::test::writeFile(package / "extra", "x");
    ASSERT_TRUE(document.writeToURL(package.string()));
    EXPECT_EQ(entries(package), std::vector<std::string>{"Workflow"});
    EXPECT_EQ(fs::file_size(package / "Workflow"), 0u);
    EXPECT_EQ(entries(scratch.path()),
              (std::vector<std::string>{"Export.tsflow", "Export.tsflow/Workflow"}));

    QFFlowDocument read;
    EXPECT_TRUE(read.readFromURL(package.string()));  // whatever it holds
    const auto missing = read.readFromURL((scratch / "gone.tsflow").string());
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().is("NSCocoaErrorDomain", 260));
    EXPECT_TRUE(QFFlowDocument::isFlowDocumentPath("/a/B.TsFlow"));
    EXPECT_FALSE(QFFlowDocument::isFlowDocumentPath("/a/tsflow"));
}

TEST_F(FlowWindows, ATaggedDocumentIsExportedAndAFirstSaveAsksOnce) {
    app.delegate.openFiles({document("01-plain.psd")});
    EXPECT_EQ(readyFlowView().iconView()->items().size(), 1u);
    saveWhenReady();
    // The question is a sheet below the window's title bar, and its icon
    // carries the recents badge on the application's icon.
    QMessageBox* question = waitForQuestion();
    ASSERT_NE(question, nullptr);
    const QFWindow& window = *onlyWindow().window();
    EXPECT_EQ(question->geometry().top(),
              window.geometry().top() + static_cast<int>(window.titlebarHeight()));
    EXPECT_NEAR(question->geometry().center().x(), window.geometry().center().x(), 1);
    QImage badged(64, 64, QImage::Format_ARGB32_Premultiplied);
    badged.fill(Qt::transparent);
    {
        QPainter painter(&badged);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QFRecentsStyle::iconForRecentRepeatAlert()->draw(painter, QRectF(0, 0, 64, 64));
    }
    EXPECT_TRUE(question->iconPixmap().toImage().convertToFormat(badged.format()) == badged)
        << "the question shows another icon than the badged one";
    QString title;
    answerQuestion(true, &title);
    EXPECT_EQ(title.toStdString(), QFResources::shared()->localizedString(
                                       "flow.decide.should-repeat-automatically.title"));

    // The document's one tagged layer, as the reference shows it (the
    // encoder may be one level off after un-premultiplying).
    ASSERT_EQ(entries(out), std::vector<std::string>{"pixel.png"});
    const QImage written = QImage(QString::fromStdString((out / "pixel.png").string()))
                               .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage reference =
        QImage(QString::fromStdString(
                   lf::test::sharedFile("psd-tagged/expected/01-plain/pixel.png").string()))
            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(written.size(), reference.size());
    int largest = 0;
    for (int y = 0; y < written.height(); ++y)
        for (int x = 0; x < written.width(); ++x)
            for (int shift : {0, 8, 16, 24})
                largest = std::max(largest, std::abs(int((written.pixel(x, y) >> shift) & 255) -
                                                     int((reference.pixel(x, y) >> shift) & 255)));
    EXPECT_LE(largest, 1);

    // The answer made the flow repeat automatically, and the window is idle
    // again.
    waitUntilIdle();
    const auto flow = QFFlowManager::defaultManager()->recentFlows().front();
    EXPECT_EQ(flow->behavior(), QFFlowBehaviorRepeatAutomatically);
    // ... and opened the recents on the window, where the flow now is.
    QFRecentsPopover& recents = QFRecentsPopover::sharedPopover();
    EXPECT_TRUE(recents.isShown());
    EXPECT_EQ(recents.positioningView(), onlyWindow().recentRepeatWindowButton());
    onlyWindow().closeRecentRepeat();

    // The same document again reuses that flow; it is recent, so no
    // question follows its save.
    fs::remove_all(out);
    app.delegate.openFiles({document("01-plain.psd")});
    saveWhenReady();
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] { return fs::exists(out / "pixel.png"); },
                                                  lf::test::kPatience));
    waitUntilIdle();
    lf::MainQueue::shared()->drain();
    EXPECT_EQ(onlyWindow().repeatAutomaticallyAlert(), nullptr);
    EXPECT_EQ(QFFlowManager::defaultManager()->recentFlows().size(), 1u);
    EXPECT_EQ(QFFlowManager::defaultManager()->recentFlows().front(), flow);
    EXPECT_EQ(panels, 2);
    EXPECT_EQ(questions, 1);
}

// A quit comes right after a window's Save, before anything else runs on
// the main thread: the stored recents hold the save's folder, date and
// count already, for a first save too.
TEST_F(FlowWindows, ASaveIsStoredBeforeAQuitRightAfterIt) {
    app.delegate.openFiles({document("02-formats.psd")});
    const size_t outputs = readyFlowView().iconView()->items().size();
    ASSERT_GT(outputs, 1u);
    saveWhenReady();
    const auto stored =
        QFFlowManager(std::make_shared<lf::UserDefaults>(lf::UserDefaults::standard()->path()))
            .recentFlows();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->outputDirectoryURL(), out.string());
    EXPECT_TRUE(stored[0]->lastRunDate());
    EXPECT_EQ(stored[0]->lastRunNumberOfItemsSaved(), outputs);
    EXPECT_FALSE(stored[0]->lastRunError());
    answerQuestion(false);
}

TEST_F(FlowWindows, TwoDocumentsMakeOneFlowAndTheQuestionSaysSo) {
    app.delegate.openFiles({document("01-plain.psd"), document("05-folders.psd")});
    saveWhenReady();
    QString title;
    answerQuestion(false, &title);
    EXPECT_EQ(title.toStdString(), QFResources::shared()->localizedString(
                                       "flow.decide.should-repeat-automatically.title.multiple"));
    waitUntilIdle();
    EXPECT_EQ(QFFlowManager::defaultManager()->recentFlows().front()->behavior(),
              QFFlowBehaviorNone);
    EXPECT_TRUE(fs::exists(out / "pixel.png"));
    EXPECT_TRUE(fs::exists(out / "icons/blue@2x.png"));
    EXPECT_TRUE(fs::exists(out / "app.icns"));

    // A subset of those documents is another flow.
    app.delegate.openFiles({document("05-folders.psd")});
    saveWhenReady();
    answerQuestion(false, &title);
    EXPECT_EQ(QFFlowManager::defaultManager()->recentFlows().size(), 2u);
}

// A document handed over by another launch while a window asks whether to
// repeat its last flow automatically opens a window of its own, and the
// answer reaches the flow it was asked about, never the one handed over.
TEST_F(FlowWindows, AHandOverDuringTheQuestionLeavesTheAnswerToItsFlow) {
    app.delegate.openFiles({document("01-plain.psd")});
    saveWhenReady();
    ASSERT_NE(waitForQuestion(), nullptr);
    QFFlowWindowController& asking = onlyWindow();
    const auto asked = QFFlowManager::defaultManager()->recentFlows().front();

    app.delegate.openFilesOrUntitledDocument({document("05-folders.psd")});
    const auto& documents = QFDocumentController::shared().orderedDocuments();
    ASSERT_EQ(documents.size(), 2u);
    QFFlowWindowController& other = *documents.front()->windowControllers().front();
    ASSERT_NE(&other, &asking);
    std::shared_ptr<QFFlow> handed;
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            QCoreApplication::processEvents();
            handed = other.runningFlow();
            return handed != nullptr;
        },
        lf::test::kPatience));
    EXPECT_NE(handed, asked);
    EXPECT_EQ(asking.runningFlow(), nullptr);

    QMessageBox& question = *asking.repeatAutomaticallyAlert();
    for (QAbstractButton* button : question.buttons())
        if (question.buttonRole(button) == QMessageBox::AcceptRole) button->click();
    lf::MainQueue::shared()->drain();
    EXPECT_EQ(asked->behavior(), QFFlowBehaviorRepeatAutomatically);
    EXPECT_EQ(handed->behavior(), QFFlowBehaviorNone);
    EXPECT_TRUE(asking.canStartAnything());
    asking.closeRecentRepeat();  // which the answer opened
}

// A window closed while its flow still extracts goes with its views; the
// run ends later, finds nothing to show its outputs in, and is let go.
TEST_F(FlowWindows, AWindowClosedDuringItsFirstRunIsLetGo) {
    app.delegate.openFiles({document("05-folders.psd")});
    std::weak_ptr<QFViewController> shown;
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            shown = onlyWindow().window()->contentViewController();
            return dynamic_cast<QFExportFlowController*>(shown.lock().get()) != nullptr;
        },
        lf::test::kPatience));
    onlyWindow().window()->close();
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return QFDocumentController::shared().orderedDocuments().empty();
        },
        lf::test::kPatience));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            QCoreApplication::processEvents();
            return shown.expired();
        },
        lf::test::kPatience));
}

// Documents handed over one after another before the event loop turns
// (launches at the same moment) open one flow each: a window handed files
// is taken at once, so the next go to windows of their own.
TEST_F(FlowWindows, DocumentsHandedOverTogetherOpenOneFlowEach) {
    app.delegate.openFilesOrUntitledDocument({});
    const std::set<std::string> handed = {document("01-plain.psd"), document("02-formats.psd"),
                                          document("05-folders.psd")};
    QFFlowWindowController& idle = onlyWindow();
    for (const std::string& path : handed)
        app.delegate.openFilesOrUntitledDocument({path});
    EXPECT_FALSE(idle.canStartAnything());
    EXPECT_EQ(QFDocumentController::shared().orderedDocuments().size(), handed.size());
    std::set<std::string> shown;
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            QCoreApplication::processEvents();
            shown.clear();
            for (const auto& document : QFDocumentController::shared().orderedDocuments())
                for (const auto& controller : document->windowControllers())
                    if (const auto flow = controller->runningFlow()) shown.merge(flow->inputURLs());
            return shown == handed;
        },
        lf::test::kPatience))
        << shown.size() << " of the documents show";
    EXPECT_EQ(QFDocumentController::shared().orderedDocuments().size(), handed.size());
}

// Documents handed over again while a window shows their flow bring that
// window forward, restored if minimized, and open no other: a new flow of
// them as much as a recent one, which the window shows anew.
TEST_F(FlowWindows, DocumentsHandedOverAgainBringTheirWindowForwardAndOpenNothing) {
    const std::string path = document("01-plain.psd");
    const auto handOverAgain = [&](const std::shared_ptr<QFFlow>& shown) {
        QFFlowWindowController& window = onlyWindow();
        window.window()->showMinimized();
        ASSERT_TRUE(window.window()->isMinimized());
        app.delegate.openFilesOrUntitledDocument({path});
        EXPECT_EQ(QFDocumentController::shared().orderedDocuments().size(), 1u);
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] {
                QCoreApplication::processEvents();
                return !window.window()->isMinimized();
            },
            lf::test::kPatience));
        lf::MainQueue::shared()->drain();
        QCoreApplication::processEvents();
        EXPECT_EQ(QFDocumentController::shared().orderedDocuments().size(), 1u);
        EXPECT_EQ(window.runningFlow(), shown);
        EXPECT_TRUE(window.window()->isVisible());
    };

    app.delegate.openFilesOrUntitledDocument({path});
    readyFlowView();
    handOverAgain(onlyWindow().runningFlow());

    // Saved, the flow is a recent one; handed over, it shows again.
    saveWhenReady();
    answerQuestion(false);
    waitUntilIdle();
    const auto recent = QFFlowManager::defaultManager()->recentFlows().front();
    app.delegate.openFilesOrUntitledDocument({path});
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            QCoreApplication::processEvents();
            return onlyWindow().runningFlow() == recent;
        },
        lf::test::kPatience));
    readyFlowView();
    handOverAgain(recent);
}

// Documents handed over while two windows show flows bring forward the
// window that shows theirs, the one behind as much as the one in front,
// and leave each window its flow.
TEST_F(FlowWindows, DocumentsHandedOverFindTheirWindowAmongOthers) {
    const std::string first = document("01-plain.psd"), second = document("05-folders.psd");
    app.delegate.openFilesOrUntitledDocument({first});
    readyFlowView();
    QFFlowWindowController& firstWindow = onlyWindow();
    // The other document in a window of its own, given it directly: its
    // way there does not depend on the matching under test.
    const auto& documents = QFDocumentController::shared().orderedDocuments();
    QFFlowWindowController& secondWindow = *QFDocumentController::shared()
                                                .openUntitledDocumentAndDisplay(true, nullptr)
                                                ->windowControllers()
                                                .front();
    ASSERT_TRUE(secondWindow.startFlowWithURLs({second}));
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            QCoreApplication::processEvents();
            return secondWindow.runningFlow() != nullptr;
        },
        lf::test::kPatience));
    const auto firstFlow = firstWindow.runningFlow(), secondFlow = secondWindow.runningFlow();

    bool matched = false;
    const ScopedHandOverMatchedHook noteMatch([&] { matched = true; });
    for (const auto& [path, window] :
         {std::pair{first, &firstWindow}, std::pair{second, &secondWindow}}) {
        SCOPED_TRACE(path);
        matched = false;
        app.delegate.openFilesOrUntitledDocument({path});
        // The window is chosen in the same turn as the match comes back.
        ASSERT_TRUE(
            lf::MainQueue::shared()->runUntil([&] { return matched; }, lf::test::kPatience));
        ASSERT_EQ(documents.size(), 2u);
        EXPECT_EQ(documents.front()->windowControllers().front().get(), window)
            << "another window came forward";
        EXPECT_EQ(firstWindow.runningFlow(), firstFlow);
        EXPECT_EQ(secondWindow.runningFlow(), secondFlow);
    }
}

// A window that closes while documents handed over are matched with its
// flow is no place for them: they open in a window of their own. The
// window closes as the matched files come back, before the windows are
// looked at: hidden at once, while its document goes a moment later.
TEST_F(FlowWindows, DocumentsHandedOverAsTheirWindowClosesOpenInANewOne) {
    const std::string path = document("01-plain.psd");
    app.delegate.openFilesOrUntitledDocument({path});
    readyFlowView();
    // Held, so that no window made later takes its address.
    const std::shared_ptr<QFFlowWindowController> closing = onlyWindow().shared_from_this();
    const ScopedHandOverMatchedHook closeAsMatched([&] { closing->window()->close(); });
    app.delegate.openFilesOrUntitledDocument({path});
    // Until the closed window's document has gone, and then until the
    // files show in a window, or none is left to show them.
    const auto& documents = QFDocumentController::shared().orderedDocuments();
    std::shared_ptr<QFFlow> shown;
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            if (closing->document().lock() || documents.size() > 1) return false;
            shown = documents.empty()
                        ? nullptr
                        : documents.front()->windowControllers().front()->runningFlow();
            return documents.empty() || shown;
        },
        lf::test::kPatience));
    ASSERT_EQ(documents.size(), 1u) << "the documents went with the window closed";
    EXPECT_NE(&onlyWindow(), closing.get());
    EXPECT_EQ(shown->inputURLs(), std::set<std::string>{path});
    EXPECT_TRUE(onlyWindow().window()->isVisible());
}

// The idle window that takes a handed-over document comes out of its
// minimized state, to show the flow it was given.
TEST_F(FlowWindows, AMinimizedWindowThatTakesAHandOverIsRestored) {
    app.delegate.openFilesOrUntitledDocument({});
    QFWindow& window = *onlyWindow().window();
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    app.delegate.openFilesOrUntitledDocument({document("01-plain.psd")});
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            QCoreApplication::processEvents();
            return onlyWindow().runningFlow() != nullptr;
        },
        lf::test::kPatience));
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

TEST_F(FlowWindows, RecentsButtonsTurnWhileAFlowRunsWithoutAWindow) {
    app.delegate.openFiles({document("01-plain.psd")});
    saveWhenReady();
    answerQuestion(false);
    waitUntilIdle();
    QFFlowWindowController& existing = onlyWindow();
    EXPECT_FALSE(existing.recentRepeatWindowButton()->isAnimationRunning());

    // A run in the background: every window's button turns, a window made
    // meanwhile from the start.
    const auto flow = QFFlowManager::defaultManager()->recentFlows().front();
    flow->run();
    ASSERT_TRUE(QFFlowManager::defaultManager()->isRunningFlowsWithoutUI());
    EXPECT_TRUE(existing.recentRepeatWindowButton()->isAnimationRunning());
    auto made = QFFlowWindowController::create();
    EXPECT_TRUE(made->recentRepeatWindowButton()->isAnimationRunning());

    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [] { return !QFFlowManager::defaultManager()->isRunningFlowsWithoutUI(); },
        lf::test::kPatience));
    for (QFFlowWindowController* controller : {&existing, made.get()}) {
        QFWindowButton& button = *controller->recentRepeatWindowButton();
        EXPECT_TRUE(!button.isAnimationRunning() || button.isAnimationEnding());
        EXPECT_EQ(button.toolTip().toStdString(),
                  QFResources::shared()->localizedString("recents-repeat.button.tooltip"));
    }
}

// The title-bar button opens the one recents popover under itself, closes
// it again, and takes it over from another window; the menu item says which
// it will do. A flow asked for from the popover goes to its window first.
TEST_F(FlowWindows, TheRecentsPopoverOpensUnderTheButtonOfOneWindowAtATime) {
    auto& documents = QFDocumentController::shared();
    auto back = documents.openUntitledDocumentAndDisplay(true, nullptr);
    auto front = documents.openUntitledDocumentAndDisplay(true, nullptr);
    QFFlowWindowController& backWindow = *back->windowControllers().front();
    QFFlowWindowController& frontWindow = *front->windowControllers().front();
    QFRecentsPopover& recents = QFRecentsPopover::sharedPopover();
    QFApplicationMenu& menu = *backWindow.menuButton()->menu();
    QAction& toggle = *menu.itemWithAction(QFAction::ToggleRecentRepeat);
    const auto title = [](const char* key) {
        return QString::fromStdString(QFResources::shared()->localizedString(key));
    };

    backWindow.recentRepeatWindowButton()->click();
    ASSERT_TRUE(recents.isShown());
    QWidget& button = *backWindow.recentRepeatWindowButton();
    EXPECT_EQ(recents.positioningView(), &button);
    EXPECT_EQ(recents.arrowEdge(), Qt::TopEdge);  // below the button, pointing up
    // Its arrow reaches 6 points into the button from below.
    EXPECT_EQ(recents.geometry().top(), button.mapToGlobal(QPoint(0, button.height() - 6)).y());
    menu.validate();
    EXPECT_EQ(toggle.text(), title("recents-repeat.hide.title"));

    frontWindow.toggleRecentRepeat();  // shown elsewhere: moves here
    EXPECT_TRUE(recents.isShown());
    EXPECT_EQ(recents.positioningView(), frontWindow.recentRepeatWindowButton());
    menu.validate();
    EXPECT_EQ(toggle.text(), title("recents-repeat.show.title"));

    // Asked for from the popover, a flow goes to the popover's window, not
    // the frontmost one. The windows' activations, asked for as they
    // showed, arrive first, as a window system gives them: one arriving
    // after the popover's would close it.
    QCoreApplication::processEvents();
    recents.activateWindow();
    QApplication::setActiveWindow(&recents);
    QCoreApplication::processEvents();
    if (QApplication::activeWindow() == &recents) {
        auto flow = std::make_shared<QFExportFlow>();
        auto input = std::make_shared<QFFlowInput>(
            QFFlowPlugInManager::defaultManager()->acceptedInputTypes());
        input->addInputWithURLs({document("01-plain.psd")});
        flow->setInitialInput(input);
        documents.noteDocumentCameForward(*back);
        QFFlowWindowController::startFlowInWindow(flow);
        EXPECT_EQ(frontWindow.runningFlow(), flow);
        EXPECT_EQ(backWindow.runningFlow(), nullptr);
        EXPECT_FALSE(recents.isShown());  // the window took the flow and closed it
    } else {
        ADD_FAILURE() << "the popover could not be made the active window";
    }
    frontWindow.toggleRecentRepeat();
    EXPECT_TRUE(recents.isShown());
    frontWindow.toggleRecentRepeat();
    EXPECT_FALSE(recents.isShown());
}

}  // namespace
