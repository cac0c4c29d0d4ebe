// What a flow window does with the keys typed into it and with its size:
// Escape clears a selection before it cancels, keys typed into the preview
// stay there, the menu's key equivalents work whatever it showed last, and
// a small or narrow window keeps its controls apart and whole.

#include "FlowWindowTestSupport.h"
#include "ui/iconview/QFIconView.h"
#include "ui/iconview/QFPreviewPanel.h"
#include "ui/shell/QFFlowStartController.h"
#include "ui/widgets/QFEtchedTextField.h"
#include "ui/widgets/QFPlaceholderView.h"
#include "ui/widgets/QFSimpleImageView.h"
#include "ui/window/QFFlowTitleView.h"
#include "ui/window/QFWindowButton.h"
#include "ui/window/QFWindowTitleView.h"

#include <QTest>

namespace {

namespace fs = std::filesystem;

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
    EXPECT_TRUE(lf::MainQueue::shared()->runUntil([&] { return window.canStartAnything(); },
                                                  lf::test::kPatience));
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
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] {
                QCoreApplication::processEvents();
                return QApplication::activeWindow() == panel;
            },
            lf::test::kPatience));

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
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] {
                QCoreApplication::processEvents();
                return QApplication::activeWindow() == window.window();
            },
            lf::test::kPatience));
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
    EXPECT_TRUE(lf::MainQueue::shared()->runUntil([&] { return window.canStartAnything(); },
                                                  lf::test::kPatience));

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

}  // namespace
