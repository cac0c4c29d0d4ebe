#pragma once
// QFWindowButton: a push button of the window chrome, borderless (a glyph
// etched into the title bar) or bordered (a small raised body), showing an
// image, or a picture drawn by a block, beside an optional title.
//
// It tracks the pointer (a borderless button lights up under it, and a
// handler hears of every change), and it can loop an animation: the
// drawing block receives the phase, 0 <= p < 1, of a 3.5-second loop
// driven by the kit's frame loop. Stopping lets the loop run on, faster,
// to its rest position; suspending (nestable, around sheet animations)
// freezes the phase and the drawing.
//
// Renderings go through an animation cache, one per phase in hundredths and
// per style mask; every setter that changes the content drops them.
//
// Threads: main thread only.

#include "kit/gui/OMAnimationCache.h"
#include "kit/gui/OMAppKitView.h"
#include "kit/gui/OMImage.h"
#include "kit/gui/OMTemplateEffect.h"
#include "ui/window/QFAlignmentRect.h"

#include <QAbstractButton>

#include <cstdint>
#include <functional>
#include <memory>

class QFWindowButton : public QAbstractButton, public OMAppKitView, public QFAlignmentInsets {
    Q_OBJECT

public:
    // Draws the picture for the loop phase `progress` into `rect` (the
    // image size at the origin), y growing downwards.
    using ImageBlock = std::function<void(QPainter& painter, double progress, const QRectF& rect)>;
    using MouseInsideHandler = std::function<void(bool inside)>;
    // The animation clock, in OMCurrentAbsoluteTime's ticks.
    using Clock = std::function<uint64_t()>;

    static constexpr double kAnimationPeriod = 3.5;

    explicit QFWindowButton(QWidget* parent = nullptr);
    ~QFWindowButton() override;

    const std::shared_ptr<const OMImage>& image() const { return image_; }
    // Drops the drawing block.
    void setImage(std::shared_ptr<const OMImage> image);
    // Drops the plain image.
    void setImageWithSize(QSizeF size, ImageBlock block);

    const QString& title() const { return title_.text; }
    // An empty title removes it.
    void setTitle(const QString& title);

    bool isBordered() const { return isBordered_; }
    void setBordered(bool bordered);
    const OMEdgeInsets& padding() const { return padding_; }
    void setPadding(OMEdgeInsets padding);

    // The effect that draws the image and title: the bordered content
    // effect, or the title-bar glyph effect. Subclasses draw with their own.
    virtual OMTemplateEffect contentEffectWithStyleMask(unsigned mask) const;

    // Image beside title, plus padding.
    QSizeF intrinsicContentSize() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    void sizeToFit();

    OMEdgeInsets alignmentRectInsets() const override { return alignmentRectInsets_; }

    bool isMouseInside() const { return isMouseInside_; }
    const MouseInsideHandler& mouseInsideHandler() const { return mouseInsideHandler_; }
    void setMouseInsideHandler(MouseInsideHandler handler) {
        mouseInsideHandler_ = std::move(handler);
    }

    void startAnimation();
    void stopAnimation();
    void toggleAnimation();
    void suspendAnimation();
    void resumeAnimation();
    double animationProgress() const { return animationProgress_; }
    bool isAnimationRunning() const { return animation_.token != 0; }
    bool isAnimationEnding() const { return animation_.isEnding; }
    // Tests drive the loop with a clock of their own.
    void setAnimationClock(Clock clock);

    // The style mask of the next drawing: the window's active bit, 2, and 4
    // or 8 while the pointer is inside or the button is pressed.
    unsigned drawingStyleMask() const;

    bool needsDisplayForChangedWindowAppearance() override { return true; }

    // The hover changes that the pointer's entering and leaving cause.
    void mouseEntered();
    void mouseExited();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct Animation {
        uint64_t token = 0;  // 0: not running
        double initialProgress = 0;
        bool isEnding = false;
        uint64_t endingTime = 0;
        int8_t suspendedLevel = 0;
        uint64_t suspendedTime = 0;
        double previouslySuspendedTimeInterval = 0;
    };

    void updateAlignmentRectInsets();
    void contentChanged(bool sizeChanged);
    // One frame of the loop started with `token` at `startTime`; false ends
    // the frame callback.
    bool animationFrame(uint64_t token, uint64_t startTime);
    uint64_t now() const;

    OMAttributedString title_;
    std::shared_ptr<const OMImage> image_;
    ImageBlock imageBlock_;
    bool isBordered_ = false;
    QSizeF titleSize_{0, 0};
    QSizeF imageSize_{0, 0};
    OMEdgeInsets padding_;
    OMEdgeInsets alignmentRectInsets_;
    bool isMouseInside_ = false;
    MouseInsideHandler mouseInsideHandler_;
    OMAnimationCache drawCache_;
    double animationProgress_ = 0;
    Animation animation_;
    Clock clock_;
};
