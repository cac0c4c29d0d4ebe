#include "ui/recents/QFRecentsPopover.h"

#include "ui/recents/QFRecentsController.h"

QFRecentsPopover& QFRecentsPopover::sharedPopover() {
    // Never deleted: it is the application's for its whole life.
    static QFRecentsPopover* const popover = [] {
        auto* made = new QFRecentsPopover(std::make_shared<QFRecentsController>());
        made->setBehavior(QFPopoverBehaviorSemitransient);
        made->setAppearance(QFPopoverAppearanceMinimal);
        made->setPopsToRootViewControllerWhenClosed(true);
        return made;
    }();
    return *popover;
}

QFRecentsPopover::QFRecentsPopover(std::shared_ptr<QFRecentsController> controller, QWidget* parent)
    : QFNavigationPopover(controller, parent), recentsController_(std::move(controller)) {}

void QFRecentsPopover::showRelativeToRect(const QRectF& rect, QWidget* view,
                                          Qt::Edge preferredEdge) {
    if (!isShown()) recentsController_->willShowPopover();
    QFNavigationPopover::showRelativeToRect(rect, view, preferredEdge);
}

void QFRecentsPopover::editFlow(const std::shared_ptr<QFFlow>& flow) {
    recentsController_->editFlow(flow);
}
