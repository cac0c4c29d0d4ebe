#include "ui/recents/QFRecentFlowEditor.h"

#include "flows/QFFlow.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/popovers/QFNavigationPopover.h"
#include "ui/popovers/QFPopoverButton.h"
#include "ui/popovers/QFPopoverStyle.h"
#include "ui/popovers/QFPopoverTextField.h"
#include "ui/window/QFResources.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

QFRecentFlowEditor::QFRecentFlowEditor(std::shared_ptr<QFFlow> flow) {
    setTitle(QFLocalizedString("flow-settings.window.title"));
    setRepresentedObject(std::move(flow));
}

QFRecentFlowEditor::~QFRecentFlowEditor() {
    setRepresentedObject(nullptr);
}

QWidget* QFRecentFlowEditor::loadView() {
    auto* view = new QWidget;
    auto* layout = new QVBoxLayout(view);  // owned by the view
    layout->setContentsMargins(10, 2, 10, 12);
    layout->setSpacing(8);

    textField_ = new QFPopoverTextField;
    textField_->setFont(QFPopoverStyle::platformSystemFontOfSize(13));
    textField_->setSizesEditorToFit(false);
    textField_->setPadding({1, 2, 1, 2});
    layout->addWidget(textField_);
    observeNameField();

    repeatAutomaticallyCheckbox_ =
        new QCheckBox(QFLocalizedString("flow-settings.repeat-automatically"));
    repeatAutomaticallyCheckbox_->setFont(QFPopoverStyle::platformSystemFontOfSize(12));
    repeatAutomaticallyCheckbox_->setChecked(
        representedFlow_ && representedFlow_->behavior() == QFFlowBehaviorRepeatAutomatically);
    layout->addWidget(repeatAutomaticallyCheckbox_);
    QObject::connect(repeatAutomaticallyCheckbox_, &QCheckBox::clicked,
                     repeatAutomaticallyCheckbox_, [this] { clickedCheckbox(); });

    makeDoneButton();
    view->setFixedWidth(kWidth);
    view->resize(kWidth, layout->sizeHint().height());
    updateNameField();
    return view;
}

void QFRecentFlowEditor::makeDoneButton() {
    auto* doneButton = new QFPopoverButton(QFLocalizedString("flow-settings.window.button.done"));
    doneButton->setFont(QFPopoverStyle::platformSystemFontOfSize(12));
    QObject::connect(doneButton, &QPushButton::clicked, doneButton, [this] { done(); });
    setNavigationPopoverTitleButtonView(doneButton);
}

void QFRecentFlowEditor::observeNameField() {
    QObject::connect(textField_, &QLineEdit::textEdited, textField_,
                     [this] { nameFieldDidChange(); });
}

QWidget* QFRecentFlowEditor::loadAlternativeView() {
    editorRowViewHeight_ = makeEditorRowView()->sizeHint().height();
    repeatSettingsRowViewHeight_ = makeRepeatSettingsRowView()->sizeHint().height();
    auto* list = new QFPopoverListView;
    listView_ = list;
    list->resize(kAlternativeWidth,
                 static_cast<int>(editorRowViewHeight_ + 1 + repeatSettingsRowViewHeight_ + 1));
    list->setRowSpacing(1);
    list->setVerticalScrollElasticity(1);
    list->setDelegate(this);
    makeDoneButton();
    return list;
}

QWidget* QFRecentFlowEditor::makeEditorRowView() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);  // owned by the row
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(11);
    flowButton_ = new QFRecentFlowButton;
    flowButton_->setEnabled(false);
    if (representedFlow_) flowButton_->reflectFlow(*representedFlow_);
    layout->addWidget(flowButton_, 0, Qt::AlignVCenter);
    textField_ = new QFPopoverTextField;
    textField_->setSizesEditorToFit(false);
    layout->addWidget(textField_, 1, Qt::AlignVCenter);
    observeNameField();
    updateNameField();
    editorRowView_ = row;
    return row;
}

QWidget* QFRecentFlowEditor::makeRepeatSettingsRowView() {
    auto* row = new QWidget;
    auto* layout = new QVBoxLayout(row);  // owned by the row
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(8);
    // The plain titles of the three behaviours, from repeating down to none.
    const std::array<const char*, 3> titles = {"repeat automatically", "notify when changes occur",
                                               "don't repeat"};
    const int current = !representedFlow_                                                   ? 2
                        : representedFlow_->behavior() == QFFlowBehaviorRepeatAutomatically ? 0
                        : representedFlow_->behavior() == QFFlowBehaviorNotifyWhenChanged   ? 1
                                                                                            : 2;
    for (size_t i = 0; i < titles.size(); ++i) {
        auto* button = new QRadioButton(QString::fromUtf8(titles[i]));
        button->setAutoExclusive(false);
        button->setChecked(static_cast<int>(i) == current);
        QObject::connect(button, &QRadioButton::clicked, button,
                         [this, button] { clickedRadioButton(button); });
        layout->addWidget(button);
        repeatSettingButtons_[i] = button;
    }
    repeatSettingsRowView_ = row;
    return row;
}

QWidget* QFRecentFlowEditor::rowViewForRow(QFPopoverListView&, uint64_t row) {
    // The list deletes rows it lets go; they are made again when asked.
    if (row == 0) return editorRowView_ ? editorRowView_.data() : makeEditorRowView();
    if (row == 1)
        return repeatSettingsRowView_ ? repeatSettingsRowView_.data() : makeRepeatSettingsRowView();
    return nullptr;
}

double QFRecentFlowEditor::heightOfRow(QFPopoverListView&, uint64_t row) {
    if (row == 0) return editorRowViewHeight_;
    if (row == 1) return repeatSettingsRowViewHeight_;
    return 0;
}

void QFRecentFlowEditor::listViewDidMoveToWindow(QFPopoverListView&) {
    // Once the editor row is in a window, on the next turn of the main queue.
    QPointer<QFPopoverTextField> field = textField_;
    lf::MainQueue::shared()->async([field, row = editorRowView_] {
        if (field && row && row->window() != row) field->focus();
    });
}

void QFRecentFlowEditor::clickedRadioButton(QRadioButton* clicked) {
    constexpr std::array<QFFlowBehavior, 3> behaviors = {
        QFFlowBehaviorRepeatAutomatically, QFFlowBehaviorNotifyWhenChanged, QFFlowBehaviorNone};
    for (size_t i = 0; i < repeatSettingButtons_.size(); ++i) {
        QRadioButton* button = repeatSettingButtons_[i];
        if (!button) continue;
        button->setChecked(button == clicked);
        if (button == clicked && representedFlow_) representedFlow_->setBehavior(behaviors[i]);
    }
}

void QFRecentFlowEditor::setRepresentedObject(std::shared_ptr<QFFlow> flow) {
    flowObservations_.clear();
    representedFlow_ = std::move(flow);
    if (!representedFlow_) return;
    for (const char* key : {"name", "defaultDisplayName", "behavior"}) {
        flowObservations_.push_back(representedFlow_->addObserver(key, [this](const std::string&) {
            updateNameField();
            if (flowButton_) flowButton_->reflectFlow(*representedFlow_);
        }));
    }
    updateNameField();
}

void QFRecentFlowEditor::updateNameField() {
    if (!textField_ || !representedFlow_) return;
    const QString name = QString::fromStdString(representedFlow_->name().value_or(""));
    // Setting the text the field shows would move its caret to the end.
    if (textField_->text() != name) textField_->setText(name);
    textField_->setPlaceholder(QString::fromStdString(representedFlow_->defaultDisplayName()));
}

void QFRecentFlowEditor::nameFieldDidChange() {
    if (!representedFlow_ || !textField_) return;
    const QString text = textField_->text();
    representedFlow_->setName(text.isEmpty() ? std::nullopt
                                             : std::optional<std::string>(text.toStdString()));
}

void QFRecentFlowEditor::clickedCheckbox() {
    if (!representedFlow_ || !repeatAutomaticallyCheckbox_) return;
    if (repeatAutomaticallyCheckbox_->isChecked()) {
        representedFlow_->setBehavior(QFFlowBehaviorRepeatAutomatically);
        representedFlow_->activateAutomaticBehaviorIfNeeded();
    } else {
        representedFlow_->setBehavior(QFFlowBehaviorNone);
    }
}

void QFRecentFlowEditor::done() {
    // The name is already the flow's: committing only ends the editing.
    if (textField_ && textField_->isEditing()) textField_->abortEditing();
    if (QFNavigationPopover* popover = navigationPopover())
        popover->popViewControllerAnimated(true);
}
