#pragma once
// QFRecentRowView: one flow of the recents list. At the left the flow
// button repeats the flow in a window; beside it the flow's name and a
// status line; at the right the indicator shows the behaviour and, for a
// flow without automatic repetition or with changes to run, repeats it in
// the background; a purple dot before it marks a notify flow with changes
// to run.
//
// The status line hints at what a click would do while the pointer is on
// a button or the row, and shows the flow's status otherwise, or after a
// click on a run button while the pointer stays on it (first match wins):
//   1. an idle flow forgets the last clicked run button;
//   2. on the flow button: the status after clicking it, else the hint to
//      repeat in a window;
//   3. on the indicator: the status after clicking it, else the hint of the
//      behaviour (notifies, repeats, or repeat in the background);
//   4. elsewhere on the row: the hint to double-click;
//   5. otherwise the flow's status.
// The line is cut short where the row ends; the row's tooltip holds the
// flow's whole status.
//
// A right click or a Control-click opens the context menu: reveal the
// inputs, reveal the output folder (only when the flow has one), remove
// from the recents; the row draws a purple ring while it is open.
//
// The row observes its flow's name, changes to run and status line, and
// keeps them current.
//
// Threads: main thread only.

#include "platform/core/Observation.h"

#include <QAbstractButton>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QFFlow;
class QFPopoverLabel;
class QFRecentFlowButton;
class QFRecentIndicatorButton;

class QFRecentRowView : public QWidget {
    Q_OBJECT

public:
    static constexpr double kRowHeight = 46;
    // Shows a context menu at a global position until it closes.
    using MenuPresenter = std::function<void(QMenu& menu, const QPoint& globalPosition)>;

    explicit QFRecentRowView(QWidget* parent = nullptr);
    ~QFRecentRowView() override;

    const std::shared_ptr<QFFlow>& representedFlow() const { return representedFlow_; }
    void setRepresentedFlow(std::shared_ptr<QFFlow> flow);

    // Rebuilds the status line, whose relative times move on.
    void reflectCurrentRelativeTime() { updateStatusLabel(); }
    void updateLabel();
    void updateStatusLabel();
    void updateLayout();

    // Actions.
    void repeatFlowWithUI();
    void repeatFlowWithoutUI();
    void contextMenuShowInFinder();
    void contextMenuShowOutputDirectoryInFinder();
    void contextMenuRemoveFromRecents();

    // The hover changes of the row and of its buttons.
    void mouseEntered();
    void mouseExited();
    void mouseEnteredButton() { updateStatusLabel(); }
    void mouseExitedButton();

    // Opens the context menu at `globalPosition`, drawing the ring while
    // it is open.
    void showContextMenu(const QPoint& globalPosition);
    // Every row's menus go through `presenter`; null restores QMenu::exec.
    static void setMenuPresenter(MenuPresenter presenter);

    bool isShowingContextMenu() const { return isShowingContextMenu_; }
    bool isMouseInside() const { return isMouseInside_; }
    QAbstractButton* lastClickedRunButton() const { return lastClickedRunButton_; }
    QFPopoverLabel* label() const { return label_; }
    QFPopoverLabel* statusLabel() const { return statusLabel_; }
    QFRecentFlowButton* flowButton() const { return flowButton_; }
    QFRecentIndicatorButton* repeatButton() const { return repeatButton_; }
    QFRecentIndicatorButton* hasChangesButton() const { return hasChangesButton_; }
    QWidget* textContainer() const { return textContainer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool showsHasChangesButton() const;
    // Places the buttons and texts for the row's size.
    void layoutSubviews();

    std::shared_ptr<QFFlow> representedFlow_;
    std::vector<lf::Observation> flowObservations_;
    QWidget* textContainer_;
    QFPopoverLabel* label_;
    QFPopoverLabel* statusLabel_;
    QFRecentFlowButton* flowButton_;
    QFRecentIndicatorButton* repeatButton_;
    QFRecentIndicatorButton* hasChangesButton_;
    QPointer<QAbstractButton> lastClickedRunButton_;
    bool isMouseInside_ = false;
    bool isShowingContextMenu_ = false;
};
