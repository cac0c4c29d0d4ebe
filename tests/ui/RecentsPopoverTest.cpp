// The recents popover's list: row order, heights and separators, and rows
// that follow behaviour changes and removals.

#include "RecentsTestSupport.h"
#include "ui/popovers/QFNavigationPopoverView.h"
#include "ui/recents/QFRecentFlowButton.h"
#include "ui/recents/QFRecentGroupRowView.h"
#include "ui/recents/QFRecentIndicatorButton.h"
#include "ui/recents/QFRecentPlaceholderRowView.h"

#include <QMenu>

namespace {

class RecentsPopoverTest : public RecentsFixture {};

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
