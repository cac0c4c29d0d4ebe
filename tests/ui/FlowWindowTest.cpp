// Flow documents on disk, and flow windows end to end: tagged documents
// handed to the application show in a window's export flow view and are
// saved from the window's menu into a folder a fake panel chooses, the
// question after a first save is asked once, and the same set of documents
// reuses its flow.

#include "AppTestSupport.h"
#include "flows/QFExportFlow.h"
#include "flows/QFFlow.h"
#include "flows/QFFlowInput.h"
#include "flows/QFFlowManager.h"
#include "flows/QFFlowPlugInManager.h"
#include "platform/MainQueue.h"
#include "support/TestSupport.h"
#include "ui/iconview/QFExportFlowController.h"
#include "ui/iconview/QFIconView.h"
#include "ui/recents/QFRecentsPopover.h"
#include "ui/recents/QFRecentsStyle.h"
#include "ui/shell/QFApplicationFlowHooks.h"
#include "ui/shell/QFApplicationMenu.h"
#include "ui/shell/QFFlowStartController.h"
#include "ui/widgets/QFEtchedTextField.h"
#include "ui/widgets/QFPlaceholderView.h"
#include "ui/widgets/QFSimpleImageView.h"
#include "ui/window/QFFlowTitleView.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFWindow.h"
#include "ui/window/QFWindowButton.h"
#include "ui/window/QFWindowSheet.h"
#include "ui/window/QFWindowTitleView.h"

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

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

class FlowWindows : public ::testing::Test {
protected:
    FlowWindows() {
        QFDocumentController::setShared(std::make_shared<QFDocumentController>());
        QFFlowInterfaceHooks hooks = QFApplicationFlowHooks();
        hooks.chooseOutputDirectory = [this](QFFlowRunController&,
                                             const std::optional<std::string>&,
                                             std::function<void(std::optional<std::string>)> done) {
            ++panels;
            done(out.string());
        };
        QFFlowInterfaceHooks::install(hooks);
        app.delegate.applicationWillFinishLaunching();
        auto manager = QFFlowManager::defaultManager();
        for (const auto& flow : std::vector(manager->recentFlows()))
            manager->removeFlow(flow);
    }
    ~FlowWindows() override {
        // A run still extracting would outlive its window, and the test's
        // process at its end.
        EXPECT_TRUE(lf::MainQueue::shared()->runUntil([] {
            QCoreApplication::processEvents();
            for (const auto& document : QFDocumentController::shared().orderedDocuments())
                for (const auto& controller : document->windowControllers())
                    if (const auto* run = dynamic_cast<const QFFlowRunController*>(
                            controller->window()->contentViewController().get());
                        run && run->isRunning())
                        return false;
            return true;
        }));
        for (const auto& document : std::vector(QFDocumentController::shared().orderedDocuments()))
            document->close();
        QFFlowInterfaceHooks::install({});
    }

    static std::string document(const std::string& name) {
        return fs::canonical(lf::test::sharedFile("psd-tagged/" + name)).string();
    }
    // The export flow view of the only window once it offers Save.
    QFExportFlowController& readyFlowView() {
        QFExportFlowController* view = nullptr;
        EXPECT_TRUE(lf::MainQueue::shared()->runUntil([&] {
            QCoreApplication::processEvents();
            view = dynamic_cast<QFExportFlowController*>(
                onlyWindow().window()->contentViewController().get());
            return view && view->offersSave();
        }));
        return *view;
    }
    // Gives the focus to the tiles of `view`, in the active window, where
    // typed keys go.
    void focusIconsOf(QFExportFlowController& view) {
        QWidget& window = *onlyWindow().window();
        window.activateWindow();
        view.iconView()->setFocus();
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] {
            QCoreApplication::processEvents();
            return QApplication::activeWindow() == &window && view.iconView()->hasFocus();
        }));
    }
    // Chooses the item of the window's menu that sends `action`.
    void choose(std::string_view action) {
        QFApplicationMenu& menu = *onlyWindow().menuButton()->menu();
        menu.trigger(*menu.itemWithAction(action));
    }
    // Saves the flow shown, as the user does from the menu.
    void saveWhenReady() {
        readyFlowView();
        choose(QFAction::SaveFlowOutput);
    }
    QFFlowWindowController& onlyWindow() {
        const auto& documents = QFDocumentController::shared().orderedDocuments();
        EXPECT_EQ(documents.size(), 1u);
        return *documents.front()->windowControllers().front();
    }
    // The question after the save, once it shows.
    QMessageBox* waitForQuestion() {
        QFFlowWindowController& window = onlyWindow();
        EXPECT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] { return window.repeatAutomaticallyAlert() != nullptr; }));
        return window.repeatAutomaticallyAlert();
    }
    // Waits for the question after the save, then answers it.
    void answerQuestion(bool proceed, QString* title = nullptr) {
        QMessageBox* question = waitForQuestion();
        ASSERT_NE(question, nullptr);
        QMessageBox& alert = *question;
        if (title) *title = alert.text();
        for (QAbstractButton* button : alert.buttons()) {
            if ((alert.buttonRole(button) == QMessageBox::AcceptRole) == proceed) {
                button->click();
                break;
            }
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ++questions;
    }
    void waitUntilIdle() {
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] {
            return onlyWindow().canStartAnything() &&
                   !QFFlowManager::defaultManager()->recentFlows().empty();
        }));
    }

    lf::test::TemporaryDirectory scratch;
    const fs::path out = scratch / "out";
    lf::test::ScopedApplication app;
    int panels = 0;
    int questions = 0;
};

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
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] { return fs::exists(out / "pixel.png"); }));
    waitUntilIdle();
    lf::MainQueue::shared()->drain();
    EXPECT_EQ(onlyWindow().repeatAutomaticallyAlert(), nullptr);
    EXPECT_EQ(QFFlowManager::defaultManager()->recentFlows().size(), 1u);
    EXPECT_EQ(QFFlowManager::defaultManager()->recentFlows().front(), flow);
    EXPECT_EQ(panels, 2);
    EXPECT_EQ(questions, 1);
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
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] {
        QCoreApplication::processEvents();
        handed = other.runningFlow();
        return handed != nullptr;
    }));
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

namespace {

// The application's documents, with the errors they would show recorded.
class ErrorRecordingDocuments : public QFDocumentController {
public:
    void presentError(const lf::Error& error) override { presented.push_back(error); }
    std::vector<lf::Error> presented;
};

}  // namespace

// A document opened or dropped through a link that leads to nothing, or to
// no document, leaves the window as it was and shows the error the command
// line prints; a link to a document opens the document, under the link's
// path.
TEST_F(FlowWindows, ALinkOpensItsDocumentAndABrokenOneSaysWhy) {
    auto documents = std::make_shared<ErrorRecordingDocuments>();
    QFDocumentController::setShared(documents);
    const fs::path dangling = scratch / "dangling.psd", notes = scratch / "notes.psd",
                   linked = scratch / "linked.psd";
    fs::create_symlink(scratch / "missing.psd", dangling);
    lf::test::writeFile(scratch / "notes.txt", "notes");
    fs::create_symlink(scratch / "notes.txt", notes);
    fs::create_symlink(document("01-plain.psd"), linked);
    const auto waitForErrors = [&](size_t count) {
        return lf::MainQueue::shared()->runUntil([&] {
            QCoreApplication::processEvents();
            return documents->presented.size() >= count;
        });
    };

    app.delegate.openFiles({dangling.string()});
    ASSERT_TRUE(waitForErrors(1));
    const lf::Error& nothing = documents->presented[0];
    EXPECT_TRUE(nothing.is(lf::kPOSIXErrorDomain, ENOENT));
    EXPECT_EQ(nothing.localizedDescription(),
              "open " + dangling.string() + ": No such file or directory");
    EXPECT_TRUE(onlyWindow().canStartAnything());

    QMimeData drag;
    drag.setUrls({QUrl::fromLocalFile(QString::fromStdString(notes.string()))});
    QFDraggingInfo info;
    info.mimeData = &drag;
    EXPECT_EQ(onlyWindow().performDragOperation(info), false);
    ASSERT_TRUE(waitForErrors(2));
    EXPECT_EQ(documents->presented[1].localizedDescription(),
              notes.string() + " is not a Photoshop document (.psd or .psb)");
    EXPECT_TRUE(onlyWindow().canStartAnything());

    app.delegate.openFiles({linked.string()});
    EXPECT_EQ(readyFlowView().iconView()->items().size(), 1u);
    EXPECT_EQ(onlyWindow().runningFlow()->inputURLs(), std::set<std::string>{linked.string()});
    EXPECT_EQ(documents->presented.size(), 2u);
}

// A window closed while its flow still extracts goes with its views; the
// run ends later, finds nothing to show its outputs in, and is let go.
TEST_F(FlowWindows, AWindowClosedDuringItsFirstRunIsLetGo) {
    app.delegate.openFiles({document("05-folders.psd")});
    std::weak_ptr<QFViewController> shown;
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] {
        shown = onlyWindow().window()->contentViewController();
        return dynamic_cast<QFExportFlowController*>(shown.lock().get()) != nullptr;
    }));
    onlyWindow().window()->close();
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return QFDocumentController::shared().orderedDocuments().empty();
    }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(lf::MainQueue::shared()->runUntil([&] {
        QCoreApplication::processEvents();
        return shown.expired();
    }));
}

TEST_F(FlowWindows, ARunningWindowRefusesDropsAndCancellingAsksNothing) {
    app.delegate.openFiles({document("01-plain.psd")});
    readyFlowView();
    QFFlowWindowController& window = onlyWindow();
    QMimeData drag;
    drag.setUrls({QUrl::fromLocalFile(QString::fromStdString(document("02-formats.psd")))});
    QFDraggingInfo info;
    info.mimeData = &drag;
    EXPECT_EQ(window.draggingEntered(info), Qt::IgnoreAction);
    EXPECT_FALSE(window.canStartFlowWithURLs({document("02-formats.psd")}));

    choose(QFAction::CancelFlow);
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] { return window.canStartAnything(); }));
    lf::MainQueue::shared()->drain();
    EXPECT_EQ(window.repeatAutomaticallyAlert(), nullptr);
    EXPECT_EQ(window.draggingEntered(info), Qt::CopyAction);  // idle again
    EXPECT_FALSE(fs::exists(out));
    // Nobody saves or cancels in an idle window.
    QFApplicationMenu& menu = *window.menuButton()->menu();
    menu.validate();
    EXPECT_FALSE(menu.itemWithAction(QFAction::SaveFlowOutput)->isEnabled());
    EXPECT_FALSE(menu.itemWithAction(QFAction::CancelFlow)->isEnabled());
}

// A save that fails says why on a sheet of the window, which has no title
// bar: the alert's text is the error's description (here naming the output
// folder, which is a file), its informative text the failure reason.
TEST_F(FlowWindows, AFailedSaveShowsTheErrorOnItsSheet) {
    lf::test::writeFile(out, "a file where the folder should be");
    app.delegate.openFiles({document("01-plain.psd")});
    QFExportFlowController& view = readyFlowView();
    QFWindow& window = *onlyWindow().window();
    const auto shownAlert = [&]() -> QMessageBox* {
        for (auto* alert : window.findChildren<QMessageBox*>())
            if (alert->isVisible()) return alert;
        return nullptr;
    };
    saveWhenReady();
    QMessageBox* alert = shownAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(QFWindowIsSheet(alert));
    EXPECT_EQ(alert->text().toStdString(),
              "The output folder “" + out.string() + "” is a file, not a folder");
    EXPECT_FALSE(onlyWindow().canStartAnything());  // the flow stays, to be saved elsewhere
    alert->accept();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    view.didFailToSaveOutputWithError(
        lf::Error("test", 1,
                  {{lf::kLocalizedDescriptionKey, std::string("The output could not be saved.")},
                   {lf::kLocalizedFailureReasonErrorKey, std::string("The disk is full.")}}));
    alert = shownAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text().toStdString(), "The output could not be saved.");
    EXPECT_EQ(alert->informativeText().toStdString(), "The disk is full.");
}

// Escape, typed as the user does (through the window's shortcuts), with
// tiles selected only clears the selection; without a selection it cancels
// the flow as the menu's Cancel does.
TEST_F(FlowWindows, EscapeClearsTheSelectionBeforeItCancelsTheFlow) {
    app.delegate.openFiles({document("05-folders.psd")});
    QFExportFlowController& view = readyFlowView();
    QFFlowWindowController& window = onlyWindow();
    QFIconView& icons = *view.iconView();
    focusIconsOf(view);
    icons.setSelectedIndexes({0, 2});

    QTest::keyClick(&icons, Qt::Key_Escape);
    EXPECT_TRUE(icons.selectedIndexes().empty());
    lf::MainQueue::shared()->drain();
    EXPECT_FALSE(window.canStartAnything());
    EXPECT_TRUE(view.offersSave());

    QTest::keyClick(&icons, Qt::Key_Escape);
    EXPECT_TRUE(lf::MainQueue::shared()->runUntil([&] { return window.canStartAnything(); }));
    EXPECT_FALSE(fs::exists(out));
}

// Escape and Close Window (Ctrl+W) typed into the preview panel, a window
// of its own over the flow window, close the preview alone: the flow
// window, its flow and its selection stay.
TEST_F(FlowWindows, EscapeAndCloseInThePreviewCloseOnlyThePreview) {
    app.delegate.openFiles({document("05-folders.psd")});
    QFExportFlowController& view = readyFlowView();
    QFFlowWindowController& window = onlyWindow();
    QFIconView& icons = *view.iconView();
    focusIconsOf(view);
    QTest::keyClick(&icons, Qt::Key_Right);
    for (const QKeyCombination key :
         {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
        SCOPED_TRACE(QKeySequence(key).toString().toStdString());
        QTest::keyClick(&icons, Qt::Key_Space);
        QFPreviewPanel* panel = icons.previewPanel();
        ASSERT_TRUE(panel && panel->isVisible());
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] {
            QCoreApplication::processEvents();
            return QApplication::activeWindow() == panel;
        }));

        QTest::keyClick(panel, key.key(), key.keyboardModifiers());
        EXPECT_FALSE(panel->isVisible());
        lf::MainQueue::shared()->drain();
        QCoreApplication::processEvents();
        EXPECT_TRUE(window.window()->isVisible());
        EXPECT_FALSE(window.canStartAnything());
        EXPECT_TRUE(view.offersSave());
        EXPECT_EQ(icons.selectedIndexes(), std::vector<size_t>{0});
        focusIconsOf(view);
    }
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
        std::chrono::seconds(20)))
        << shown.size() << " of the documents show";
    EXPECT_EQ(QFDocumentController::shared().orderedDocuments().size(), handed.size());
}

// The idle window that takes a handed-over document comes out of its
// minimized state, to show the flow it was given.
TEST_F(FlowWindows, AMinimizedWindowThatTakesAHandOverIsRestored) {
    app.delegate.openFilesOrUntitledDocument({});
    QFWindow& window = *onlyWindow().window();
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    app.delegate.openFilesOrUntitledDocument({document("01-plain.psd")});
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] {
        QCoreApplication::processEvents();
        return onlyWindow().runningFlow() != nullptr;
    }));
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

// Opens what the test puts in `answer` when the open panel is run.
class AnsweringDocumentController final : public QFDocumentController {
public:
    std::vector<std::string> URLsFromRunningOpenPanel() override { return answer; }
    std::vector<std::string> answer;
};

// The menu, shown once while the window is idle, finds Save and Cancel
// disabled; its key equivalents, typed as the user types them, still work
// once a flow shows: Escape cancels it (after clearing a selection), and
// Ctrl+S saves the next.
TEST_F(FlowWindows, KeyEquivalentsWorkWhateverTheMenuLastShowed) {
    auto documents = std::make_shared<AnsweringDocumentController>();
    documents->answer = {document("05-folders.psd")};
    QFDocumentController::setShared(documents);
    documents->openUntitledDocumentAndDisplay(true, nullptr);
    QFFlowWindowController& window = onlyWindow();
    QFApplicationMenu& menu = *window.menuButton()->menu();
    window.menuButton()->showMenu();
    ASSERT_TRUE(menu.isVisible());
    EXPECT_FALSE(menu.itemWithAction(QFAction::SaveFlowOutput)->isEnabled());
    EXPECT_FALSE(menu.itemWithAction(QFAction::CancelFlow)->isEnabled());
    menu.hide();

    // Types `key` into the view that has the focus in the active window.
    const auto type = [&](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        window.window()->activateWindow();
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] {
            QCoreApplication::processEvents();
            return QApplication::activeWindow() == window.window();
        }));
        QWidget* focus = window.window()->focusWidget();
        QTest::keyClick(focus ? focus : window.window(), static_cast<Qt::Key>(key), modifiers);
    };
    // File › Open… by its key.
    const auto openDocument = [&]() -> QFExportFlowController& {
        type(Qt::Key_O, Qt::ControlModifier);
        QFExportFlowController& view = readyFlowView();
        view.iconView()->setFocus();
        return view;
    };

    QFExportFlowController& view = openDocument();
    type(Qt::Key_Right);
    EXPECT_EQ(view.iconView()->selectedIndexes(), std::vector<size_t>{0});
    type(Qt::Key_Escape);
    EXPECT_TRUE(view.iconView()->selectedIndexes().empty());
    EXPECT_FALSE(window.canStartAnything());
    type(Qt::Key_Escape);
    EXPECT_TRUE(lf::MainQueue::shared()->runUntil([&] { return window.canStartAnything(); }));

    openDocument();
    type(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(panels, 1);
    answerQuestion(false);
    EXPECT_FALSE(entries(out).empty());
}

// Where `view` lies on the screen.
QRect globalFrame(const QWidget& view) {
    return QRect(view.mapToGlobal(QPoint(0, 0)), view.size());
}

// Whether any two of `views` overlap on the screen.
bool anyOverlap(const std::vector<const QWidget*>& views) {
    for (size_t i = 0; i < views.size(); ++i)
        for (size_t j = i + 1; j < views.size(); ++j)
            if (globalFrame(*views[i]).intersects(globalFrame(*views[j]))) return true;
    return false;
}

// An idle window made as small as 120 by 90 stops at a size where its
// title bar's controls stand apart and its placeholder fits below them.
TEST_F(FlowWindows, ASmallIdleWindowKeepsItsControlsApartAndItsPlaceholderWhole) {
    auto document = QFDocumentController::shared().openUntitledDocumentAndDisplay(true, nullptr);
    QFFlowWindowController& controller = onlyWindow();
    QFWindow& window = *controller.window();
    window.resize(120, 90);
    QCoreApplication::processEvents();
    EXPECT_GT(window.width(), 120);
    EXPECT_GT(window.height(), 90);
    auto* title = dynamic_cast<QFFlowTitleView*>(window.titleView());
    ASSERT_TRUE(title && title->label());
    EXPECT_FALSE(anyOverlap({window.standardWindowButton(QFStandardWindowButton::Zoom),
                             controller.menuButton(), title->label(),
                             controller.recentRepeatWindowButton()}));
    EXPECT_TRUE(globalFrame(*window.windowTitleView()).contains(globalFrame(*title->label())));

    QFPlaceholderView& placeholder = *controller.startViewController()->placeholderView();
    const QRect content = globalFrame(*window.customizableContentView());
    const std::vector<const QWidget*> parts = {placeholder.imageView(), placeholder.titleView(),
                                               placeholder.buttonContainer()};
    for (const QWidget* part : parts)
        EXPECT_TRUE(content.contains(globalFrame(*part)));
}

// In a narrow window the running flow's title, the item count and Save /
// Cancel, stays whole in the title area, clear of the menu button; the
// window keeps the width that takes.
TEST_F(FlowWindows, ANarrowWindowKeepsTheCountClearOfTheMenuButton) {
    app.delegate.openFiles({document("05-folders.psd")});
    QFExportFlowController& view = readyFlowView();
    QFFlowWindowController& controller = onlyWindow();
    QFWindow& window = *controller.window();
    window.resize(360, 400);
    QCoreApplication::processEvents();
    const QRect titleArea = globalFrame(*window.windowTitleView());
    EXPECT_TRUE(titleArea.contains(globalFrame(*view.flowTitleLabel())));
    EXPECT_TRUE(titleArea.contains(globalFrame(*view.saveCancelButton())));
    EXPECT_FALSE(anyOverlap({controller.menuButton(), view.flowTitleLabel(),
                             view.saveCancelButton(), controller.recentRepeatWindowButton()}));
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
        [] { return !QFFlowManager::defaultManager()->isRunningFlowsWithoutUI(); }));
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
