#pragma once
// QFRecentFlowEditor: the editor of a recent flow, pushed over the recents
// list: the flow's name in a popover text field whose placeholder is the
// flow's default name (an empty name gives the default back), a check box
// that switches automatic repetition on (behaviour 2) or off (behaviour 0),
// and Done at the right of the title bar, which pops the editor.
//
// The field follows the flow's name and default name while the editor
// lives; the check box shows the behaviour as the editor opened.
//
// A second layout (loadAlternativeView), which the application does not
// use, shows the same editor as a two-row popover list: the flow button
// beside the name, then three radio buttons for the three behaviours.
//
// Threads: main thread only.

#include "platform/core/Observation.h"
#include "ui/popovers/QFPopoverListView.h"
#include "ui/popovers/QFPopoverListViewDelegate.h"
#include "ui/popovers/QFPopoverTextField.h"
#include "ui/recents/QFRecentFlowButton.h"
#include "ui/window/QFViewController.h"

#include <QCheckBox>
#include <QPointer>
#include <QRadioButton>

#include <array>
#include <memory>
#include <vector>

class QFFlow;

class QFRecentFlowEditor : public QFViewController, public QFPopoverListViewDelegate {
public:
    static constexpr int kWidth = 240;
    static constexpr int kAlternativeWidth = 100;

    explicit QFRecentFlowEditor(std::shared_ptr<QFFlow> flow);
    ~QFRecentFlowEditor() override;

    const std::shared_ptr<QFFlow>& representedFlow() const { return representedFlow_; }
    void setRepresentedObject(std::shared_ptr<QFFlow> flow);
    void updateNameField();

    // Actions.
    void nameFieldDidChange();
    void clickedCheckbox();
    void done();
    // The alternative layout's radio buttons: behaviour 2, 1 and 0.
    void clickedRadioButton(QRadioButton* button);

    // The alternative layout, a new view.
    QWidget* loadAlternativeView();

    QFPopoverTextField* textField() const { return textField_; }
    QCheckBox* repeatAutomaticallyCheckbox() const { return repeatAutomaticallyCheckbox_; }
    QFRecentFlowButton* flowButton() const { return flowButton_; }
    QRadioButton* repeatSettingButton(int index) const { return repeatSettingButtons_.at(index); }

    // The alternative layout's list.
    uint64_t numberOfRowsInListView(QFPopoverListView& listView) override { return 2; }
    QWidget* rowViewForRow(QFPopoverListView& listView, uint64_t row) override;
    double heightOfRow(QFPopoverListView& listView, uint64_t row) override;
    bool shouldDrawSeparatorBelowRow(QFPopoverListView&, uint64_t) override { return true; }
    void listViewDidMoveToWindow(QFPopoverListView& listView) override;

protected:
    QWidget* loadView() override;

private:
    // The Done button in the title bar.
    void makeDoneButton();
    void observeNameField();
    QWidget* makeEditorRowView();
    QWidget* makeRepeatSettingsRowView();

    std::shared_ptr<QFFlow> representedFlow_;
    std::vector<lf::Observation> flowObservations_;
    QPointer<QFPopoverTextField> textField_;
    QPointer<QCheckBox> repeatAutomaticallyCheckbox_;
    QPointer<QFRecentFlowButton> flowButton_;
    QPointer<QFPopoverListView> listView_;
    QPointer<QWidget> editorRowView_;
    double editorRowViewHeight_ = 0;
    QPointer<QWidget> repeatSettingsRowView_;
    double repeatSettingsRowViewHeight_ = 0;
    std::array<QPointer<QRadioButton>, 3> repeatSettingButtons_;
};
