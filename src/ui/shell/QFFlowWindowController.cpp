#include "ui/shell/QFFlowWindowController.h"

#include "flows/QFFlow.h"
#include "flows/QFFlowManager.h"
#include "flows/inputs/QFFlowPlugInManager.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/recents/QFRecentsPopover.h"
#include "ui/recents/QFRecentsStyle.h"
#include "ui/shell/QFApplication.h"
#include "ui/shell/QFApplicationDelegate.h"
#include "ui/shell/QFApplicationMenu.h"
#include "ui/shell/QFDocumentController.h"
#include "ui/shell/QFFlowDocument.h"
#include "ui/shell/QFFlowStartController.h"
#include "ui/window/QFFlowTitleView.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFWindow.h"
#include "ui/window/QFWindowButton.h"
#include "ui/window/QFWindowLabel.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr QSize kInitialWindowSize(640, 440);
// The popover opens this far inside the button's bottom edge, and the
// button holds still this long while it appears.
constexpr double kPopoverInset = 6;
constexpr std::chrono::milliseconds kPopoverAppearancePause(300);
constexpr const char* kRunningFlowsWithoutUIKey = "isRunningFlowsWithoutUI";
// The size, in points, of the question's icon.
constexpr int kAlertIconSize = 64;

// The local files among the dragged URLs, in order.
std::vector<std::string> draggedFilePaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    }
    return paths;
}

// The window the recents popover was opened from, when the event being
// handled comes from the popover (a click on one of its rows, or a key
// while it is active); else null.
QWidget* popoverRequestWindow() {
    QFRecentsPopover& popover = QFRecentsPopover::sharedPopover();
    if (!popover.isShown() || !popover.positioningView()) return nullptr;
    const QWidget* underPointer = QApplication::widgetAt(QCursor::pos());
    const bool fromPopover = QApplication::activeWindow() == &popover ||
                             (underPointer && underPointer->window() == &popover);
    return fromPopover ? popover.positioningView()->window() : nullptr;
}

// The question's icon: the application's icon with the recents badge, at
// `deviceScale` pixels per point.
QPixmap repeatAutomaticallyAlertIcon(double deviceScale) {
    QPixmap pixmap(QSize(kAlertIconSize, kAlertIconSize) * deviceScale);
    pixmap.setDevicePixelRatio(deviceScale);
    pixmap.fill(Qt::transparent);
    if (const auto icon = QFRecentsStyle::iconForRecentRepeatAlert()) {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        icon->draw(painter, QRectF(0, 0, kAlertIconSize, kAlertIconSize));
    }
    return pixmap;
}

// Whether the recents popover shows, opened from `window`.
bool popoverIsShownOn(const QWidget* window) {
    const QFRecentsPopover& popover = QFRecentsPopover::sharedPopover();
    return popover.isShown() && popover.positioningView() &&
           popover.positioningView()->window() == window;
}

}  // namespace

std::shared_ptr<QFFlowWindowController> QFFlowWindowController::create() {
    return std::shared_ptr<QFFlowWindowController>(new QFFlowWindowController);
}

QFFlowWindowController::QFFlowWindowController()
    : window_(new QFWindow),
      recentRepeatWindowButton_(new QFWindowButton),
      startTitleView_(new QFFlowTitleView),
      startViewController_(std::make_shared<QFFlowStartController>()) {
    window_->setWindowController(this);
    window_->resize(kInitialWindowSize);
    window_->installEventFilter(this);

    recentRepeatWindowButton_->setBordered(false);
    recentRepeatWindowButton_->setImageWithSize(
        QSizeF(kRecentRepeatGlyphSize, kRecentRepeatGlyphSize),
        [](QPainter& painter, double progress, const QRectF& rect) {
            QFRecentsStyle::drawingBlockForRecentRepeatTemplate()(painter, rect, progress);
        });
    connect(recentRepeatWindowButton_, &QAbstractButton::clicked, this,
            [this] { toggleRecentRepeat(); });
    recentRepeatWindowButton_->setToolTip(QFLocalizedString("recents-repeat.button.tooltip"));
    recentRepeatWindowButton_->setPadding(OMEdgeInsets{4, 7, 4, 7});
    recentRepeatWindowButton_->sizeToFit();
    window_->setAccessoryWindowButton(recentRepeatWindowButton_);

    auto* label = new QFWindowLabel;
    // The product's own name, which the label shows as the logotype.
    label->setText(QString::fromStdString(QFResources::shared()->productName()));
    startTitleView_->setLabel(label);
    window_->setDefaultTitleView(startTitleView_);
    window_->setTitleView(startTitleView_);

    window_->pushContentViewController(startViewController_, false);

    menuButton_ = new QFApplicationMenuButton(
        *window_, new QFApplicationMenu([this] { return responderChain(); }));

    runningFlowsObservation_ = QFFlowManager::defaultManager()->addObserver(
        kRunningFlowsWithoutUIKey,
        [this](const std::string&) {
            if (QFFlowManager::defaultManager()->isRunningFlowsWithoutUI())
                recentRepeatWindowButton_->startAnimation();
            else
                recentRepeatWindowButton_->stopAnimation();
        },
        true);
}

QFFlowWindowController::~QFFlowWindowController() {
    runningFlowsObservation_.reset();
    window_->removeEventFilter(this);
    window_->setWindowController(nullptr);
    window_->hide();
    window_->deleteLater();
}

void QFFlowWindowController::showWindow() {
    // Left open, the recents popover would lie over the window brought
    // forward and take its keys. Its own closing when another window comes
    // forward cannot be relied on here: it spares the window of its button
    // while the pointer rests there, as it does after the click that
    // opened it.
    closeRecentRepeat();
    // Brought forward out of sight, a minimized window would hide the flow
    // it was given.
    if (window_->isMinimized())
        window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
    // The window manager may leave the window where it is (on another
    // desktop, say): it then asks for the user's attention, which its
    // coming forward ends.
    QApplication::alert(window_);
    if (auto document = document_.lock())
        QFDocumentController::shared().noteDocumentCameForward(*document);
}

void QFFlowWindowController::closeWindow() {
    window_->removeEventFilter(this);
    window_->hide();
}

void QFFlowWindowController::startFlowInWindow(const std::shared_ptr<QFFlow>& flow) {
    findRunningWindowControllerWithTest(
        [flow](QFFlowWindowController& controller) { return controller.runningFlow() == flow; },
        [flow](QFFlowWindowController& controller) { controller.startFlow(flow); });
}

void QFFlowWindowController::findRunningWindowControllerWithTest(const Test& test,
                                                                 const Action& action) {
    auto& documents = QFDocumentController::shared();
    auto ordered = documents.orderedDocuments();
    // A request from the recents popover prefers the window it was opened
    // from.
    if (QWidget* from = popoverRequestWindow()) {
        if (auto document = documents.documentForWindow(from)) {
            std::erase(ordered, document);
            ordered.insert(ordered.begin(), document);
        }
    }
    std::shared_ptr<QFFlowWindowController> found, idle;
    for (const auto& document : ordered) {
        if (document->windowControllers().empty()) continue;
        const auto controller = document->windowControllers().back();
        if (test(*controller))
            found = controller;
        else if (!idle && controller->canStartAnything())
            idle = controller;
    }
    if (found) {
        found->showWindow();
        return;
    }
    if (!idle) {
        std::optional<lf::Error> error;
        auto document = documents.openUntitledDocumentAndDisplay(false, &error);
        if (!document) return;
        document->makeWindowControllers();
        if (document->windowControllers().empty()) return;
        idle = document->windowControllers().back();
    }
    action(*idle);
    idle->showWindow();
}

bool QFFlowWindowController::canStartAnything() const {
    return window_->contentViewController() == startViewController_ && !isAskingWhetherToRepeat_ &&
           pendingHandOvers_ == 0;
}

std::shared_ptr<QFFlow> QFFlowWindowController::runningFlow() const {
    auto* runController =
        dynamic_cast<QFFlowRunController*>(window_->contentViewController().get());
    return runController ? runController->flow() : nullptr;
}

bool QFFlowWindowController::canStartFlow(const QFFlow* flow) const {
    return canStartAnything() || (flow && runningFlow().get() == flow);
}

bool QFFlowWindowController::startFlow(const std::shared_ptr<QFFlow>& flow) {
    if (!canStartFlow(flow.get())) return false;
    if (runningFlow() != flow) {
        auto controller = QFFlowPlugInManager::defaultManager()->newFlowRunControllerWithFlow(flow);
        // A run controller without a view cannot be shown in a window.
        if (!std::dynamic_pointer_cast<QFViewController>(controller)) return false;
        startRunningFlowWithController(controller);
    }
    showWindow();
    return true;
}

void QFFlowWindowController::startRunningFlowWithController(
    const std::shared_ptr<QFFlowRunController>& controller) {
    auto viewController = std::dynamic_pointer_cast<QFViewController>(controller);
    if (!viewController) return;
    controller->setHost(weak_from_this());
    controller->willAppearInUI();
    viewController->view();
    controller->willRunFlowForInitialInput();
    window_->pushContentViewController(viewController, true);
    // The run starts once the push has begun.
    lf::MainQueue::shared()->async([weak = std::weak_ptr(controller)] {
        if (auto controller = weak.lock()) controller->runFlowForInitialInput();
    });
}

void QFFlowWindowController::didSaveFlowOutput(QFFlowRunController& controller) {
    const std::shared_ptr<QFFlow>& flow = controller.flow();
    auto manager = QFFlowManager::defaultManager();
    const auto& recents = manager->recentFlows();
    if (std::find(recents.begin(), recents.end(), flow) == recents.end()) firstSavedFlow_ = flow;
    manager->noteNewRecentFlow(flow);
}

void QFFlowWindowController::closeFlowController(QFFlowRunController& controller,
                                                 QFFlowCloseReason reason) {
    controller.willDisappearFromUI();
    const std::shared_ptr<QFFlow> flow = controller.flow();
    const bool listedBySave = std::exchange(firstSavedFlow_, nullptr) == flow;
    const bool isFirstSave = reason == QFFlowCloseReasonSaved && listedBySave;
    QFFlowManager::defaultManager()->noteNewRecentFlow(flow);
    lf::MainQueue::shared()->async([weak = weak_from_this(), flow, isFirstSave] {
        auto self = weak.lock();
        if (!self) return;
        self->window_->popContentViewControllerAnimated(true, [weak, flow, isFirstSave] {
            if (!isFirstSave) return;
            // From the moment the window is back to its start view until
            // the question is answered, another flow would show under a
            // question that is not about it: the window takes none.
            if (auto self = weak.lock()) self->isAskingWhetherToRepeat_ = true;
            lf::MainQueue::shared()->async([weak, flow] {
                if (auto self = weak.lock()) self->askWhetherToRepeatAutomatically(flow);
            });
        });
    });
}

void QFFlowWindowController::askWhetherToRepeatAutomatically(const std::shared_ptr<QFFlow>& flow) {
    std::string titleKey = "flow.decide.should-repeat-automatically.title";
    if (flow->inputURLs().size() >= 2) titleKey += ".multiple";
    auto* alert = new QMessageBox(window_);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setText(QFLocalizedString(titleKey));
    alert->setInformativeText(QFLocalizedString("flow.decide.should-repeat-automatically.message"));
    QPushButton* proceed = alert->addButton(
        QFLocalizedString("flow.decide.should-repeat-automatically.button.proceed.title"),
        QMessageBox::AcceptRole);
    alert->addButton(
        QFLocalizedString("flow.decide.should-repeat-automatically.button.cancel.title"),
        QMessageBox::RejectRole);
    alert->setDefaultButton(proceed);
    alert->setIconPixmap(repeatAutomaticallyAlertIcon(window_->devicePixelRatioF()));
    repeatAutomaticallyAlert_ = alert;
    QPointer<QPushButton> proceedButton(proceed);
    QFApplication::shared().beginSheet(
        *alert, window_, [weak = weak_from_this(), flow, alert, proceedButton](int) {
            if (auto self = weak.lock()) self->isAskingWhetherToRepeat_ = false;
            if (!proceedButton || alert->clickedButton() != proceedButton.data()) return;
            flow->setBehavior(QFFlowBehaviorRepeatAutomatically);
            flow->activateAutomaticBehaviorIfNeeded();
            if (auto self = weak.lock()) self->showRecentRepeat();
        });
}

void QFFlowWindowController::toggleRecentRepeat() {
    if (popoverIsShownOn(window_))
        closeRecentRepeat();
    else
        showRecentRepeat();
}

void QFFlowWindowController::showRecentRepeat() {
    QFRecentsPopover& popover = QFRecentsPopover::sharedPopover();
    if (popover.isShown()) {
        // Shown on another window: it leaves at once.
        const bool animates = popover.animates();
        popover.setAnimates(false);
        popover.performClose();
        popover.setAnimates(animates);
    }
    QFWindowButton& button = *recentRepeatWindowButton_;
    button.suspendAnimation();
    popover.showRelativeToRect(QRectF(button.rect()).adjusted(0, kPopoverInset, 0, -kPopoverInset),
                               &button, Qt::BottomEdge);
    lf::MainQueue::shared()->asyncAfter(kPopoverAppearancePause, [button = QPointer(&button)] {
        if (button) button->resumeAnimation();
    });
}

void QFFlowWindowController::closeRecentRepeat() {
    QFRecentsPopover& popover = QFRecentsPopover::sharedPopover();
    if (!popover.isShown()) return;
    recentRepeatWindowButton_->suspendAnimation();
    popover.performClose();
    recentRepeatWindowButton_->resumeAnimation();
}

bool QFFlowWindowController::respondsToAction(std::string_view action) const {
    return action == QFAction::ToggleRecentRepeat || action == QFAction::PerformClose;
}

void QFFlowWindowController::performAction(std::string_view action) {
    if (action == QFAction::ToggleRecentRepeat)
        toggleRecentRepeat();
    else if (action == QFAction::PerformClose)
        window_->close();
}

bool QFFlowWindowController::validateMenuItem(QAction& item) {
    if (QFActionOfMenuItem(item) == QFAction::ToggleRecentRepeat)
        item.setText(QFLocalizedString(popoverIsShownOn(window_) ? "recents-repeat.hide.title"
                                                                 : "recents-repeat.show.title"));
    return true;
}

QFResponderChain QFFlowWindowController::responderChain() const {
    QFApplication& application = QFApplication::shared();
    return {dynamic_cast<QFActionResponder*>(window_->contentViewController().get()),
            const_cast<QFFlowWindowController*>(this), &application, application.delegate()};
}

QStringList QFFlowWindowController::acceptedDraggedTypes() const {
    return {QStringLiteral("text/uri-list")};
}

std::optional<Qt::DropAction> QFFlowWindowController::draggingEntered(const QFDraggingInfo& info) {
    if (canStartAnything() && !draggedFilePaths(info.mimeData).empty()) return Qt::CopyAction;
    return Qt::IgnoreAction;
}

std::optional<bool> QFFlowWindowController::performDragOperation(const QFDraggingInfo& info) {
    return startFlowWithURLs(draggedFilePaths(info.mimeData));
}

void QFFlowWindowController::noteWindowWillClose() {
    if (auto* runController =
            dynamic_cast<QFFlowRunController*>(window_->contentViewController().get()))
        runController->willDisappearFromUI();
}

void QFFlowWindowController::replaceSessionDocument(
    const std::shared_ptr<QFFlowDocument>& document) {
    const auto self = shared_from_this();
    if (auto previous = document_.lock()) {
        previous->removeWindowController(*this);
        // Closing the window closes its document.
        if (previous->windowControllers().empty()) previous->close();
    }
    if (document) document->addWindowController(self);
}

bool QFFlowWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        if (event->type() == QEvent::WindowActivate) {
            if (auto document = document_.lock())
                QFDocumentController::shared().noteDocumentCameForward(*document);
        } else if (event->type() == QEvent::Close) {
            noteWindowWillClose();
            // The document goes once the window has finished closing.
            lf::MainQueue::shared()->async([weak = document_] {
                if (auto document = weak.lock()) document->close();
            });
        }
    }
    return QObject::eventFilter(watched, event);
}
