#include "UiTestSupport.h"
#include "kit/gui/OMCursor.h"
#include "kit/gui/OMSheet.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"
#include "ui/window/QFAlignmentRect.h"
#include "ui/window/QFFlowTitleView.h"
#include "ui/window/QFWindow.h"
#include "ui/window/QFWindowBackgroundView.h"
#include "ui/window/QFWindowButton.h"
#include "ui/window/QFWindowButtonsTrackingView.h"
#include "ui/window/QFWindowContentView.h"
#include "ui/window/QFWindowLabel.h"
#include "ui/window/QFWindowResizeGrip.h"
#include "ui/window/QFWindowTitleView.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Kind = QFStandardWindowButton::Kind;

std::unique_ptr<QFWindow> makeWindow(int logotypeHeight, lf::test::ScopedResources& resources) {
    resources.logotype(logotypeHeight).install();
    auto window = std::make_unique<QFWindow>();
    window->resize(600, 400);
    // A hidden window hears of its size when it shows.
    window->show();
    return window;
}

QRect buttonFrame(const QFWindow& window, Kind kind) {
    return window.standardWindowButton(kind)->geometry();
}

// With a 40-point bar the buttons laid out for a 22-point bar move right by
// floor(0.33 x 18) = 5 and down by ceil(0.5 x 18) = 9; the tracking view
// covers them; the title area keeps 20 points beyond them at each end; the
// accessory button mirrors the close button's margin, centred on its line.
TEST(QFWindow, TitleBarGeometryFor40Points) {
    lf::test::ScopedResources resources;
    auto window = makeWindow(30, resources);  // shorter than 40: clamped up
    EXPECT_EQ(window->titlebarHeight(), 40);
    EXPECT_EQ(buttonFrame(*window, Kind::Close), QRect(12, 12, 14, 16));
    EXPECT_EQ(buttonFrame(*window, Kind::Miniaturize), QRect(32, 12, 14, 16));
    EXPECT_EQ(buttonFrame(*window, Kind::Zoom), QRect(52, 12, 14, 16));
    EXPECT_EQ(window->buttonsTrackingView()->geometry(), QRect(12, 12, 54, 16));
    EXPECT_EQ(window->windowTitleView()->geometry(), QRect(86, 0, 600 - 2 * 86 + 4, 40));

    auto* accessory = new QFWindowButton;
    accessory->setImageWithSize(QSizeF(24, 24), [](QPainter&, double, const QRectF&) {});
    accessory->setPadding({7, 7, 7, 7});
    accessory->sizeToFit();
    window->setAccessoryWindowButton(accessory);
    // Alignment rectangle 24 by 24 at x = floor(600 - 12 - 24), centred on
    // y = 12 + 8; its frame reaches 7 further on each side.
    const QRectF alignment = QFAlignmentRectForFrame(*accessory, accessory->geometry());
    EXPECT_EQ(alignment, QRectF(564, 8, 24, 24));

    window->resize(700, 400);
    EXPECT_EQ(QFAlignmentRectForFrame(*accessory, accessory->geometry()).x(), 664);
    EXPECT_EQ(window->windowTitleView()->width(), 700 - 2 * 86 + 4);
}

// A logotype taller than 100 points makes a 100-point bar: d = 78 moves the
// buttons by 25 and 39, so they sit on its centre line.
TEST(QFWindow, TitleBarGeometryForAClampedLogotype) {
    lf::test::ScopedResources resources;
    auto window = makeWindow(130, resources);
    EXPECT_EQ(window->titlebarHeight(), 100);
    EXPECT_EQ(buttonFrame(*window, Kind::Close), QRect(32, 42, 14, 16));
    EXPECT_EQ(buttonFrame(*window, Kind::Zoom).center().y(), 49);
    EXPECT_EQ(window->windowTitleView()->geometry(), QRect(106, 0, 600 - 2 * 106 + 4, 100));
    // The content starts below the bar; the bar's strip lets clicks through.
    EXPECT_EQ(window->customizableContentView()->geometry(), QRect(0, 100, 600, 300));
    EXPECT_EQ(window->windowContentView()->childAt(10, 50), nullptr);
    EXPECT_EQ(window->backgroundView()->titlebarArea(), QRectF(0, 0, 600, 100));
}

// A view that asks for a size of its own.
class SizedView final : public QWidget {
public:
    explicit SizedView(QSize size) : size_(size) {}
    QSize sizeHint() const override { return size_; }
    QSize minimumSizeHint() const override { return size_; }
    void setAskedSize(QSize size) {
        size_ = size;
        updateGeometry();
    }

private:
    QSize size_;
};

// The menu button sits 8 points right of the zoom button, centred on it,
// and the title area keeps 20 points beyond it at both ends. The window
// keeps room for the buttons, the title view at its size and the content
// view's minimum, growing when the title view asks for more.
TEST(QFWindow, TitleBarKeepsClearOfTheMenuButtonAndHoldsItsControls) {
    lf::test::ScopedResources resources;
    auto window = makeWindow(30, resources);
    auto* menu = new QFWindowButton;
    menu->setImageWithSize(QSizeF(14, 14), [](QPainter&, double, const QRectF&) {});
    menu->setPadding({2, 2, 2, 2});
    menu->sizeToFit();
    window->setMenuWindowButton(menu);
    EXPECT_EQ(menu->geometry(), QRect(66 + 8, 12 - 1, 18, 18));
    const int inset = 74 + 18 + 20;
    EXPECT_EQ(window->windowTitleView()->geometry(), QRect(inset, 0, 600 - 2 * inset + 4, 40));

    auto* accessory = new QFWindowButton;
    accessory->setImageWithSize(QSizeF(24, 24), [](QPainter&, double, const QRectF&) {});
    accessory->setPadding({7, 7, 7, 7});
    accessory->sizeToFit();
    window->setAccessoryWindowButton(accessory);
    auto* title = new SizedView(QSize(200, 40));
    window->setDefaultTitleView(title);
    window->setTitleView(nullptr);
    window->setCustomizableContentView(new SizedView(QSize(150, 100)));

    window->resize(120, 90);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(2 * inset - 4 + 200, 40 + 100));
    EXPECT_EQ(window->windowTitleView()->width(), 200);
    const QRect titleArea = window->windowTitleView()->geometry();
    EXPECT_FALSE(titleArea.intersects(menu->geometry()));
    EXPECT_FALSE(titleArea.intersects(accessory->geometry()));

    title->setAskedSize(QSize(260, 40));
    QApplication::processEvents();
    EXPECT_EQ(window->width(), 2 * inset - 4 + 260);
    EXPECT_EQ(window->windowTitleView()->width(), 260);

    // A flow's title asks for more when its label grows.
    auto* flowTitle = new QFFlowTitleView;
    auto* label = new QFWindowLabel;
    label->setText("1 item ready");
    flowTitle->setLabel(label);
    window->setTitleView(flowTitle);
    QApplication::processEvents();
    label->setText("12345 items ready to be saved into their folder");
    // The request climbs from the label to the window one posted event at
    // a time.
    for (int pass = 0; pass < 4; ++pass)
        QApplication::processEvents();
    ASSERT_GT(flowTitle->sizeHint().width(), 260);
    EXPECT_EQ(window->width(), 2 * inset - 4 + flowTitle->sizeHint().width());
}

// Without a compositor the rounded top corners are cut with a mask.
TEST(QFWindow, CutsRoundedTopCornersWithAMask) {
    lf::test::ScopedResources resources;
    auto window = makeWindow(40, resources);
    ASSERT_TRUE(window->cutsCornersWithMask());
    const QRegion mask = window->mask();
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(599, 0)));
    EXPECT_TRUE(mask.contains(QPoint(5, 5)));
    EXPECT_TRUE(mask.contains(QPoint(0, 399)));
    EXPECT_TRUE(mask.contains(QPoint(599, 399)));
}

// A grip shows its resizing cursor while the pointer is over it, through
// the cursor lock: while the lock is held the pointer keeps its cursor.
TEST(QFWindowResizeGrip, TakesTheCursorThroughTheLock) {
    QWidget window;
    window.resize(100, 100);
    auto* grip = new QFWindowResizeGrip(Qt::BottomEdge | Qt::RightEdge, &window);
    grip->setGeometry(QFWindowResizeGrip::gripRect(grip->edges(), window.size()));
    window.show();
    auto enter = [&] {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), grip->mapToGlobal(QPointF(1, 1)));
        QApplication::sendEvent(grip, &event);
    };
    auto leave = [&] {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(grip, &event);
    };
    EXPECT_FALSE(grip->testAttribute(Qt::WA_SetCursor));

    OMLockCursor();
    enter();
    EXPECT_FALSE(grip->testAttribute(Qt::WA_SetCursor));
    leave();
    OMUnlockCursor();
    enter();
    EXPECT_EQ(grip->cursor().shape(), Qt::SizeFDiagCursor);
    OMLockCursor();
    leave();
    EXPECT_EQ(grip->cursor().shape(), Qt::SizeFDiagCursor);
    OMUnlockCursor();
    leave();
    EXPECT_FALSE(grip->testAttribute(Qt::WA_SetCursor));
}

// The grey etched look shows unless the button is enabled, no modal window
// runs and the pointer is near the buttons.
TEST(QFWindow, StandardButtonsShowTheirFullLookOnlyWithThePointerNear) {
    lf::test::ScopedResources resources;
    auto window = makeWindow(40, resources);
    QImage canvas(14, 16, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&canvas);
    auto& close = *window->standardWindowButton(Kind::Close);
    EXPECT_TRUE(window->drawRectForButton(painter, close));
    window->buttonsTrackingView()->setHasMouseInside(true);
    EXPECT_FALSE(window->drawRectForButton(painter, close));
    close.setEnabled(false);
    EXPECT_TRUE(window->drawRectForButton(painter, close));
}

// Double clicks in the title bar miniaturise the window unless the user
// default says no; with Alt every window goes; with Control the click is
// passed on; below the bar nothing happens.
TEST(QFWindow, TitleBarDoubleClickMiniaturises) {
    lf::test::ScopedResources resources;
    resources.install();
    const auto defaults = lf::UserDefaults::standard();
    const char* key = QFWindowBackgroundView::kMiniaturizeOnDoubleClickDefault;

    auto doubleClick = [](QWidget* view, QPoint at, Qt::KeyboardModifiers modifiers) {
        const QPointF global = view->mapToGlobal(QPointF(at));
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                  QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons buttons =
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, QPointF(at), global, Qt::LeftButton, buttons, modifiers);
            QApplication::sendEvent(view, &event);
        }
    };
    struct Case {
        const char* name;
        std::optional<bool> setting;
        QPoint at;
        Qt::KeyboardModifiers modifiers;
        bool first, second;
    };
    const Case cases[] = {
        {"absent", std::nullopt, {300, 20}, Qt::NoModifier, true, false},
        {"on", true, {300, 20}, Qt::NoModifier, true, false},
        {"off", false, {300, 20}, Qt::NoModifier, false, false},
        {"Alt: all windows", std::nullopt, {300, 20}, Qt::AltModifier, true, true},
        {"Control: passed on", std::nullopt, {300, 20}, Qt::ControlModifier, false, false},
        {"below the bar", std::nullopt, {300, 60}, Qt::NoModifier, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.setting)
            defaults->setObject(key, *c.setting);
        else
            defaults->removeObject(key);
        QFWindow first, second;
        for (QFWindow* window : {&first, &second}) {
            window->resize(400, 300);
            window->show();
        }
        doubleClick(first.backgroundView(), c.at, c.modifiers);
        EXPECT_EQ(first.isMinimized(), c.first);
        EXPECT_EQ(second.isMinimized(), c.second);
    }
    defaults->removeObject(key);
}

// A miniaturised window keeps the look it had when it went.
TEST(QFWindow, KeepsItsLookWhileMiniaturised) {
    lf::test::ScopedResources resources;
    auto window = makeWindow(40, resources);
    const bool before = window->hasActiveAppearance();
    window->miniaturize();
    EXPECT_TRUE(window->isMinimized());
    EXPECT_EQ(window->hasActiveAppearance(), before);
    window->showNormal();
    EXPECT_EQ(window->hasActiveAppearance(), window->isActiveWindow());
}

// A controller that writes down the messages it gets, and takes drags.
class RecordingController : public QFViewController, public QFWindowDraggingDestination {
public:
    RecordingController(std::string name, std::vector<std::string>& log, QStringList types = {})
        : name_(std::move(name)), log_(log), types_(std::move(types)) {}

    void viewWillAppear(bool entering, bool) override { note("willAppear", entering); }
    void viewDidAppear(bool entering, bool) override { note("didAppear", entering); }
    void viewWillDisappear(bool entering, bool) override { note("willDisappear", entering); }
    void viewDidDisappear(bool entering, bool) override { note("didDisappear", entering); }

    QStringList acceptedDraggedTypes() const override { return types_; }
    std::optional<Qt::DropAction> draggingEntered(const QFDraggingInfo&) override {
        log_.push_back(name_ + " entered");
        return Qt::CopyAction;
    }
    std::optional<bool> performDragOperation(const QFDraggingInfo&) override {
        log_.push_back(name_ + " perform");
        if (onPerform) onPerform();
        return true;
    }
    void draggingEnded(const QFDraggingInfo&) override { log_.push_back(name_ + " ended"); }

    std::function<void()> onPerform;

private:
    void note(const char* message, bool entering) {
        log_.push_back(name_ + " " + message + (entering ? "+" : "-"));
    }
    std::string name_;
    std::vector<std::string>& log_;
    QStringList types_;
};

// Pushing sends will/did appear to the new top and will/did disappear to
// the one it covers; popping the reverse, with the handler between; the
// last controller stays.
TEST(QFWindow, PushesAndPopsContentControllersWithTheirMessages) {
    lf::test::ScopedResources resources;
    auto window = makeWindow(40, resources);
    std::vector<std::string> log;
    auto a = std::make_shared<RecordingController>("A", log);
    auto b = std::make_shared<RecordingController>("B", log);

    window->pushContentViewController(a, false);
    window->pushContentViewController(b, true);
    EXPECT_EQ(window->customizableContentView(), b->view());
    EXPECT_EQ(log, (std::vector<std::string>{"A willAppear+", "A didAppear+", "A willDisappear-",
                                             "B willAppear+", "A didDisappear-", "B didAppear+"}));
    log.clear();
    window->pushContentViewController(a, false);  // already in the stack
    EXPECT_EQ(window->customizableContentView(), b->view());
    EXPECT_EQ(window->contentViewControllers().size(), 2u);
    log.clear();

    bool handled = false;
    EXPECT_EQ(window->popContentViewControllerAnimated(false,
                                                       [&] {
                                                           handled = true;
                                                           log.push_back("handler");
                                                       }),
              b);
    EXPECT_TRUE(handled);
    EXPECT_EQ(window->customizableContentView(), a->view());
    EXPECT_EQ(b->view()->parent(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"B willDisappear+", "A willAppear-", "handler",
                                             "A didAppear-", "B didDisappear+"}));
    log.clear();
    EXPECT_EQ(window->popContentViewControllerAnimated(false), nullptr);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(window->contentViewController(), a);
}

// Drags go to the content controller; a drop that swaps the controller
// changes the registered types only after the drag has ended.
TEST(QFWindow, ForwardsDragsAndDefersTypeChangesUntilTheDragEnds) {
    lf::test::ScopedResources resources;
    auto window = makeWindow(40, resources);
    std::vector<std::string> log;
    auto start = std::make_shared<RecordingController>("start", log, QStringList{"text/uri-list"});
    auto next = std::make_shared<RecordingController>("next", log, QStringList{"text/plain"});
    window->pushContentViewController(start, false);
    EXPECT_EQ(window->registeredDraggedTypes(), QStringList{"text/uri-list"});
    start->onPerform = [&] { window->pushContentViewController(next, false); };

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/a.psd")});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(window->backgroundView()->drawsDropIndicator());

    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_FALSE(window->backgroundView()->drawsDropIndicator());
    EXPECT_EQ(window->contentViewController(), next);
    EXPECT_EQ(window->registeredDraggedTypes(), QStringList{"text/uri-list"});
    lf::MainQueue::shared()->drain();
    EXPECT_EQ(window->registeredDraggedTypes(), QStringList{"text/plain"});
    EXPECT_EQ(log.back(), "next ended");

    // Data of no registered type never reaches the destination.
    log.clear();
    QDragEnterEvent other(QPoint(100, 100), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &other);
    EXPECT_FALSE(other.isAccepted());
    EXPECT_TRUE(log.empty());
}

// A window-modal sheet drops from below the title bar, centred on the
// window, without a frame, whichever way it got the window as its parent: given to the
// sheet call, or at its construction, when its dialog part is not built
// yet as the window hears of the new child (the question after a first
// save, the Save folder panel). Its own area is checked: the frame extents
// a widget remembers from before it lost its frame are stale, and a sheet
// placed by them lies off its place.
TEST(QFWindow, SheetsSitBelowTheTitleBar) {
    lf::test::ScopedResources resources;
    auto window = makeWindow(64, resources);
    window->move(100, 50);
    const auto expectBelowTitleBar = [&](QDialog& sheet) {
        ASSERT_TRUE(sheet.isVisible());
        EXPECT_EQ(sheet.geometry().top(), window->geometry().top() + 64);
        EXPECT_NEAR(sheet.geometry().center().x(), window->geometry().center().x(), 1);
        // No window manager's frame stands above it, over the title bar.
        EXPECT_TRUE(sheet.windowFlags().testFlag(Qt::FramelessWindowHint));
    };

    auto* question = new QMessageBox(QMessageBox::Question, "Repeat?", "Repeat automatically?",
                                     QMessageBox::Yes | QMessageBox::No);
    question->setAttribute(Qt::WA_DeleteOnClose);
    OMBeginSheetModalForWindow(*question, window.get(), {});
    expectBelowTitleBar(*question);
    question->done(QMessageBox::No);

    auto* parented = new QMessageBox(window.get());
    parented->setAttribute(Qt::WA_DeleteOnClose);
    parented->setText("Repeat automatically?");
    OMBeginSheetModalForWindow(*parented, window.get(), {});
    expectBelowTitleBar(*parented);
    // It follows the window while it shows.
    window->move(140, 70);
    EXPECT_EQ(parented->geometry().top(), window->geometry().top() + 64);
    parented->done(QMessageBox::No);

    auto* panel = new QFileDialog(window.get());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setFileMode(QFileDialog::Directory);
    OMBeginSheetModalForWindow(*panel, window.get(), {});
    expectBelowTitleBar(*panel);
    panel->reject();
}

}  // namespace
