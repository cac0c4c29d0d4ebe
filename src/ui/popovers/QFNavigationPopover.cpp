#include "ui/popovers/QFNavigationPopover.h"

#include "ui/popovers/QFNavigationPopoverRootView.h"
#include "ui/popovers/QFNavigationPopoverView.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

double& sharedMaxPopoverHeight() {
    static double height = QFNavigationPopover::kInitialMaxPopoverHeight;
    return height;
}

}  // namespace

double QFNavigationPopover::maxPopoverHeight() {
    return sharedMaxPopoverHeight();
}

double QFNavigationPopover::loweredMaxPopoverHeight(double current,
                                                    const std::vector<double>& screenHeights) {
    for (double height : screenHeights)
        current = std::min(current, std::floor(height * kScreenHeightShare));
    return current;
}

QFNavigationPopover::QFNavigationPopover(std::shared_ptr<QFViewController> rootViewController,
                                         QWidget* parent)
    : QFPopoverWindow(parent) {
    std::vector<double> screenHeights;
    for (const QScreen* screen : QGuiApplication::screens())
        screenHeights.push_back(screen->geometry().height());
    double& cap = sharedMaxPopoverHeight();
    cap = loweredMaxPopoverHeight(cap, screenHeights);

    rootView_ = new QFNavigationPopoverRootView(cap);
    setContentWidget(rootView_);  // owned by the popover
    rootViewController->setNavigationPopover(this);
    viewControllerStack_.push_back(std::move(rootViewController));
    setDidCloseHandler([this] { noteDidClose(); });
}

QFNavigationPopover::~QFNavigationPopover() {
    setDidCloseHandler({});
    // The views go back to their controllers before the content goes.
    rootView_->setVisibleView(nullptr);
    for (const auto& controller : viewControllerStack_)
        controller->setNavigationPopover(nullptr);
}

QFNavigationPopoverView* QFNavigationPopover::visibleViewControllerView() const {
    return rootView_->visibleView();
}

void QFNavigationPopover::pushViewController(std::shared_ptr<QFViewController> controller,
                                             bool animated) {
    if (!controller || std::find(viewControllerStack_.begin(), viewControllerStack_.end(),
                                 controller) != viewControllerStack_.end())
        return;
    viewControllerStack_.push_back(controller);
    setContentViewController(controller, animated);
    controller->setNavigationPopover(this);
}

std::shared_ptr<QFViewController> QFNavigationPopover::popViewControllerAnimated(bool animated) {
    if (viewControllerStack_.size() < 2) return nullptr;
    std::shared_ptr<QFViewController> popped = viewControllerStack_.back();
    popped->setNavigationPopover(nullptr);
    viewControllerStack_.pop_back();
    setContentViewController(viewControllerStack_.back(), animated);
    releaseLater(popped);
    return popped;
}

std::vector<std::shared_ptr<QFViewController>> QFNavigationPopover::popToRootViewControllerAnimated(
    bool animated) {
    std::vector<std::shared_ptr<QFViewController>> popped;
    while (viewControllerStack_.size() > 1)
        popped.push_back(popViewControllerAnimated(animated));
    return popped;
}

void QFNavigationPopover::releaseLater(std::shared_ptr<QFViewController> controller) {
    QMetaObject::invokeMethod(
        this, [controller = std::move(controller)] {}, Qt::QueuedConnection);
}

void QFNavigationPopover::setContentViewController(
    const std::shared_ptr<QFViewController>& controller, bool) {
    // The resize and the new content appear in one frame.
    setUpdatesEnabled(false);
    if (QFNavigationPopoverView* visible = rootView_->visibleView())
        visible->setOwnerPopover(nullptr);
    auto* view = new QFNavigationPopoverView(*controller);
    view->setOwnerPopover(this);
    QSize size = view->size();
    rootView_->setVisibleView(view);  // owned by the root view
    if (controller->navigationPopoverShouldUseContentViewFittingSize())
        size = rootView_->fittingSize();
    setContentSize(size, false);
    setUpdatesEnabled(true);
}

void QFNavigationPopover::setContentViewControllerIfNeeded() {
    if (!rootView_->visibleView()) setContentViewController(viewControllerStack_.back(), false);
}

void QFNavigationPopover::setContentSize(const QSize& size, bool) {
    const bool animated = animates();
    setAnimates(false);
    QFPopoverWindow::setContentSize(
        size.boundedTo(QSize(QWIDGETSIZE_MAX, rootView_->maximumHeight())));
    rootView_->layoutVisibleView();
    setAnimates(animated);
}

void QFNavigationPopover::sizeToFitVisibleViewController() {
    const std::shared_ptr<QFViewController>& top = viewControllerStack_.back();
    if (!rootView_->visibleView() || !top->navigationPopoverShouldUseContentViewFittingSize())
        return;
    const QSize fitting = rootView_->fittingSize();
    if (fitting != contentSize()) setContentSize(fitting, false);
}

void QFNavigationPopover::showRelativeToRect(const QRectF& rect, QWidget* view,
                                             Qt::Edge preferredEdge) {
    setContentViewControllerIfNeeded();
    // The content may have changed while the popover was closed.
    sizeToFitVisibleViewController();
    QFPopoverWindow::showRelativeToRect(rect, view, preferredEdge);
}

void QFNavigationPopover::noteDidClose() {
    if (popsToRootViewControllerWhenClosed_) popViewControllerAnimated(false);
}
