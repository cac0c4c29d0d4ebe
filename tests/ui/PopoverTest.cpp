// The popover window and the navigation popover: placement under the
// anchor, closing on Escape and on presses outside, the controller stack,
// the height cap, and editing in a popover text field.

#include "UiTestSupport.h"
#include "kit/gui/OMCursor.h"
#include "ui/popovers/QFNavigationPopover.h"
#include "ui/popovers/QFNavigationPopoverRootView.h"
#include "ui/popovers/QFNavigationPopoverView.h"
#include "ui/popovers/QFPopoverLabel.h"
#include "ui/popovers/QFPopoverListView.h"
#include "ui/popovers/QFPopoverTextField.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

struct ListController : QFViewController, QFPopoverListViewDelegate {
    uint64_t rows = 3;
    ListController() {
        setTitle("Recents");
        setNavigationPopoverShouldUseContentViewFittingSize(true);
    }
    QWidget* loadView() override {
        auto* list = new QFPopoverListView;
        list->setFixedWidth(240);
        list->setDelegate(this);
        return list;
    }
    uint64_t numberOfRowsInListView(QFPopoverListView&) override { return rows; }
    QWidget* rowViewForRow(QFPopoverListView&, uint64_t) override { return new QWidget; }
    double heightOfRow(QFPopoverListView&, uint64_t) override { return 46; }
    bool shouldDrawSeparatorBelowRow(QFPopoverListView&, uint64_t) override { return true; }
};

struct FieldController : QFViewController {
    QFPopoverTextField* field = nullptr;
    FieldController() {
        setTitle("Settings");
        setNavigationPopoverTitleButtonView(new QPushButton("Done"));
    }
    QWidget* loadView() override {
        auto* view = new QWidget;
        view->resize(240, 60);
        field = new QFPopoverTextField(view);
        field->setSizesEditorToFit(false);
        field->setGeometry(10, 10, 220, 24);
        return view;
    }
};

// A window with the popover's anchor and another control.
struct AnchorWindow {
    QWidget window;
    QWidget* anchor = new QWidget(&window);
    QWidget* elsewhere = new QWidget(&window);
    AnchorWindow() {
        window.setGeometry(100, 100, 400, 300);
        anchor->setGeometry(180, 10, 40, 30);
        elsewhere->setGeometry(10, 200, 100, 50);
        window.show();
    }
};

// A semi-transient popover for the anchor of a window, and another window.
struct SemitransientPopover {
    AnchorWindow host;
    QWidget other;
    QFNavigationPopover popover{std::make_shared<ListController>()};
    SemitransientPopover() {
        other.show();
        popover.setBehavior(QFPopoverWindow::QFPopoverBehaviorSemitransient);
    }
    void show() {
        popover.showRelativeToRect(QRectF(host.anchor->rect()), host.anchor, Qt::BottomEdge);
    }
};

void press(QWidget& widget, QPoint at = QPoint(5, 5)) {
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(at), widget.mapToGlobal(QPointF(at)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void pressEscape(QWidget& widget) {
    QKeyEvent event(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

double lowestScreenHeight() {
    double lowest = 1e9;
    for (const QScreen* screen : QGuiApplication::screens())
        lowest = std::min<double>(lowest, screen->geometry().height());
    return lowest;
}

void drainPostedEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

// Each screen caps the height at 60 % of its own, rounded down; the value
// never rises again.
TEST(QFNavigationPopover, MaxPopoverHeightFollowsTheLowestScreen) {
    EXPECT_EQ(QFNavigationPopover::loweredMaxPopoverHeight(600, {600}), 360);
    EXPECT_EQ(QFNavigationPopover::loweredMaxPopoverHeight(600, {800}), 480);
    EXPECT_EQ(QFNavigationPopover::loweredMaxPopoverHeight(600, {1200, 900}), 540);
    EXPECT_EQ(QFNavigationPopover::loweredMaxPopoverHeight(600, {1199}), 600);
    EXPECT_EQ(QFNavigationPopover::loweredMaxPopoverHeight(360, {1200}), 360);

    QFNavigationPopover popover(std::make_shared<ListController>());
    const double expected = std::min(600.0, std::floor(0.6 * lowestScreenHeight()));
    EXPECT_EQ(QFNavigationPopover::maxPopoverHeight(), expected);
    EXPECT_EQ(popover.rootView()->maximumHeight(), expected);
}

// Shown under its anchor, the popover's arrow points up at the anchor's
// centre; the content is the list's 240 points plus the heading, and a
// list taller than the cap is cut to it.
TEST(QFNavigationPopover, OpensUnderItsAnchorSizedToItsList) {
    AnchorWindow host;
    auto root = std::make_shared<ListController>();
    QFNavigationPopover popover(root);
    popover.showRelativeToRect(QRectF(host.anchor->rect()), host.anchor, Qt::BottomEdge);
    ASSERT_TRUE(popover.isShown());
    EXPECT_EQ(popover.arrowEdge(), Qt::TopEdge);
    const QRect anchor(host.anchor->mapToGlobal(QPoint()), host.anchor->size());
    EXPECT_EQ(popover.geometry().top(), anchor.bottom() + 1);
    EXPECT_NEAR(popover.geometry().left() + popover.arrowPosition(), anchor.center().x() + 0.5,
                1.0);
    EXPECT_EQ(popover.contentSize().width(), 240);
    const int heading = popover.visibleViewControllerView()->titleLabel()->sizeHint().height();
    EXPECT_EQ(popover.contentSize().height(), heading + 3 * 46);
    EXPECT_EQ(popover.visibleViewControllerView()->titleLabel()->text(), "Recents");

    root->rows = 20;
    static_cast<QFPopoverListView*>(root->view())->reload();
    popover.setContentViewController(root, false);
    EXPECT_EQ(popover.contentSize().height(), QFNavigationPopover::maxPopoverHeight());
}

// A shown popover follows its list's rows and stays beside its anchor:
// above an anchor near the screen's bottom, it grows upwards.
TEST(QFNavigationPopover, FollowsItsListWhileItShows) {
    AnchorWindow host;
    host.window.move(100, host.window.screen()->availableGeometry().bottom() - 60);
    QCoreApplication::processEvents();
    auto root = std::make_shared<ListController>();
    QFNavigationPopover popover(root);
    popover.showRelativeToRect(QRectF(host.anchor->rect()), host.anchor, Qt::BottomEdge);
    ASSERT_EQ(popover.arrowEdge(), Qt::BottomEdge);
    const int heading = popover.visibleViewControllerView()->titleLabel()->sizeHint().height();
    const int bottom = popover.geometry().bottom();

    root->rows = 5;
    static_cast<QFPopoverListView*>(root->view())->reload();
    drainPostedEvents();
    EXPECT_EQ(popover.contentSize().height(), heading + 5 * 46);
    EXPECT_EQ(popover.arrowEdge(), Qt::BottomEdge);
    EXPECT_EQ(popover.geometry().bottom(), bottom);

    root->rows = 1;
    static_cast<QFPopoverListView*>(root->view())->reload();
    drainPostedEvents();
    EXPECT_EQ(popover.contentSize().height(), heading + 46);
    EXPECT_EQ(popover.geometry().bottom(), bottom);
}

// Escape ends the editing of a text field first and leaves the popover
// open; the next Escape closes it, and closing pops one level.
TEST(QFNavigationPopover, EscapeEndsEditingBeforeItCloses) {
    AnchorWindow host;
    QFNavigationPopover popover(std::make_shared<ListController>());
    popover.setPopsToRootViewControllerWhenClosed(true);
    auto editor = std::make_shared<FieldController>();
    popover.showRelativeToRect(QRectF(host.anchor->rect()), host.anchor, Qt::BottomEdge);
    popover.pushViewController(editor, true);
    editor->field->focus();
    ASSERT_TRUE(editor->field->isEditing());

    pressEscape(*editor->field);
    EXPECT_FALSE(editor->field->isEditing());
    EXPECT_TRUE(popover.isShown());

    pressEscape(popover);
    EXPECT_FALSE(popover.isShown());
    EXPECT_EQ(popover.viewControllers().size(), 1u);
    EXPECT_EQ(editor->navigationPopover(), nullptr);
}

// Semi-transient: a press elsewhere in the anchor's window closes the
// popover, a press on the anchor (which toggles it) or in another window
// does not.
TEST(QFPopoverWindow, SemitransientClosesOnPressesInTheAnchorsWindow) {
    SemitransientPopover shown;
    auto& [host, other, popover] = shown;
    shown.show();
    press(*host.anchor);
    press(other);
    press(*popover.rootView());
    EXPECT_TRUE(popover.isShown());
    press(*host.elsewhere);
    EXPECT_FALSE(popover.isShown());

    popover.setBehavior(QFPopoverWindow::QFPopoverBehaviorTransient);
    shown.show();
    press(other);
    EXPECT_FALSE(popover.isShown());
}

// Once the popover has been active, another window coming forward closes
// it: the anchor's window too, unless the pointer rests on the anchor
// (whose click toggles it). Windows that come forward before it has been
// active leave it open.
TEST(QFPopoverWindow, ClosesWhenAnotherWindowComesForward) {
    SemitransientPopover shown;
    auto& [host, other, popover] = shown;
    const QPoint onAnchor = host.anchor->mapToGlobal(host.anchor->rect().center());
    const auto comesForward = [](QWidget& window) { QApplication::setActiveWindow(&window); };
    QCoreApplication::processEvents();
    comesForward(host.window);

    shown.show();
    comesForward(other);  // before the popover's activation
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &popover);
    QCursor::setPos(onAnchor);
    comesForward(host.window);
    EXPECT_TRUE(popover.isShown());
    comesForward(popover);
    QCursor::setPos(onAnchor + QPoint(0, 100));
    comesForward(host.window);
    EXPECT_FALSE(popover.isShown());

    shown.show();
    QCoreApplication::processEvents();
    comesForward(other);
    EXPECT_FALSE(popover.isShown());
}

// Push swaps in the controller with its title and Done button at the
// right; pushing it again changes nothing; pop returns it and lets it go
// once the event loop runs; the root is never popped.
TEST(QFNavigationPopover, PushesAndPopsControllersInOneStep) {
    auto root = std::make_shared<ListController>();
    QFNavigationPopover popover(root);
    popover.setContentViewControllerIfNeeded();
    auto editor = std::make_shared<FieldController>();
    std::weak_ptr<FieldController> weakEditor = editor;
    popover.pushViewController(editor, true);
    popover.pushViewController(editor, true);
    ASSERT_EQ(popover.viewControllers().size(), 2u);
    EXPECT_EQ(editor->navigationPopover(), &popover);

    QFNavigationPopoverView* shown = popover.visibleViewControllerView();
    EXPECT_EQ(shown->titleLabel()->text(), "Settings");
    QWidget* done = editor->navigationPopoverTitleButtonView();
    EXPECT_EQ(done->parentWidget(), shown);
    EXPECT_EQ(done->geometry().right() + 1, shown->width() - 5);
    EXPECT_EQ(popover.contentSize(), QSize(240, 60 + shown->titleLabel()->sizeHint().height()));

    // A press on the title bar ends the editing.
    editor->field->focus();
    ASSERT_TRUE(editor->field->isEditing());
    press(*shown);
    EXPECT_FALSE(editor->field->isEditing());

    editor.reset();
    EXPECT_EQ(popover.popViewControllerAnimated(true).get(), weakEditor.lock().get());
    EXPECT_EQ(popover.visibleViewControllerView()->titleLabel()->text(), "Recents");
    EXPECT_EQ(popover.popViewControllerAnimated(true), nullptr);
    EXPECT_EQ(popover.popToRootViewControllerAnimated(true).size(), 0u);
    drainPostedEvents();
    EXPECT_TRUE(weakEditor.expired());
}

// The I-beam over the text's box goes through the cursor lock: while it is
// held the pointer keeps the cursor it has, coming and going.
TEST(QFPopoverTextField, TheIBeamWaitsForTheCursorLock) {
    QWidget window;
    window.resize(300, 60);
    auto* field = new QFPopoverTextField(&window);
    field->setGeometry(10, 10, 200, 24);
    field->setPlaceholder("Untitled");
    window.show();
    auto moveTo = [&](QPointF at) {
        QMouseEvent move(QEvent::MouseMove, at, field->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(field, &move);
    };
    const QPointF onText = field->stringBoundsIncludingPadding().center();
    const QPointF beside(180, 12);
    EXPECT_FALSE(field->testAttribute(Qt::WA_SetCursor));  // not the line edit's own

    OMLockCursor();
    moveTo(onText);
    EXPECT_FALSE(field->testAttribute(Qt::WA_SetCursor));
    OMUnlockCursor();
    moveTo(onText);
    EXPECT_EQ(field->cursor().shape(), Qt::IBeamCursor);
    OMLockCursor();
    moveTo(beside);
    EXPECT_EQ(field->cursor().shape(), Qt::IBeamCursor);
    OMUnlockCursor();
    moveTo(beside);
    EXPECT_FALSE(field->testAttribute(Qt::WA_SetCursor));
}

// An empty field shows its placeholder like a value, and at a fifth of the
// text's alpha while edited; a press beside the text goes to the view
// behind, and sizing to fit keeps the box as wide as the text.
TEST(QFPopoverTextField, PlaceholderAndHitsFollowTheText) {
    QWidget window;
    window.resize(300, 60);
    auto* field = new QFPopoverTextField(&window);
    field->setGeometry(10, 10, 200, 24);
    field->setPlaceholder("Untitled");
    window.show();
    const QRectF bounds = field->stringBoundsIncludingPadding();
    EXPECT_LT(bounds.width(), 100);  // grown to the placeholder
    EXPECT_EQ(field->sizeHint().height(), 22);

    auto inkIn = [&](bool editing) {
        if (editing) field->focus();
        QImage image = field->grab().toImage();
        int darkest = 255;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                darkest = std::min(darkest, qGray(image.pixel(x, y)));
        }
        return darkest;
    };
    EXPECT_LT(inkIn(false), 80);  // like a value
    EXPECT_GT(inkIn(true), 150);  // faint while edited

    field->abortEditing();
    press(*field, QPoint(180, 12));  // beside the text
    EXPECT_FALSE(field->isEditing());
    press(*field, bounds.center().toPoint());
    EXPECT_TRUE(field->isEditing());
}
