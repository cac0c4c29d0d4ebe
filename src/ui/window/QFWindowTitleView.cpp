#include "ui/window/QFWindowTitleView.h"

#include "ui/window/QFWindowTitleWrapperView.h"

QFWindowTitleView::QFWindowTitleView(QWidget* parent, std::shared_ptr<OMAnimator> animator)
    : QWidget(parent), animator_(animator ? std::move(animator) : OMAnimator::create()) {}

QFWindowTitleView::~QFWindowTitleView() {
    for (QObject* child : children()) {
        if (auto* wrapper = qobject_cast<QFWindowTitleWrapperView*>(child))
            animator_->removeAnimationsForTarget(wrapper);
    }
}

QFWindowTitleWrapperView* QFWindowTitleView::currentWrapper() const {
    return titleWrapperView_;
}

QWidget* QFWindowTitleView::titleView() const {
    return titleWrapperView_ ? titleWrapperView_->wrappedView() : nullptr;
}

QFWindowTitleWrapperView* QFWindowTitleView::wrapperFor(QWidget* view) {
    for (QObject* child : children()) {
        auto* wrapper = qobject_cast<QFWindowTitleWrapperView*>(child);
        if (wrapper && view && wrapper->wrappedView() == view) return wrapper;
    }
    return new QFWindowTitleWrapperView(view);
}

void QFWindowTitleView::removeWrapper(QFWindowTitleWrapperView* wrapper) {
    if (!wrapper) return;
    animator_->removeAnimationsForTarget(wrapper);
    wrapper->release();
    wrapper->hide();
    wrapper->setParent(nullptr);
    wrapper->deleteLater();
}

void QFWindowTitleView::resizeSubviews() {
    if (titleWrapperView_) titleWrapperView_->setGeometry(rect());
}

void QFWindowTitleView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    resizeSubviews();
}

void QFWindowTitleView::setTitleView(QWidget* view, int animation) {
    if (titleWrapperView_ && titleWrapperView_->wrappedView() == view) return;
    QFWindowTitleWrapperView* incoming = wrapperFor(view);
    QPointer<QFWindowTitleWrapperView> outgoing = titleWrapperView_;
    titleWrapperView_ = incoming;

    const bool animated = window()->isVisible() && animation != AnimationNone &&
                          incoming->wrappedView() && outgoing && outgoing->wrappedView();
    if (!animated) {
        removeWrapper(outgoing);
        animator_->removeAnimationsForTarget(incoming);
        incoming->setAlphaValue(1.0);
        incoming->setAnimationPushedInProgress(1.0);
        incoming->setAnimationPushedOutProgress(0.0);
        incoming->setParent(this);
        incoming->show();
        resizeSubviews();
        return;
    }

    if (incoming->parentWidget() != this) {
        // A new title starts out of sight and fades in as it moves.
        incoming->setAlphaValue(0.0);
        if (animation == AnimationPop) {
            incoming->setAnimationPushedOutProgress(1.0);
            outgoing->setAnimationPushedInProgress(1.0);
        } else {
            incoming->setAnimationPushedInProgress(0.0);
        }
        incoming->setParent(this);
        incoming->show();
        resizeSubviews();
    }
    incoming->raise();

    animator_->runAnimationGroup(
        [&](OMAnimatorContext& group) {
            group.setDuration(kAnimationDuration);
            group.setTimingFunction(OMAnimationTimingFunction::defaultTimingFunction());
            group.setValue(1.0, "alphaValue", incoming);
            if (animation == AnimationPop) {
                group.setValue(0.0, "animationPushedOutProgress", incoming);
                group.setValue(0.0, "alphaValue", outgoing);
                group.setValue(0.0, "animationPushedInProgress", outgoing);
            } else {
                group.setValue(1.0, "animationPushedInProgress", incoming);
                group.setValue(0.0, "alphaValue", outgoing, kFadeOutDuration, nullptr);
                group.setValue(1.0, "animationPushedOutProgress", outgoing);
            }
        },
        [this, incoming = QPointer<QFWindowTitleWrapperView>(incoming), outgoing] {
            if (incoming) {
                incoming->setAlphaValue(1.0);
                incoming->setAnimationPushedInProgress(1.0);
            }
            // A later replacement may have taken the old wrapper back.
            if (outgoing && outgoing != titleWrapperView_) removeWrapper(outgoing);
        });
}
