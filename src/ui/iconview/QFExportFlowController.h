#pragma once
// QFExportFlowController: what a flow window shows while it runs an export
// flow: the run's outputs as tiles of an icon view, a title with the
// number of items ready and the Save / Cancel control in the title bar, and
// the run's error in a placeholder when it fails.
//
// The run hooks drive the icon view: a first run pulses the input (mode 1);
// a result shows the outputs (mode 2) and then the title; a failure fades
// everything (mode 0) and then shows the error. A success after a failure
// goes through mode 1 to mode 2, since the icon view has no change from 0
// straight to 2. While an error shows, Save is withdrawn from the title
// bar: the run that failed emptied the output, and saving it would write
// nothing and close as saved.
//
// Outputs are kept by their path, so a re-run that produces a path again
// shows it in the same tile; they are sorted with numbers compared by
// value (icon-2.png before icon-10.png).
//
// Dragging a tile out drags a file written on demand into a temporary
// folder of this controller's own, removed when the flow closes (and at
// exit).
//
// Files dropped on the window are added to the running flow; while an
// error shows they start a new flow in the window instead.
//
// Threads: main thread only.

#include "flows/QFFlowRunController.h"
#include "ui/iconview/QFExportDisplayItem.h"
#include "ui/iconview/QFExportFlowHost.h"
#include "ui/iconview/QFIconView.h"
#include "ui/iconview/QFIconViewDelegate.h"
#include "ui/iconview/QFIconViewScrollView.h"
#include "ui/iconview/QFTemporaryItemFolder.h"
#include "ui/widgets/QFPlaceholderView.h"
#include "ui/widgets/QFSaveCancelButton.h"
#include "ui/window/QFActionResponder.h"
#include "ui/window/QFFlowTitleView.h"
#include "ui/window/QFViewController.h"
#include "ui/window/QFWindowDraggingDestination.h"
#include "ui/window/QFWindowLabel.h"

#include <QPointer>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QFWindow;

class QFExportFlowController final : public QFFlowRunController,
                                     public QFViewController,
                                     public QFWindowDraggingDestination,
                                     public QFIconViewDelegate,
                                     public QFActionResponder {
public:
    QFExportFlowController(std::shared_ptr<QFFlow> flow, std::weak_ptr<QFExportFlowHost> host);
    ~QFExportFlowController() override;

    // Run hooks.
    void willRunFlowForInitialInput() override;
    void didRunFlowForInitialInputWithResult(bool result,
                                             const std::optional<lf::Error>& error) override;
    void willRunFlowForChangedInput() override {}
    void didRunFlowForChangedInputWithResult(bool result,
                                             const std::optional<lf::Error>& error) override;
    void didFailToSaveOutputWithError(const lf::Error& error) override;

    // Save, as a click on the control; nothing while Save is withdrawn.
    void saveFlowOutput() override;
    void cancelFlow() { closeWithReason(QFFlowCloseReasonCancelled); }

    // The menu's Save (enabled while the title bar offers it) and Cancel.
    bool respondsToAction(std::string_view action) const override;
    void performAction(std::string_view action) override;
    bool validateMenuItem(QAction& item) override;

    // Shows `error` in the placeholder; false when one already shows.
    bool presentError(const lf::Error& error);
    void dismissError();
    bool isShowingError() const { return errorPresenter_ != nullptr; }
    // The no-tagged-layers error with this controller to recover from it by
    // opening the example documents; any other error as it is.
    lf::Error wrapErrorIfNecessary(const lf::Error& error);
    bool attemptRecoveryFromError(const lf::Error& error, int optionIndex);

    void viewDidAppear(bool entering, bool animated) override;
    void viewWillDisappear(bool entering, bool animated) override;

    // The folder of the files dragged out (chosen on first use).
    const std::filesystem::path& temporaryBaseURL() { return temporaryFolder_.path(); }
    // The item's output written as a file there, or the file written
    // before; none when it has no output or cannot be written.
    std::optional<std::filesystem::path> temporaryURLForDisplayItem(QFExportDisplayItem& item);

    std::optional<QUrl> pasteboardWriterForItem(QFIconView& view, QFIconViewItem& item) override;
    std::optional<QUrl> fileURLForItem(QFIconView& view, QFIconViewItem& item) override;

    QStringList acceptedDraggedTypes() const override;
    std::optional<Qt::DropAction> draggingEntered(const QFDraggingInfo& info) override;
    std::optional<bool> performDragOperation(const QFDraggingInfo& info) override;

    QFIconView* iconView() const { return iconView_; }
    QFFlowTitleView* flowTitleView() const { return flowTitleView_; }
    QFWindowLabel* flowTitleLabel() const { return flowTitleLabel_; }
    QFSaveCancelButton* saveCancelButton() const { return saveCancelButton_; }
    QFPlaceholderView* errorPresenter() const { return errorPresenter_; }
    // Whether the title bar offers Save.
    bool offersSave() const;

protected:
    QWidget* loadView() override;

private:
    class RecoveryAttempter;

    std::weak_ptr<QFExportFlowController> weakSelf();
    QFWindow* window() const;
    void showOutputs();
    void updateTitleView();
    void withdrawSave();

    std::weak_ptr<QFExportFlowHost> host_;
    QPointer<QFIconView> iconView_;
    QPointer<QFIconViewScrollView> scrollView_;
    QPointer<QFFlowTitleView> flowTitleView_;
    QPointer<QFSaveCancelButton> saveCancelButton_;
    QPointer<QFWindowLabel> flowTitleLabel_;
    QPointer<QFPlaceholderView> errorPresenter_;
    QFTemporaryItemFolder temporaryFolder_;
    std::map<std::string, std::shared_ptr<QFExportDisplayItem>> keyedDisplayItems_;
    // The mode last asked of the icon view.
    int32_t requestedMode_ = 0;
    // After a failed run, until the next success.
    bool saveIsWithdrawn_ = false;
};
