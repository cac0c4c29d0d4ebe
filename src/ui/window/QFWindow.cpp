#include "ui/window/QFWindow.h"

#include "platform/dispatch/MainQueue.h"
#include "ui/window/QFAlignmentRect.h"
#include "ui/window/QFDraggingSource.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFWindowBackgroundView.h"
#include "ui/window/QFWindowButton.h"
#include "ui/window/QFWindowButtonsTrackingView.h"
#include "ui/window/QFWindowCompositing.h"
#include "ui/window/QFWindowContentView.h"
#include "ui/window/QFWindowMoveTracker.h"
#include "ui/window/QFWindowResizeGrip.h"
#include "ui/window/QFWindowStyle.h"
#include "ui/window/QFWindowTitleView.h"

#include <QApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QRegion>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr Qt::Edges kGripEdges[] = {
    Qt::TopEdge,
    Qt::BottomEdge,
    Qt::LeftEdge,
    Qt::RightEdge,
    Qt::TopEdge | Qt::LeftEdge,
    Qt::TopEdge | Qt::RightEdge,
    Qt::BottomEdge | Qt::LeftEdge,
    Qt::BottomEdge | Qt::RightEdge,
};

// Title views keep 20 points free beyond the buttons at each end of the
// title bar.
constexpr double kTitleMargin = 20;

}  // namespace

// A view asks its parent for a new layout when the size it asks for
// changes; the title view's parent is the wrapper that shows it.
class QFWindow::TitleViewSizeWatcher final : public QObject {
public:
    explicit TitleViewSizeWatcher(QFWindow& window) : QObject(&window), window_(window) {}

    void watch(QWidget* titleView) {
        QWidget* wrapper = titleView ? titleView->parentWidget() : nullptr;
        if (wrapper == watched_) return;
        if (watched_) watched_->removeEventFilter(this);
        watched_ = wrapper;
        if (wrapper) wrapper->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == watched_ && event->type() == QEvent::LayoutRequest)
            window_.updateMinimumSize();
        return false;
    }

private:
    QFWindow& window_;
    QPointer<QWidget> watched_;
};

QFWindow::QFWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    cutsCornersWithMask_ = !QFWindowSystemComposites();
    if (!cutsCornersWithMask_) setAttribute(Qt::WA_TranslucentBackground);
    setAcceptDrops(true);
    setWindowTitle(title());
    // Presses that no view takes move the window.
    new QFWindowMoveTracker(this, QFWindowMoveTracker::Events::Take);  // owned by the window
    initializeWindow();
}

QFWindow::~QFWindow() {
    // Title views that left the title area have no parent; the window owns
    // the default ones.
    for (const QPointer<QWidget>& view : ownedTitleViews_) {
        if (view && !view->parent()) delete view.data();
    }
}

void QFWindow::initializeWindow() {
    if (windowContentView_) return;
    windowContentView_ = new QFWindowContentView(this);  // owned as a child
    windowContentView_->setGeometry(rect());

    windowBackgroundView_ = new QFWindowBackgroundView(this);  // owned as a child
    windowBackgroundView_->setGeometry(rect());
    windowBackgroundView_->lower();

    shouldRepositionWindowButtons_ = true;
    for (auto kind : {QFStandardWindowButton::Close, QFStandardWindowButton::Miniaturize,
                      QFStandardWindowButton::Zoom}) {
        auto* button = new QFStandardWindowButton(kind, this);  // owned as a child
        button->setGeometry(QFStandardWindowButton::standardFrame(kind).toRect());
        standardButtons_[kind] = button;
        standardButtonDeltasFromTopLeft_[kind] = deltaFromTopLeftForView(*button);
    }
    windowButtonsView_ = new QFWindowButtonsTrackingView(this);  // owned as a child
    windowButtonsView_->stackUnder(standardButtons_[QFStandardWindowButton::Close]);
    windowButtonsView_->setTrackedButtons(
        std::vector<QWidget*>(standardButtons_.begin(), standardButtons_.end()));

    windowTitleView_ = new QFWindowTitleView(this);  // owned as a child
    windowTitleView_->raise();
    titleViewSizeWatcher_ = new TitleViewSizeWatcher(*this);  // owned as a child

    for (Qt::Edges edges : kGripEdges)
        resizeGrips_.push_back(new QFWindowResizeGrip(edges, this));  // owned as children

    setTitlebarHeight(QFWindowStyle::windowTitleHeight());
    setTitleView(nullptr);
    setCustomizableContentView(nullptr);
}

QString QFWindow::title() const {
    return QString::fromStdString(QFResources::shared()->productName());
}

QWidget* QFWindow::titleView() const {
    return windowTitleView_->titleView();
}

void QFWindow::setTitleView(QWidget* view, int animation) {
    QWidget* shown = view ? view : defaultTitleView_.data();
    windowTitleView_->setTitleView(shown, animation);
    titleViewSizeWatcher_->watch(shown);
    updateMinimumSize();
}

void QFWindow::setDefaultTitleView(QWidget* view) {
    defaultTitleView_ = view;
    if (view) ownedTitleViews_.emplace_back(view);
}

double QFWindow::titlebarHeight() const {
    return windowBackgroundView_->titlebarHeight();
}

void QFWindow::setTitlebarHeight(double height) {
    windowBackgroundView_->setTitlebarHeight(height);
    updatePartialTitlebarHeight();
    tile();
}

void QFWindow::setAccessoryWindowButton(QWidget* button) {
    setOwnedTitlebarButton(accessoryWindowButton_, button);
}

void QFWindow::setMenuWindowButton(QWidget* button) {
    setOwnedTitlebarButton(menuWindowButton_, button);
}

void QFWindow::setOwnedTitlebarButton(QPointer<QWidget>& slot, QWidget* button) {
    if (slot && slot != button) {
        slot->hide();
        slot->setParent(nullptr);
        slot->deleteLater();
    }
    slot = button;
    if (button) {
        button->setParent(this);
        if (button->size().isEmpty()) button->resize(button->sizeHint());
        button->show();
        button->raise();
    }
    tile();
}

QWidget* QFWindow::customizableContentView() const {
    return windowContentView_->contentView();
}

void QFWindow::setCustomizableContentView(QWidget* view) {
    windowContentView_->setContentView(view);
    updateMinimumSize();
}

void QFWindow::setContentViewController(std::shared_ptr<QFViewController> controller) {
    if (controller == contentViewController_) return;
    unregisterDraggedTypes();
    windowDraggingDestination_ = nullptr;
    contentViewController_ = std::move(controller);
    setCustomizableContentView(contentViewController_ ? contentViewController_->view() : nullptr);
    windowDraggingDestination_ =
        dynamic_cast<QFWindowDraggingDestination*>(contentViewController_.get());
    if (!windowDraggingDestination_)
        windowDraggingDestination_ =
            dynamic_cast<QFWindowDraggingDestination*>(windowController_.data());
    if (windowDraggingDestination_) {
        const QStringList types = windowDraggingDestination_->acceptedDraggedTypes();
        if (!types.isEmpty()) registerForDraggedTypes(types);
    }
}

void QFWindow::pushContentViewController(std::shared_ptr<QFViewController> controller,
                                         bool animated) {
    if (!controller) return;
    const std::shared_ptr<QFViewController> covered =
        contentViewControllerStack_.empty() ? nullptr : contentViewControllerStack_.back();
    if (covered) covered->viewWillDisappear(false, animated);
    controller->viewWillAppear(true, animated);
    if (std::find(contentViewControllerStack_.begin(), contentViewControllerStack_.end(),
                  controller) == contentViewControllerStack_.end()) {
        contentViewControllerStack_.push_back(controller);
        setContentViewController(controller);
    }
    if (covered) covered->viewDidDisappear(false, animated);
    controller->viewDidAppear(true, animated);
}

std::shared_ptr<QFViewController> QFWindow::popContentViewControllerAnimated(
    bool animated, const std::function<void()>& completionHandler) {
    if (contentViewControllerStack_.size() < 2) return nullptr;
    std::shared_ptr<QFViewController> popped = contentViewControllerStack_.back();
    popped->viewWillDisappear(true, animated);
    contentViewControllerStack_.pop_back();
    const std::shared_ptr<QFViewController> uncovered = contentViewControllerStack_.back();
    uncovered->viewWillAppear(false, animated);
    setContentViewController(uncovered);
    if (completionHandler) completionHandler();
    uncovered->viewDidAppear(false, animated);
    popped->viewDidDisappear(true, animated);
    return popped;
}

QPointF QFWindow::deltaFromTopLeftForView(const QWidget& view) const {
    return QPointF(view.mapTo(this, QPoint(0, 0)) - windowBackgroundView_->pos());
}

QRectF QFWindow::convertRectFromTopLeft(const QRectF& rect, const QWidget& view) const {
    if (&view == this) return rect;
    return QRectF(QPointF(view.mapFrom(this, QPoint(0, 0))) + rect.topLeft(), rect.size());
}

QPointF QFWindow::adjustedDeltaFromTopLeftForStandardButton(const QWidget& button) const {
    QPointF delta = standardButtonDeltasFromTopLeft_[QFStandardWindowButton::Close];
    for (size_t kind = 0; kind < standardButtons_.size(); ++kind) {
        if (standardButtons_[kind] == &button) delta = standardButtonDeltasFromTopLeft_[kind];
    }
    const double extra = titlebarHeight() - standardTitlebarHeight_;
    return delta + QPointF(std::floor(0.33 * extra), std::ceil(0.5 * extra));
}

QPointF QFWindow::adjustFrameOrigin(QPointF proposed, const QWidget& button) const {
    const bool isStandard = std::find(standardButtons_.begin(), standardButtons_.end(), &button) !=
                            standardButtons_.end();
    if (!shouldRepositionWindowButtons_ || !isStandard) return proposed;
    const QRectF frame(adjustedDeltaFromTopLeftForStandardButton(button), button.size());
    return convertRectFromTopLeft(frame, *button.parentWidget()).topLeft();
}

QFStandardWindowButton* QFWindow::standardWindowButton(QFStandardWindowButton::Kind kind) const {
    return standardButtons_[kind];
}

bool QFWindow::drawRectForButton(QPainter& painter, const QFStandardWindowButton& button) const {
    if (std::find(standardButtons_.begin(), standardButtons_.end(), &button) ==
        standardButtons_.end())
        return false;
    const bool pointerNear =
        windowButtonsView_->hasMouseInside() ||
        windowButtonsView_->rect().contains(windowButtonsView_->mapFromGlobal(QCursor::pos()));
    const bool fullLook =
        button.isEnabled() && !QApplication::activeModalWidget() &&
        (pointerNear || (hasActiveAppearance() && showsStandardWindowButtonsWhenActive_));
    if (fullLook) return false;
    QFStandardWindowButton::drawEtchedLook(painter, button.rect(), hasActiveAppearance());
    return true;
}

void QFWindow::layoutStandardButtons() {
    for (QFStandardWindowButton* button : standardButtons_)
        button->move(adjustFrameOrigin(button->pos(), *button).toPoint());
}

void QFWindow::tile() {
    layoutStandardButtons();

    // The tracking view covers the buttons from the close to the zoom one.
    windowButtonsView_->setGeometry(standardButtonsFrame().toRect());

    // The menu button follows the zoom button, centred on it.
    if (QWidget* menu = menuWindowButton_) {
        const QRect zoom = standardButtons_[QFStandardWindowButton::Zoom]->geometry();
        menu->move(zoom.x() + zoom.width() + static_cast<int>(kMenuButtonSpacing),
                   zoom.y() + (zoom.height() - menu->height()) / 2);
    }

    // The title area keeps the buttons' width and 20 points free at each end.
    const QRectF content = windowContentView_->geometry();
    const double inset = titleInset();
    const QRectF titleFrame(content.x() + inset, 0, content.width() - 2 * inset + 4,
                            titlebarHeight());
    windowTitleView_->setGeometry(
        convertRectFromTopLeft(titleFrame, *windowTitleView_->parentWidget()).toRect());

    // The accessory button mirrors the close button's margin on the right,
    // centred on its centre line.
    if (QWidget* accessory = accessoryWindowButton_) {
        const QWidget& close = *standardButtons_[QFStandardWindowButton::Close];
        const QPointF delta = adjustedDeltaFromTopLeftForStandardButton(close);
        const double centre = delta.y() + close.height() / 2.0;
        const double right = content.x() + content.width() - delta.x();
        const QRectF alignment = QFAlignmentRectForFrame(*accessory, accessory->geometry());
        const QRectF placed(std::floor(right - alignment.width()),
                            std::ceil(centre - alignment.height() / 2), alignment.width(),
                            alignment.height());
        const QRectF frame = convertRectFromTopLeft(QFFrameForAlignmentRect(*accessory, placed),
                                                    *accessory->parentWidget());
        accessory->move(frame.topLeft().toPoint());
    }

    for (QFWindowResizeGrip* grip : resizeGrips_) {
        grip->setGeometry(QFWindowResizeGrip::gripRect(grip->edges(), size()));
        grip->raise();
    }
    updateMinimumSize();
}

QRectF QFWindow::standardButtonsFrame() const {
    return QRectF(standardButtons_[QFStandardWindowButton::Close]->geometry())
        .united(QRectF(standardButtons_[QFStandardWindowButton::Zoom]->geometry()));
}

double QFWindow::titleInset() const {
    QRectF leading = standardButtonsFrame();
    if (menuWindowButton_) leading = leading.united(QRectF(menuWindowButton_->geometry()));
    return leading.x() + leading.width() + kTitleMargin;
}

QSize QFWindow::minimumSizeHint() const {
    const double inset = titleInset();
    // The title area, as wide as the title view asks, between the insets.
    const QWidget* title = titleView();
    double width = 2 * inset - 4 + (title ? std::max(0, title->sizeHint().width()) : 0);
    // The accessory button, anchored at the right end, clear of the
    // buttons at the left.
    if (accessoryWindowButton_)
        width = std::max(width, inset + this->width() - accessoryWindowButton_->x());
    double height = titlebarHeight();
    if (const QWidget* content = customizableContentView()) {
        const QSize needed = content->minimumSizeHint().expandedTo(content->minimumSize());
        width = std::max(width, static_cast<double>(needed.width()));
        height += std::max(0, needed.height());
    }
    return QSize(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height)));
}

void QFWindow::updateMinimumSize() {
    const QSize minimum = minimumSizeHint();
    if (minimum != minimumSize()) setMinimumSize(minimum);
}

void QFWindow::updatePartialTitlebarHeight() {
    // There is no title bar of the window system's: all of ours lies in
    // the content area.
    windowContentView_->setPartialTitlebarHeight(titlebarHeight());
}

void QFWindow::updateCornerMask() {
    if (!cutsCornersWithMask_) return;
    const QPainterPath outline = QFWindowBackgroundView::roundedTopCornersPath(rect());
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void QFWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    windowBackgroundView_->setGeometry(rect());
    windowContentView_->setGeometry(rect());
    updatePartialTitlebarHeight();
    tile();
    updateCornerMask();
    positionSheets();
}

void QFWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    positionSheets();
}

bool QFWindow::hasActiveAppearance() const {
    if (isMiniaturizedOrAnimatingToFromDeminiaturized_) return wasActiveBeforeMiniaturization_;
    if (isFullScreen()) return true;
    return OMAppKitWindow::hasActiveAppearance();
}

void QFWindow::suspendAnimationsBeforeSheetAnimation() {
    if (auto* button = qobject_cast<QFWindowButton*>(accessoryWindowButton_.data()))
        button->suspendAnimation();
}

void QFWindow::resumeAnimationsAfterSheetAnimation() {
    if (auto* button = qobject_cast<QFWindowButton*>(accessoryWindowButton_.data()))
        button->resumeAnimation();
}

void QFWindow::miniaturize() {
    if (!isMiniaturizedOrAnimatingToFromDeminiaturized_) {
        wasActiveBeforeMiniaturization_ = hasActiveAppearance();
        isMiniaturizedOrAnimatingToFromDeminiaturized_ = true;
    }
    showMinimized();
}

void QFWindow::miniaturizeAll() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->isMinimized()) continue;
        if (window->windowType() != Qt::Window && window->windowType() != Qt::Dialog) continue;
        if (auto* flowWindow = qobject_cast<QFWindow*>(window))
            flowWindow->miniaturize();
        else
            window->showMinimized();
    }
}

void QFWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (isMinimized() && !isMiniaturizedOrAnimatingToFromDeminiaturized_) {
        // Miniaturised by the window system: the look of the moment stays.
        wasActiveBeforeMiniaturization_ = hasActiveAppearance();
        isMiniaturizedOrAnimatingToFromDeminiaturized_ = true;
    } else if (!isMinimized() && (change->oldState() & Qt::WindowMinimized)) {
        isMiniaturizedOrAnimatingToFromDeminiaturized_ = false;
        update();
    }
}

void QFWindow::changeDraggedTypes(std::function<void()> change) {
    if (shouldDelayDraggedTypeChanges_)
        draggedTypeBlocks_.push_back(std::move(change));
    else
        change();
}

void QFWindow::registerForDraggedTypes(const QStringList& types) {
    changeDraggedTypes([this, types] {
        for (const QString& type : types) {
            if (!registeredDraggedTypes_.contains(type)) registeredDraggedTypes_.append(type);
        }
    });
}

void QFWindow::unregisterDraggedTypes() {
    changeDraggedTypes([this] { registeredDraggedTypes_.clear(); });
}

bool QFWindow::acceptsDraggedData(const QMimeData* data) const {
    if (!data) return false;
    return std::any_of(registeredDraggedTypes_.begin(), registeredDraggedTypes_.end(),
                       [&](const QString& type) { return data->hasFormat(type); });
}

QFDraggingInfo QFWindow::draggingInfo(const QDropEvent& event) const {
    return {event.mimeData(),       event.position(),  event.possibleActions(),
            event.proposedAction(), event.modifiers(), event.source()};
}

void QFWindow::dragEnterEvent(QDragEnterEvent* event) {
    enteredOperation_ = Qt::IgnoreAction;
    // A drag that started in this application names its source widget.
    const auto* source = dynamic_cast<const QFDraggingSource*>(event->source());
    if (!acceptsDraggedData(event->mimeData()) ||
        (source && !source->sourceOperationMaskForDraggingContext(true))) {
        event->ignore();
        return;
    }
    if (QFWindowDraggingDestination* destination = windowDraggingDestination_) {
        if (const auto operation = destination->draggingEntered(draggingInfo(*event))) {
            enteredOperation_ = *operation;
            windowBackgroundView_->setDrawsDropIndicator(*operation != Qt::IgnoreAction);
        }
    }
    if (enteredOperation_ == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(enteredOperation_);
    event->accept();
}

void QFWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (enteredOperation_ == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(enteredOperation_);
    event->accept();
}

void QFWindow::dragLeaveEvent(QDragLeaveEvent* event) {
    QWidget::dragLeaveEvent(event);
    const QFDraggingInfo info;
    if (windowDraggingDestination_) windowDraggingDestination_->draggingExited(info);
    windowBackgroundView_->setDrawsDropIndicator(false);
    draggingEnded(info);
}

void QFWindow::dropEvent(QDropEvent* event) {
    const QFDraggingInfo info = draggingInfo(*event);
    QFWindowDraggingDestination* destination = windowDraggingDestination_;
    shouldDelayDraggedTypeChanges_ = true;
    const bool prepared =
        destination ? destination->prepareForDragOperation(info).value_or(true) : true;
    // The destination may swap the content controller while it performs.
    const bool performed =
        prepared && destination && destination->performDragOperation(info).value_or(false);
    if (performed) {
        event->setDropAction(enteredOperation_);
        event->accept();
    } else {
        event->ignore();
    }
    draggingEnded(info);
}

void QFWindow::draggingEnded(const QFDraggingInfo& info) {
    windowBackgroundView_->setDrawsDropIndicator(false);
    if (windowDraggingDestination_) windowDraggingDestination_->draggingEnded(info);
    enteredOperation_ = Qt::IgnoreAction;
    // Registration changes asked for during the drop take effect once it
    // has finished.
    lf::MainQueue::shared()->async([window = QPointer<QFWindow>(this)] {
        if (!window) return;
        for (auto& block : std::exchange(window->draggedTypeBlocks_, {}))
            block();
        window->shouldDelayDraggedTypeChanges_ = false;
    });
}
