// The editor of a recent flow, opened from the recents popover: renaming,
// repetition, and the layout the application does not use.

#include "RecentsTestSupport.h"
#include "ui/popovers/QFNavigationPopoverView.h"
#include "ui/popovers/QFPopoverTextField.h"
#include "ui/recents/QFRecentFlowButton.h"
#include "ui/recents/QFRecentFlowEditor.h"
#include "ui/window/QFResources.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>

namespace {

class RecentFlowEditorTest : public RecentsFixture {};

}  // namespace

// A double click opens the editor with its title and Done; clearing the
// name gives the default name back, the check box sets behaviour 2 or 0,
// Escape while editing keeps the popover open, and Done returns to the
// list; closing the popover with the editor open pops it.
TEST_F(RecentFlowEditorTest, EditorRenamesAndSwitchesRepetition) {
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
TEST_F(RecentFlowEditorTest, AlternativeEditorLayoutSetsEachBehaviour) {
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

// The default string table titles the editor's check box.
TEST(QFRecentFlowEditorStrings, TheCheckBoxHasATitle) {
    const QFResources source(std::make_shared<const lf::Bundle>(LF_SOURCE_RESOURCES_DIR));
    for (const char* key : {"flow-settings.repeat-automatically", "flow-settings.window.title",
                            "flow-settings.window.button.done", "recents-repeat.window.title"})
        EXPECT_NE(source.localizedString(key), key);
}
