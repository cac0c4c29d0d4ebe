#pragma once
// QFWindowTitleView: the title area in the middle of the title bar. It shows
// one title view at a time, each inside a QFWindowTitleWrapperView, and
// animates a replacement as a push (the new title rises from below while
// the old one shrinks away) or a pop (the reverse), fading the new title in
// and the old one out.
//
// A replacement that comes while an animation still runs takes back the
// wrapper that still holds its view. Views that leave are handed back
// hidden and without parent (QFWindowTitleWrapperView.h).
//
// Threads: main thread only.

#include "kit/gui/OMAnimator.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QFWindowTitleWrapperView;

class QFWindowTitleView : public QWidget {
    Q_OBJECT

public:
    enum Animation { AnimationNone = 0, AnimationPush = 1, AnimationPop = 2 };
    static constexpr double kAnimationDuration = 0.35;
    static constexpr double kFadeOutDuration = 0.2;

    // `animator` drives the title animations (tests give one on a clock of
    // their own); a new one by default.
    explicit QFWindowTitleView(QWidget* parent = nullptr,
                               std::shared_ptr<OMAnimator> animator = nullptr);
    ~QFWindowTitleView() override;

    // The view of the current wrapper, or null.
    QWidget* titleView() const;
    void setTitleView(QWidget* view, int animation);

    QFWindowTitleWrapperView* currentWrapper() const;
    const std::shared_ptr<OMAnimator>& animator() const { return animator_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QFWindowTitleWrapperView* wrapperFor(QWidget* view);
    void removeWrapper(QFWindowTitleWrapperView* wrapper);
    void resizeSubviews();

    QPointer<QFWindowTitleWrapperView> titleWrapperView_;
    std::shared_ptr<OMAnimator> animator_;
};
