// A row of the recents popover: its indicators and hints, its status
// line, its clicks, and its context menu with Show Documents.

#include "AppTestSupport.h"
#include "RecentsTestSupport.h"
#include "ui/recents/QFRecentFlowButton.h"
#include "ui/recents/QFRecentIndicatorButton.h"
#include "ui/shell/QFApplicationFlowHooks.h"
#include "ui/shell/QFWorkspace.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>

#include <fcntl.h>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class RecentRowTest : public RecentsFixture {};

}  // namespace

// The indicators show the behaviour; hovering gives the hints; a click on
// a run button shows the running status while the pointer stays on it.
TEST_F(RecentRowTest, IndicatorsHintsAndClicksFollowTheBehaviour) {
    auto notify = makeFlow("Notify", QFFlowBehaviorNotifyWhenChanged);
    auto repeat = makeFlow("Repeat", QFFlowBehaviorRepeatAutomatically);
    auto plain = makeFlow("Plain", QFFlowBehaviorNone);
    showPopover();
    QFRecentRowView& repeatRow = *rowAt(0);
    QFRecentRowView& notifyRow = *rowAt(1);
    QFRecentRowView& plainRow = *rowAt(3);
    ASSERT_EQ(plainRow.representedFlow(), plain);
    EXPECT_EQ(repeatRow.repeatButton()->indicatorType(), QFRecentIndicatorTypeRecentRepeat);
    EXPECT_EQ(notifyRow.repeatButton()->indicatorType(), QFRecentIndicatorTypeDashedCircle);
    EXPECT_EQ(plainRow.repeatButton()->indicatorType(), QFRecentIndicatorTypeRepeat);
    EXPECT_FALSE(plainRow.flowButton()->hasSmartFlowStyle());
    EXPECT_TRUE(notifyRow.flowButton()->hasSmartFlowStyle());

    EXPECT_EQ(statusOf(plainRow).toStdString(), plain->localizedStatusDescription());
    plainRow.mouseEntered();
    EXPECT_EQ(statusOf(plainRow), "recents-repeat.flow.double-click.tooltip");
    plainRow.flowButton()->mouseEntered();
    EXPECT_EQ(statusOf(plainRow), "recents-repeat.flow.repeat-in-window.tooltip");
    plainRow.flowButton()->click();  // into a window
    EXPECT_EQ(started, (std::vector<std::shared_ptr<QFFlow>>{plain}));
    // The flow stays idle (no window here), so the hint comes back.
    EXPECT_EQ(statusOf(plainRow), "recents-repeat.flow.repeat-in-window.tooltip");
    plainRow.flowButton()->mouseExited();

    plainRow.repeatButton()->mouseEntered();
    EXPECT_EQ(statusOf(plainRow), "recents-repeat.flow.repeat-in-background.tooltip");
    plainRow.repeatButton()->click();  // in the background
    EXPECT_EQ(plain->status(), QFFlowStatusRunningWithoutUI);
    EXPECT_EQ(plainRow.lastClickedRunButton(), plainRow.repeatButton());
    EXPECT_EQ(statusOf(plainRow).toStdString(), plain->localizedStatusDescription());
    plainRow.repeatButton()->mouseExited();
    EXPECT_EQ(plainRow.lastClickedRunButton(), nullptr);
    EXPECT_EQ(statusOf(plainRow), "recents-repeat.flow.double-click.tooltip");
    plainRow.mouseExited();

    notifyRow.repeatButton()->mouseEntered();
    EXPECT_EQ(statusOf(notifyRow), "recents-repeat.flow.notifies-when-changed.tooltip");
    notifyRow.repeatButton()->click();  // nothing to run
    EXPECT_EQ(notify->status(), QFFlowStatusIdle);
    repeatRow.repeatButton()->mouseEntered();
    EXPECT_EQ(statusOf(repeatRow), "recents-repeat.flow.repeats-when-changed.tooltip");
    repeatRow.repeatButton()->click();
    EXPECT_EQ(repeat->status(), QFFlowStatusIdle);
    EXPECT_EQ(started.size(), 1u);
}

// While its flow's last background run failed, a row's status line says so
// and why (naming the document), until a run succeeds.
TEST_F(RecentRowTest, TheStatusLineSaysWhenTheLastRunFailed) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    auto flow = makeFlow("Broken", QFFlowBehaviorNone);
    showPopover();
    QFRecentRowView& row = *rowAt(0);
    const auto runAndWait = [&] {
        row.repeatButton()->click();
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] { return flow->status() == QFFlowStatusIdle; }, lf::test::kPatience));
    };
    runAndWait();
    EXPECT_EQ(statusOf(row).toStdString(), "Failed: “Broken.psd” Is Not a Photoshop Document");

    fs::copy_file(lf::test::sharedFile("psd-tagged/01-plain.psd"), folder / "Broken.psd",
                  fs::copy_options::overwrite_existing);
    runAndWait();
    EXPECT_FALSE(flow->lastRunError());
    EXPECT_TRUE(statusOf(row).startsWith("Just now")) << statusOf(row).toStdString();
}

// A failure longer than the row is cut short in its status line; the row's
// tooltip, shown where the pointer rests on the line (and while the line
// shows a hint instead), holds the whole text.
TEST_F(RecentRowTest, TheRowsTooltipHoldsAFailureCutShort) {
    auto flow = makeFlow("A document whose name does not fit into the row", QFFlowBehaviorNone);
    showPopover();
    QFRecentRowView& row = *rowAt(0);
    row.repeatButton()->click();
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] { return flow->status() == QFFlowStatusIdle; }, lf::test::kPatience));
    ASSERT_TRUE(flow->lastRunError());
    const QString failure =
        QString::fromStdString("Failed: " + flow->lastRunError()->localizedDescription());
    QFPopoverLabel& line = *row.statusLabel();
    ASSERT_EQ(line.text(), failure);
    EXPECT_GT(line.textSize().width(), line.textRectInBounds(QRectF(line.rect())).width())
        << "the failure fits: the test shows nothing";

    const QPoint onTheLine = line.rect().center();
    QHelpEvent help(QEvent::ToolTip, onTheLine, line.mapToGlobal(onTheLine));
    QApplication::sendEvent(&line, &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), failure);
    QToolTip::hideText();
    row.mouseEntered();
    EXPECT_NE(line.text(), failure);  // the hint
    EXPECT_EQ(row.toolTip(), failure);
}

// A notify flow whose input changed shows the dot before a grey repeat
// indicator; a click on the dot repeats it in the background.
TEST_F(RecentRowTest, ChangesToRunShowTheDot) {
    auto notify = makeFlow("Notify", QFFlowBehaviorNotifyWhenChanged);
    showPopover();
    QFFlowManager::defaultManager()->activateAutomaticBehaviorIfNeeded();
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] { return notify->input()->detectsChanges(); },
                                                  lf::test::kPatience));
    const fs::path document = folder / "Notify.psd";
    const timespec times[2] = {{4'000'000, 0}, {4'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, document.c_str(), times, 0), 0);
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] { return notify->hasChangesToRun(); },
                                                  lf::test::kPatience));
    QFRecentRowView& row = *rowAt(0);
    EXPECT_TRUE(row.hasChangesButton()->isVisibleTo(&row));
    EXPECT_EQ(row.repeatButton()->indicatorType(), QFRecentIndicatorTypeRepeat);
    EXPECT_LT(row.hasChangesButton()->geometry().right(), row.repeatButton()->geometry().left());
    EXPECT_LT(row.textContainer()->geometry().right(), row.hasChangesButton()->geometry().left());
    row.repeatButton()->mouseEntered();
    EXPECT_EQ(statusOf(row), "recents-repeat.flow.repeat-in-background.tooltip");
    row.repeatButton()->mouseExited();
    row.hasChangesButton()->click();
    EXPECT_EQ(notify->status(), QFFlowStatusRunningWithoutUI);
    EXPECT_EQ(row.lastClickedRunButton(), row.repeatButton());
}

// Right click and Control-click open one menu: reveal the inputs, the
// output folder only when there is one, and remove; the row shows its ring
// while the menu is open.
TEST_F(RecentRowTest, ContextMenuOffersTheOutputFolderOnlyWhenThereIsOne) {
    auto flow = makeFlow("A", QFFlowBehaviorNone);
    showPopover();
    QFRecentRowView& row = *rowAt(0);
    std::vector<QStringList> menus;
    std::vector<bool> ringShown;
    QFRecentRowView::setMenuPresenter([&](QMenu& menu, const QPoint&) {
        QStringList titles;
        for (QAction* action : menu.actions())
            titles << (action->isSeparator() ? "-" : action->text());
        menus.push_back(titles);
        ringShown.push_back(row.isShowingContextMenu());
        menu.actions().front()->trigger();
        if (menu.actions().size() == 4) menu.actions()[1]->trigger();
    });
    const QPoint at(100, 20);
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(at), row.mapToGlobal(QPointF(at)),
                      Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(&row, &right);
    QMouseEvent control(QEvent::MouseButtonPress, QPointF(at), row.mapToGlobal(QPointF(at)),
                        Qt::LeftButton, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(&row, &control);
    const QStringList full{"recents-repeat.flow.menu.reveal-input-in-finder",
                           "recents-repeat.flow.menu.reveal-output-directory-in-finder", "-",
                           "recents-repeat.flow.menu.remove-from-recents"};
    ASSERT_EQ(menus, (std::vector<QStringList>{full, full}));
    EXPECT_EQ(ringShown, (std::vector<bool>{true, true}));
    EXPECT_FALSE(row.isShowingContextMenu());
    const std::string input = (folder / "A.psd").string(), output = (folder / "out").string();
    EXPECT_EQ(revealed, (std::vector<std::string>{input, output, input, output}));

    // A row of a flow that has no output folder.
    QFRecentRowView standalone;
    standalone.setRepresentedFlow(makeFlow("NoOutput", QFFlowBehaviorNone, false));
    menus.clear();
    standalone.showContextMenu(QPoint());
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_EQ(menus[0], (QStringList{"recents-repeat.flow.menu.reveal-input-in-finder", "-",
                                     "recents-repeat.flow.menu.remove-from-recents"}));
}

// Show Documents hands the application's hook the documents, which it
// shows in the file manager, selected where the file manager can, else by
// opening each of their folders once; it never opens a document, which
// would open one more flow window. The output folder opens as ever.
TEST_F(RecentRowTest, ShowDocumentsShowsTheDocumentsWithoutOpeningThem) {
    const fs::path one = folder / "one", two = folder / "two";
    std::vector<std::string> documents{(one / "A.psd").string(), (two / "B.psd").string(),
                                       (one / "C.psd").string()};
    fs::create_directories(one);
    fs::create_directories(two);
    for (const std::string& document : documents)
        lf::test::writeFile(document, "not a document");
    auto input = std::make_shared<QFFlowInput>(std::vector<std::string>{lf::kTypePhotoshopImage});
    input->addInputWithURLs(documents);
    auto flow = std::make_shared<QFExportFlow>();
    flow->setInitialInput(input);
    flow->setOutputDirectoryURL((folder / "out").string());
    QFFlowManager::defaultManager()->noteNewRecentFlow(flow);
    made.push_back(flow);

    auto workspace = std::make_shared<lf::test::RecordingWorkspace>();
    QFWorkspace::setShared(workspace);
    struct Restore {
        ~Restore() { QFWorkspace::setShared(nullptr); }
    } restore;
    QFFlowInterfaceHooks hooks;
    hooks.revealInFileViewer = QFApplicationFlowHooks().revealInFileViewer;
    QFFlowInterfaceHooks::install(std::move(hooks));
    showPopover();
    QFRecentRowView& row = *rowAt(0);
    ASSERT_EQ(row.representedFlow(), flow);
    QFRecentRowView::setMenuPresenter([](QMenu& menu, const QPoint&) {
        menu.actions().front()->trigger();  // Show Documents
    });
    const auto url = [](const fs::path& path) {
        return QUrl::fromLocalFile(QString::fromStdString(path.string()));
    };
    const std::vector<QUrl> documentURLs{url(documents[0]), url(documents[1]), url(documents[2])};

    workspace->fileManagerSelects = true;
    row.showContextMenu(QPoint());
    lf::MainQueue::shared()->drain();
    ASSERT_EQ(workspace->selectedItems.size(), 1u);  // all in one request
    EXPECT_EQ(
        std::set<QUrl>(workspace->selectedItems[0].begin(), workspace->selectedItems[0].end()),
        std::set<QUrl>(documentURLs.begin(), documentURLs.end()));
    EXPECT_TRUE(workspace->openedURLs.empty());

    workspace->fileManagerSelects = false;
    row.showContextMenu(QPoint());
    lf::MainQueue::shared()->drain();
    EXPECT_EQ(std::set<QUrl>(workspace->openedURLs.begin(), workspace->openedURLs.end()),
              (std::set<QUrl>{url(one), url(two)}));
    EXPECT_EQ(workspace->openedURLs.size(), 2u) << "a folder opened twice";

    workspace->openedURLs.clear();
    row.contextMenuShowOutputDirectoryInFinder();
    lf::MainQueue::shared()->drain();
    EXPECT_EQ(workspace->openedURLs, (std::vector<QUrl>{url(folder / "out")}));
    EXPECT_EQ(workspace->selectedItems.size(), 1u);
}
