#include "ui/iconview/QFExportFlowController.h"

#include "flows/runs/QFExportFlowError.h"
#include "flows/shared/QFConfinedPath.h"
#include "kit/OMLocalizer.h"
#include "kit/OMStringFormat.h"
#include "platform/writing/AtomicFile.h"
#include "ui/iconview/QFIconView.h"
#include "ui/iconview/QFIconViewScrollView.h"
#include "ui/widgets/QFPlaceholderView.h"
#include "ui/widgets/QFSaveCancelButton.h"
#include "ui/window/QFErrorAlert.h"
#include "ui/window/QFFlowTitleView.h"
#include "ui/window/QFWindow.h"
#include "ui/window/QFWindowLabel.h"
#include "ui/window/QFWindowTitleView.h"

#include <QMessageBox>
#include <QMimeData>
#include <QStackedLayout>

#include <algorithm>
#include <cctype>

namespace {

QString localized(std::string_view key) {
    return QString::fromStdString(OMLocalizedString(key));
}

// Orders paths as people read them: runs of digits compare by their value,
// so "icon-2.png" comes before "icon-10.png"; everything else by its bytes.
bool numericallyBefore(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const size_t startA = i, startB = j;
            while (i < a.size() && isDigit(a[i]))
                ++i;
            while (j < b.size() && isDigit(b[j]))
                ++j;
            std::string_view x(a.data() + startA, i - startA), y(b.data() + startB, j - startB);
            x.remove_prefix(std::min(x.find_first_not_of('0'), x.size()));
            y.remove_prefix(std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i, ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> localFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data) return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    }
    return files;
}

}  // namespace

// Recovers through the controller while it lives; the error it rides in
// does not keep the controller, and so its view, alive.
class QFExportFlowController::RecoveryAttempter final : public lf::ErrorRecoveryAttempter {
public:
    explicit RecoveryAttempter(std::weak_ptr<QFExportFlowController> controller)
        : controller_(std::move(controller)) {}
    bool attemptRecovery(const lf::Error& error, int optionIndex) override {
        const auto controller = controller_.lock();
        return controller && controller->attemptRecoveryFromError(error, optionIndex);
    }

private:
    std::weak_ptr<QFExportFlowController> controller_;
};

QFExportFlowController::QFExportFlowController(std::shared_ptr<QFFlow> flow,
                                               std::weak_ptr<QFExportFlowHost> host)
    : QFFlowRunController(std::move(flow)), host_(std::move(host)) {
    flowTitleView_ = new QFFlowTitleView;  // deleted with this controller
    flowTitleLabel_ = new QFWindowLabel;
    saveCancelButton_ = new QFSaveCancelButton;
    saveCancelButton_->resize(5, 5);
    saveCancelButton_->setPrimaryTitle(localized("flow.button.save-output.title"));
    saveCancelButton_->setSecondaryTitle(localized("flow.button.cancel.title"));
    // The control goes with this controller, which clears the actions first.
    saveCancelButton_->setPrimaryAction([this] {
        if (!saveIsWithdrawn_) tryToFinishBySavingOutput();
    });
    saveCancelButton_->setSecondaryAction([this] { cancelFlow(); });
    flowTitleView_->setLabel(flowTitleLabel_);
    flowTitleView_->setMainButton(saveCancelButton_);

    iconView_ = new QFIconView;
    iconView_->resize(400, 300);
    iconView_->setDelegate(this);
    iconView_->setStatusText(localized("export-flow.status.extracting"));
    scrollView_ = new QFIconViewScrollView;
    scrollView_->resize(400, 300);
    scrollView_->setDocumentView(iconView_);
    view();
}

QFExportFlowController::~QFExportFlowController() {
    if (saveCancelButton_) {
        saveCancelButton_->setPrimaryAction(nullptr);
        saveCancelButton_->setSecondaryAction(nullptr);
    }
    if (iconView_) iconView_->setDelegate(nullptr);
    delete flowTitleView_.data();
}

QWidget* QFExportFlowController::loadView() {
    // The error placeholder lies over the scroll view, both filling the view.
    auto* view = new QWidget;  // owned by this controller
    auto* stack = new QStackedLayout(view);
    stack->setStackingMode(QStackedLayout::StackAll);
    stack->addWidget(scrollView_);
    return view;
}

std::weak_ptr<QFExportFlowController> QFExportFlowController::weakSelf() {
    return std::static_pointer_cast<QFExportFlowController>(shared_from_this());
}

QFWindow* QFExportFlowController::window() const {
    return scrollView_ ? dynamic_cast<QFWindow*>(scrollView_->window()) : nullptr;
}

// Runs -------------------------------------------------------------------------------

void QFExportFlowController::willRunFlowForInitialInput() {
    requestedMode_ = QFIconView::ModeExtracting;
    iconView_->setMode(QFIconView::ModeExtracting, true, {});
}

void QFExportFlowController::didRunFlowForChangedInputWithResult(
    bool result, const std::optional<lf::Error>& error) {
    didRunFlowForInitialInputWithResult(result, error);
}

void QFExportFlowController::didRunFlowForInitialInputWithResult(
    bool result, const std::optional<lf::Error>& error) {
    // The window closed while the flow ran, and its views went with it.
    if (!iconView_) return;
    if (!result) {
        // The run emptied the output: nothing is left to save.
        saveIsWithdrawn_ = true;
        withdrawSave();
        const lf::Error shown =
            wrapErrorIfNecessary(error.value_or(lf::Error(QFExportFlowErrorDomain, 0)));
        requestedMode_ = QFIconView::ModeInput;
        iconView_->setMode(QFIconView::ModeInput, true, [weak = weakSelf(), shown] {
            if (const auto self = weak.lock()) self->presentError(shown);
        });
        return;
    }
    saveIsWithdrawn_ = false;
    if (isShowingError()) dismissError();

    std::map<std::string, std::shared_ptr<QFExportDisplayItem>> keyed;
    for (const auto& output : outputItems()) {
        const std::string key = QFPathWithComponents(output->pathComponents());
        const auto previous = keyedDisplayItems_.find(key);
        std::shared_ptr<QFExportDisplayItem> item =
            previous != keyedDisplayItems_.end() ? previous->second
                                                 : std::make_shared<QFExportDisplayItem>(key);
        item->setOutputItem(output);
        keyed[key] = std::move(item);
    }
    keyedDisplayItems_ = std::move(keyed);
    std::vector<std::shared_ptr<QFExportDisplayItem>> sorted;
    for (const auto& [key, item] : keyedDisplayItems_)
        sorted.push_back(item);
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return numericallyBefore(a->relativePath(), b->relativePath());
    });
    iconView_->setItems(std::vector<std::shared_ptr<QFIconViewItem>>(sorted.begin(), sorted.end()));
    showOutputs();
}

void QFExportFlowController::showOutputs() {
    const auto weak = weakSelf();
    auto reveal = [weak] {
        if (const auto self = weak.lock())
            self->iconView_->setMode(QFIconView::ModeOutput, true, [weak] {
                if (const auto self = weak.lock()) self->updateTitleView();
            });
    };
    // After a failure the view shows mode 0, from which only the pulse
    // leads on: through it to the outputs.
    const bool fromInput = requestedMode_ == QFIconView::ModeInput;
    requestedMode_ = QFIconView::ModeOutput;
    if (fromInput)
        iconView_->setMode(QFIconView::ModeExtracting, true, reveal);
    else
        reveal();
}

void QFExportFlowController::didFailToSaveOutputWithError(const lf::Error& error) {
    // A sheet of the window, which owns it; it goes once closed.
    QMessageBox* alert = QFAlertWithError(error, window()).release();
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
}

// Title and Save ------------------------------------------------------------------------

void QFExportFlowController::updateTitleView() {
    const size_t count = iconView_->items().size();
    const std::string text =
        count == 1
            ? OMLocalizedString("export-flow.item-ready.title")
            : OMFormatString(OMLocalizedString("export-flow.items-ready.title (item-count:%@)"),
                             std::vector<std::string>{std::to_string(count)});
    flowTitleLabel_->setText(QString::fromStdString(text));
    flowTitleLabel_->adjustSize();
    if (QFWindow* window = this->window(); window && window->titleView() != flowTitleView_)
        window->setTitleView(flowTitleView_, QFWindowTitleView::AnimationPush);
}

void QFExportFlowController::withdrawSave() {
    if (QFWindow* window = this->window(); window && window->titleView() == flowTitleView_)
        window->setTitleView(nullptr, QFWindowTitleView::AnimationPop);
}

bool QFExportFlowController::offersSave() const {
    const QFWindow* window = this->window();
    return window && window->titleView() == flowTitleView_ && !saveIsWithdrawn_;
}

void QFExportFlowController::saveFlowOutput() {
    if (saveCancelButton_ && !saveIsWithdrawn_) saveCancelButton_->click();
}

bool QFExportFlowController::respondsToAction(std::string_view action) const {
    return action == QFAction::SaveFlowOutput || action == QFAction::CancelFlow;
}

void QFExportFlowController::performAction(std::string_view action) {
    if (action == QFAction::SaveFlowOutput)
        saveFlowOutput();
    else if (action == QFAction::CancelFlow)
        cancelFlow();
}

bool QFExportFlowController::validateMenuItem(QAction& item) {
    return QFActionOfMenuItem(item) != QFAction::SaveFlowOutput || offersSave();
}

// Errors ----------------------------------------------------------------------------------

bool QFExportFlowController::presentError(const lf::Error& error) {
    if (errorPresenter_) return false;
    errorPresenter_ = new QFPlaceholderView;  // owned by the view's layout
    errorPresenter_->reflectError(error);
    errorPresenter_->setPrimaryButtonTitle(localized("export-flow.error.no-tagged-layers.ok"));
    errorPresenter_->setPrimaryButtonCallback([weak = weakSelf()] {
        if (const auto self = weak.lock()) self->closeWithReason(QFFlowCloseReasonCancelled);
    });
    auto* stack = static_cast<QStackedLayout*>(view()->layout());
    stack->addWidget(errorPresenter_);
    stack->setCurrentWidget(errorPresenter_);
    return true;
}

void QFExportFlowController::dismissError() {
    if (!errorPresenter_) return;
    QFPlaceholderView* presenter = errorPresenter_;
    errorPresenter_ = nullptr;
    view()->layout()->removeWidget(presenter);
    presenter->hide();
    presenter->deleteLater();  // it may be the one calling
}

lf::Error QFExportFlowController::wrapErrorIfNecessary(const lf::Error& error) {
    if (!error.is(QFExportFlowErrorDomain, QFExportFlowErrorNoTaggedLayers)) return error;
    lf::Error wrapped = error;
    wrapped.userInfo[lf::kRecoveryAttempterErrorKey] = std::shared_ptr<lf::ErrorRecoveryAttempter>(
        std::make_shared<RecoveryAttempter>(weakSelf()));
    wrapped.userInfo[lf::kLocalizedRecoveryOptionsErrorKey] = std::vector<std::string>{
        OMLocalizedString("export-flow.error.no-tagged-layers.view-examples")};
    return wrapped;
}

bool QFExportFlowController::attemptRecoveryFromError(const lf::Error& error, int) {
    if (!error.is(QFExportFlowErrorDomain, QFExportFlowErrorNoTaggedLayers)) return false;
    if (const auto host = host_.lock()) host->showExampleFiles();
    return true;
}

// Appearing and disappearing -----------------------------------------------------------------

void QFExportFlowController::viewDidAppear(bool, bool) {
    QWidget* top = scrollView_ ? scrollView_->window() : nullptr;
    if (top && (!top->focusWidget() || top->focusWidget() == top)) iconView_->setFocus();
}

void QFExportFlowController::viewWillDisappear(bool entering, bool animated) {
    if (QFWindow* window = this->window()) {
        const int animation = !animated  ? QFWindowTitleView::AnimationNone
                              : entering ? QFWindowTitleView::AnimationPop
                                         : QFWindowTitleView::AnimationPush;
        window->setTitleView(nullptr, animation);
    }
    if (!entering) return;
    // The flow closes: the files dragged out of it go.
    temporaryFolder_.remove();
    for (const auto& [key, item] : keyedDisplayItems_)
        item->setTemporaryFile(std::nullopt);
}

// Files of the items ---------------------------------------------------------------------------

std::optional<std::filesystem::path> QFExportFlowController::temporaryURLForDisplayItem(
    QFExportDisplayItem& item) {
    if (item.temporaryFile()) return item.temporaryFile();
    if (item.relativePath().empty() || item.data().empty()) return std::nullopt;
    // The path comes from a layer's name: it must stay inside the folder.
    const auto components = QFConfinedPathComponents(item.relativePath());
    const std::filesystem::path& base = temporaryBaseURL();
    if (!components || base.empty()) return std::nullopt;
    std::filesystem::path file = base;
    for (const auto& component : *components)
        file /= component;
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    if (!lf::writeFileAtomically(file.string(), item.data())) return std::nullopt;
    item.setTemporaryFile(file);
    return file;
}

std::optional<QUrl> QFExportFlowController::pasteboardWriterForItem(QFIconView& view,
                                                                    QFIconViewItem& item) {
    return fileURLForItem(view, item);
}

std::optional<QUrl> QFExportFlowController::fileURLForItem(QFIconView&, QFIconViewItem& item) {
    auto* displayItem = dynamic_cast<QFExportDisplayItem*>(&item);
    if (!displayItem) return std::nullopt;
    const auto file = temporaryURLForDisplayItem(*displayItem);
    if (!file) return std::nullopt;
    return QUrl::fromLocalFile(QString::fromStdString(file->string()));
}

// Drops ------------------------------------------------------------------------------------------

QStringList QFExportFlowController::acceptedDraggedTypes() const {
    return {QStringLiteral("text/uri-list")};
}

std::optional<Qt::DropAction> QFExportFlowController::draggingEntered(const QFDraggingInfo& info) {
    // Tiles dragged within the window are not input.
    if (info.source && info.source == iconView_.data()) return Qt::IgnoreAction;
    return localFiles(info.mimeData).empty() ? Qt::IgnoreAction : Qt::CopyAction;
}

std::optional<bool> QFExportFlowController::performDragOperation(const QFDraggingInfo& info) {
    const std::vector<std::string> files = localFiles(info.mimeData);
    if (!isShowingError()) return addInputWithURLs(files);
    // The run failed: the drop starts afresh in this window.
    const auto keep = shared_from_this();
    closeWithReason(QFFlowCloseReasonCancelled);
    const auto host = host_.lock();
    return host && host->startFlowWithURLs(*this, files);
}
