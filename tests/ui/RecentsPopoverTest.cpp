// The recents popover with the real flow manager (its defaults in the
// tests' temporary folder): row order, heights and separators, rows that
// follow behaviour changes and removals, the row's indicators, status line,
// clicks and context menu, and the flow editor.

#include "AppTestSupport.h"
#include "UiTestSupport.h"
#include "flows/QFExportFlow.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "flows/inputs/QFFlowInput.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/TypeIdentifier.h"
#include "ui/popovers/QFNavigationPopoverView.h"
#include "ui/popovers/QFPopoverLabel.h"
#include "ui/popovers/QFPopoverListView.h"
#include "ui/popovers/QFPopoverTextField.h"
#include "ui/recents/QFRecentFlowButton.h"
#include "ui/recents/QFRecentFlowEditor.h"
#include "ui/recents/QFRecentGroupRowView.h"
#include "ui/recents/QFRecentIndicatorButton.h"
#include "ui/recents/QFRecentPlaceholderRowView.h"
#include "ui/recents/QFRecentRowView.h"
#include "ui/recents/QFRecentsController.h"
#include "ui/recents/QFRecentsPopover.h"
#include "ui/shell/QFApplicationFlowHooks.h"
#include "ui/shell/QFWorkspace.h"
#include "ui/window/QFResources.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class RecentsPopoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        QImage glyph(40, 15, QImage::Format_ARGB32);
        glyph.fill(Qt::black);
        resources.image("RecentsHeaderTemplate", glyph).install();
        fs::create_directories(folder / "out");
        QFFlowInterfaceHooks hooks;
        hooks.startFlow = [this](const std::shared_ptr<QFFlow>& flow) { started.push_back(flow); };
        hooks.revealInFileViewer = [this](const std::string& path) { revealed.push_back(path); };
        QFFlowInterfaceHooks::install(std::move(hooks));
        removeAllFlows();
        host.setGeometry(100, 100, 400, 300);
        anchor = new QWidget(&host);
        anchor->setGeometry(180, 10, 40, 30);
        host.show();
    }
    void TearDown() override {
        QFRecentRowView::setMenuPresenter({});
        popover.reset();
        removeAllFlows();
        // Background runs end before the next test.
        lf::MainQueue::shared()->runUntil(
            [&] {
                for (const auto& flow : made) {
                    if (flow->status() == QFFlowStatusRunningWithoutUI) return false;
                }
                return true;
            },
            lf::test::kPatience);
        QFFlowInterfaceHooks::install({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static void removeAllFlows() {
        auto manager = QFFlowManager::defaultManager();
        while (!manager->recentFlows().empty()) {
            // A copy: removing replaces the list the front is taken from.
            const std::shared_ptr<QFFlow> flow = manager->recentFlows().front();
            manager->removeFlow(flow);
        }
    }

    // A recent flow of one document; noted last, it comes first.
    std::shared_ptr<QFFlow> makeFlow(const std::string& name, QFFlowBehavior behavior,
                                     bool withOutput = true) {
        const fs::path document = folder / (name + ".psd");
        lf::test::writeFile(document, "not a document");
        auto input =
            std::make_shared<QFFlowInput>(std::vector<std::string>{lf::kTypePhotoshopImage});
        input->addInputWithURLs({document.string()});
        auto flow = std::make_shared<QFExportFlow>();
        flow->setInitialInput(input);
        if (withOutput) flow->setOutputDirectoryURL((folder / "out").string());
        QFFlowManager::defaultManager()->noteNewRecentFlow(flow);
        flow->setBehavior(behavior);
        made.push_back(flow);
        return flow;
    }

    QFRecentsController& showPopover() {
        popover = std::make_unique<QFRecentsPopover>(std::make_shared<QFRecentsController>());
        popover->setPopsToRootViewControllerWhenClosed(true);
        popover->showRelativeToRect(QRectF(anchor->rect()), anchor, Qt::BottomEdge);
        return *popover->recentsController();
    }

    QFRecentRowView* rowAt(uint64_t row) {
        return qobject_cast<QFRecentRowView*>(
            popover->recentsController()->listView()->rowViewAtRow(row, false));
    }

    lf::test::ScopedResources resources;
    lf::test::TemporaryDirectory folder;
    QWidget host;
    QWidget* anchor = nullptr;
    std::unique_ptr<QFRecentsPopover> popover;
    std::vector<std::shared_ptr<QFFlow>> made, started;
    std::vector<std::string> revealed;
};

QString statusOf(QFRecentRowView& row) {
    return row.statusLabel()->text();
}

}  // namespace

// Smart flows first in the manager's order, then the group row (as high
// as its glyph, no separator above or below it), then the plain flows;
// the list is 240 wide under its anchor.
TEST_F(RecentsPopoverTest, OrdersSmartFlowsFirstWithAGroupRow) {
    auto a = makeFlow("A", QFFlowBehaviorNone);
    auto b = makeFlow("B", QFFlowBehaviorNotifyWhenChanged);
    auto c = makeFlow("C", QFFlowBehaviorNone);
    auto d = makeFlow("D", QFFlowBehaviorRepeatAutomatically);
    QFRecentsController& controller = showPopover();
    EXPECT_EQ(popover->arrowEdge(), Qt::TopEdge);
    EXPECT_EQ(popover->contentSize().width(), 240);
    EXPECT_EQ(controller.view()->width(), 240);

    QFPopoverListView& list = *controller.listView();
    EXPECT_EQ(controller.smartFlows(), (std::vector<std::shared_ptr<QFFlow>>{d, b}));
    EXPECT_EQ(controller.recentFlows(), (std::vector<std::shared_ptr<QFFlow>>{c, a}));
    EXPECT_EQ(list.rowPositions(), (std::vector<int64_t>{0, 46, 92, 107, 153, 199}));
    EXPECT_EQ(controller.flowAtRow(2), nullptr);
    EXPECT_EQ(controller.flowAtRow(3), c);
    EXPECT_EQ(rowAt(0)->representedFlow(), d);
    EXPECT_EQ(rowAt(0)->label()->text(), "D");
    EXPECT_NE(qobject_cast<QFRecentGroupRowView*>(list.rowViewAtRow(2, false)), nullptr);
    std::vector<bool> separators;
    for (uint64_t row = 0; row < 5; ++row)
        separators.push_back(controller.shouldDrawSeparatorBelowRow(list, row));
    EXPECT_EQ(separators, (std::vector<bool>{true, false, false, true, true}));
    const int heading = popover->visibleViewControllerView()->titleLabel()->sizeHint().height();
    EXPECT_EQ(popover->contentSize().height(), heading + 199);
    EXPECT_EQ(popover->visibleViewControllerView()->titleLabel()->text(),
              "recents-repeat.window.title");

    // Only one kind: no group row, a separator below every row.
    controller.listView()->setDelegate(nullptr);
    b->setBehavior(QFFlowBehaviorNone);
    d->setBehavior(QFFlowBehaviorNone);
    list.setDelegate(&controller);
    EXPECT_FALSE(controller.hasRecentsGroupRow());
    EXPECT_EQ(list.rowPositions(), (std::vector<int64_t>{0, 46, 92, 138, 184}));
}

// The popover is as tall as its rows, up to maxPopoverHeight: a flow
// noted while it was closed shows when it opens again, one noted while it
// shows makes it grow beside its anchor, and past the cap the list scrolls.
TEST_F(RecentsPopoverTest, HeightFollowsTheRowsUpToTheCap) {
    makeFlow("A", QFFlowBehaviorNone);
    QFRecentsController& controller = showPopover();
    const int heading = popover->visibleViewControllerView()->titleLabel()->sizeHint().height();
    EXPECT_EQ(popover->contentSize().height(), heading + 46);
    popover->performClose();

    makeFlow("B", QFFlowBehaviorNone);
    popover->showRelativeToRect(QRectF(anchor->rect()), anchor, Qt::BottomEdge);
    EXPECT_EQ(popover->contentSize().height(), heading + 46 + 46);
    EXPECT_EQ(controller.listView()->height(), 92);
    const QRect shown = popover->geometry();

    makeFlow("C", QFFlowBehaviorRepeatAutomatically);  // with a group row of 15
    QCoreApplication::processEvents();
    EXPECT_EQ(popover->contentSize().height(), heading + 153);
    EXPECT_EQ(controller.listView()->height(), 153);
    EXPECT_EQ(popover->geometry().topLeft(), shown.topLeft());
    EXPECT_EQ(popover->arrowEdge(), Qt::TopEdge);

    const int cap = static_cast<int>(QFNavigationPopover::maxPopoverHeight());
    for (int flow = 0; controller.listView()->sizeHint().height() <= cap; ++flow)
        makeFlow("More" + std::to_string(flow), QFFlowBehaviorNone);
    QCoreApplication::processEvents();
    EXPECT_EQ(popover->contentSize().height(), cap);
    EXPECT_EQ(controller.listView()->height(), cap - heading);
}

// Rows cleared while the popover is closed leave the list shorter than
// the popover, which is not fitted again until it opens; a flow noted
// then has its row drawn below the group row when the popover opens, and
// at every later opening.
TEST_F(RecentsPopoverTest, AFlowNotedAfterAClearWhileClosedDrawsItsRow) {
    makeFlow("Smart", QFFlowBehaviorRepeatAutomatically);
    makeFlow("Plain", QFFlowBehaviorNone);
    QFRecentsController& controller = showPopover();
    ASSERT_TRUE(controller.hasRecentsGroupRow());
    popover->performClose();
    QFFlowManager::defaultManager()->clearRecentFlowsWithoutAutomaticBehavior();
    auto added = makeFlow("Added", QFFlowBehaviorNone);

    for (int opening = 0; opening < 2; ++opening) {
        popover->showRelativeToRect(QRectF(anchor->rect()), anchor, Qt::BottomEdge);
        QCoreApplication::processEvents();
        ASSERT_EQ(controller.flowAtRow(2), added);
        QFRecentRowView* row = rowAt(2);
        ASSERT_NE(row, nullptr) << "no view at the new flow's row, opening " << opening;
        EXPECT_TRUE(row->isVisible());
        EXPECT_EQ(row->geometry(), QRect(0, 61, 240, 46));
        EXPECT_EQ(row->label()->text(), "Added");
        const QString status = QString::fromStdString(added->localizedStatusDescription());
        EXPECT_EQ(statusOf(*row), status);
        EXPECT_EQ(row->toolTip(), status);
        EXPECT_GT(row->statusLabel()->width(), 0);
        popover->performClose();
    }
}

// Without its image the group row takes no room.
TEST_F(RecentsPopoverTest, GroupRowWithoutItsImageIsZeroHigh) {
    lf::test::ScopedResources bare;
    bare.install();
    makeFlow("A", QFFlowBehaviorNone);
    makeFlow("B", QFFlowBehaviorNotifyWhenChanged);
    QFRecentsController& controller = showPopover();
    EXPECT_EQ(controller.listView()->rowPositions(), (std::vector<int64_t>{0, 46, 46, 92}));
}

// A behaviour change moves the row at once; removing the last flow from
// its context menu leaves the placeholder row.
TEST_F(RecentsPopoverTest, RowsFollowBehaviourChangesAndRemovals) {
    auto a = makeFlow("A", QFFlowBehaviorNone);
    auto b = makeFlow("B", QFFlowBehaviorNone);
    QFRecentsController& controller = showPopover();
    EXPECT_EQ(controller.flowAtRow(1), a);
    a->setBehavior(QFFlowBehaviorRepeatAutomatically);
    EXPECT_EQ(controller.flowAtRow(0), a);
    EXPECT_EQ(controller.flowAtRow(1), nullptr);  // the group row
    EXPECT_EQ(controller.flowAtRow(2), b);
    EXPECT_EQ(rowAt(0)->repeatButton()->indicatorType(), QFRecentIndicatorTypeRecentRepeat);
    EXPECT_TRUE(rowAt(0)->flowButton()->hasSmartFlowStyle());

    QFFlowManager::defaultManager()->removeFlow(a);
    QFRecentRowView::setMenuPresenter([](QMenu& menu, const QPoint&) {
        menu.actions().back()->trigger();  // remove from the recents
    });
    rowAt(0)->showContextMenu(QPoint());
    QFPopoverListView& list = *controller.listView();
    ASSERT_TRUE(controller.shouldShowPlaceholder());
    EXPECT_EQ(list.rowPositions(), (std::vector<int64_t>{0, 100}));
    EXPECT_NE(qobject_cast<QFRecentPlaceholderRowView*>(list.rowViewAtRow(0, false)), nullptr);
    EXPECT_FALSE(controller.shouldDrawSeparatorBelowRow(list, 0));
    controller.didDoubleClickRowsAtIndexes(list, {0});
    EXPECT_EQ(popover->viewControllers().size(), 1u);
}

// The indicators show the behaviour; hovering gives the hints; a click on
// a run button shows the running status while the pointer stays on it.
TEST_F(RecentsPopoverTest, IndicatorsHintsAndClicksFollowTheBehaviour) {
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
TEST_F(RecentsPopoverTest, TheStatusLineSaysWhenTheLastRunFailed) {
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
TEST_F(RecentsPopoverTest, TheRowsTooltipHoldsAFailureCutShort) {
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
TEST_F(RecentsPopoverTest, ChangesToRunShowTheDot) {
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
TEST_F(RecentsPopoverTest, ContextMenuOffersTheOutputFolderOnlyWhenThereIsOne) {
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
TEST_F(RecentsPopoverTest, ShowDocumentsShowsTheDocumentsWithoutOpeningThem) {
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

// A double click opens the editor with its title and Done; clearing the
// name gives the default name back, the check box sets behaviour 2 or 0,
// Escape while editing keeps the popover open, and Done returns to the
// list; closing the popover with the editor open pops it.
TEST_F(RecentsPopoverTest, EditorRenamesAndSwitchesRepetition) {
    auto flow = makeFlow("Icons", QFFlowBehaviorNone);
    flow->setName("Custom");
    QFRecentsController& controller = showPopover();
    controller.didDoubleClickRowsAtIndexes(*controller.listView(), {0});
    ASSERT_EQ(popover->viewControllers().size(), 2u);
    auto editor = std::dynamic_pointer_cast<QFRecentFlowEditor>(popover->viewControllers().back());
    ASSERT_TRUE(editor);
    QFNavigationPopoverView& shown = *popover->visibleViewControllerView();
    EXPECT_EQ(shown.titleLabel()->text(), "flow-settings.window.title");
    QWidget* done = editor->navigationPopoverTitleButtonView();
    EXPECT_EQ(done->geometry().right() + 1, shown.width() - 5);
    EXPECT_EQ(editor->repeatAutomaticallyCheckbox()->text(), "flow-settings.repeat-automatically");

    QFPopoverTextField& field = *editor->textField();
    EXPECT_EQ(field.text(), "Custom");
    EXPECT_EQ(field.placeholder(), "Icons");
    field.focus();
    for (auto [key, modifiers] : {std::pair{Qt::Key_A, Qt::ControlModifier},
                                  std::pair{Qt::Key_Backspace, Qt::NoModifier}}) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(&field, &press);
    }
    EXPECT_EQ(field.text(), "");
    EXPECT_EQ(flow->name(), std::nullopt);
    EXPECT_EQ(rowAt(0)->label()->text(), "Icons");

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&field, &escape);
    EXPECT_FALSE(field.isEditing());
    EXPECT_TRUE(popover->isShown());

    editor->repeatAutomaticallyCheckbox()->click();
    EXPECT_EQ(flow->behavior(), QFFlowBehaviorRepeatAutomatically);
    EXPECT_TRUE(lf::MainQueue::shared()->runUntil([&] { return flow->input()->detectsChanges(); },
                                                  lf::test::kPatience));
    editor->repeatAutomaticallyCheckbox()->click();
    EXPECT_EQ(flow->behavior(), QFFlowBehaviorNone);

    static_cast<QPushButton*>(done)->click();
    EXPECT_EQ(popover->viewControllers().size(), 1u);
    EXPECT_EQ(popover->visibleViewControllerView()->titleLabel()->text(),
              "recents-repeat.window.title");

    controller.editFlow(flow);
    popover->performClose();
    EXPECT_EQ(popover->viewControllers().size(), 1u);
}

// The layout that the application does not use: the flow button beside
// the name, and radio buttons that set behaviour 2, 1 or 0; the name field
// takes the focus once the list is in a window.
TEST_F(RecentsPopoverTest, AlternativeEditorLayoutSetsEachBehaviour) {
    auto flow = makeFlow("Icons", QFFlowBehaviorNotifyWhenChanged);
    QFRecentFlowEditor editor(flow);
    std::unique_ptr<QWidget> view(editor.loadAlternativeView());
    auto& list = static_cast<QFPopoverListView&>(*view);
    EXPECT_EQ(list.numberOfRows(), 2u);
    EXPECT_FALSE(editor.flowButton()->isEnabled());
    EXPECT_TRUE(editor.flowButton()->hasSmartFlowStyle());
    EXPECT_TRUE(editor.repeatSettingButton(1)->isChecked());
    EXPECT_EQ(editor.textField()->placeholder(), "Icons");
    editor.repeatSettingButton(0)->click();
    EXPECT_EQ(flow->behavior(), QFFlowBehaviorRepeatAutomatically);
    editor.repeatSettingButton(2)->click();
    EXPECT_EQ(flow->behavior(), QFFlowBehaviorNone);
    EXPECT_FALSE(editor.flowButton()->hasSmartFlowStyle());
    EXPECT_EQ((std::vector<bool>{editor.repeatSettingButton(0)->isChecked(),
                                 editor.repeatSettingButton(1)->isChecked(),
                                 editor.repeatSettingButton(2)->isChecked()}),
              (std::vector<bool>{false, false, true}));

    QWidget window;
    view.release()->setParent(&window);  // the window's from now on
    window.show();
    lf::MainQueue::shared()->drain();
    EXPECT_TRUE(editor.textField()->isEditing());
}

// One recents popover for the application: semi-transient, popping the
// editor when it closes.
TEST(QFRecentsPopover, SharedPopoverIsMadeOnce) {
    QFRecentsPopover& shared = QFRecentsPopover::sharedPopover();
    EXPECT_EQ(&shared, &QFRecentsPopover::sharedPopover());
    EXPECT_EQ(shared.behavior(), QFPopoverWindow::QFPopoverBehaviorSemitransient);
    EXPECT_EQ(shared.appearance(), QFPopoverWindow::QFPopoverAppearanceMinimal);
    EXPECT_TRUE(shared.popsToRootViewControllerWhenClosed());
    EXPECT_EQ(shared.viewControllers().front(), shared.recentsController());
}

// The default string table titles the editor's check box.
TEST(QFRecentFlowEditorStrings, TheCheckBoxHasATitle) {
    const QFResources source(std::make_shared<const lf::Bundle>(LF_SOURCE_RESOURCES_DIR));
    for (const char* key : {"flow-settings.repeat-automatically", "flow-settings.window.title",
                            "flow-settings.window.button.done", "recents-repeat.window.title"})
        EXPECT_NE(source.localizedString(key), key);
}
