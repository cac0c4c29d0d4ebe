#include "ui/window/QFWindowButton.h"

#include "kit/OMAbsoluteTime.h"
#include "kit/gui/OMDeviceSpace.h"
#include "kit/gui/OMDrawing.h"
#include "kit/gui/OMFrameLoop.h"
#include "kit/gui/OMImageContext.h"
#include "ui/window/QFStyleMask.h"
#include "ui/window/QFTextMeasure.h"
#include "ui/window/QFWindowSheet.h"
#include "ui/window/QFWindowStyle.h"

#include <QPaintEvent>
#include <QPointer>

#include <cmath>

namespace {

// Every started loop gets the next number, so a frame callback of an
// earlier loop knows it is stale.
uint64_t nextAnimationToken() {
    static uint64_t counter = 1;
    return counter++;
}

constexpr double kImageTitleGap = 3;
constexpr int kTitleFlags = Qt::AlignLeft | Qt::AlignTop;

bool isZero(QSizeF size) {
    return size.width() == 0 && size.height() == 0;
}

// What a rendering shows, as it was when the cache took its drawing block.
struct ButtonContent {
    OMAttributedString title;
    std::shared_ptr<const OMImage> image;
    QFWindowButton::ImageBlock imageBlock;
    QSizeF titleSize, imageSize;
    OMEdgeInsets padding;
    bool isBordered = false;
    std::function<OMTemplateEffect(unsigned mask)> contentEffect;
};

// The picture of the block at `progress`, drawn at the painter's scale.
std::shared_ptr<const OMImage> imageFromBlock(const ButtonContent& content, double progress,
                                              double scale) {
    const QSizeF size = content.imageSize;
    QPainter* painter =
        OMBeginImageContextWithOptions(false, true, size.width(), size.height(), scale);
    if (!painter) return nullptr;
    painter->save();
    content.imageBlock(*painter, progress, QRectF(QPointF(), size));
    painter->restore();
    std::shared_ptr<const OMImage> image = OMImageFromImageContext();
    OMEndImageContext();
    return image;
}

void drawButtonContent(QPainter& painter, const ButtonContent& content, QRectF rect,
                       double progress, unsigned mask) {
    const double boundsHeight = rect.height();
    const OMTemplateEffect effect = content.contentEffect(mask);
    if (content.isBordered && rect.width() > 8 && rect.height() > 8) {
        rect.adjust(2, 2, -2, -2);
        QFWindowStyle::drawBorderedButtonWithMask(
            painter, mask, OMBezierPathWithRoundedRect(rect, 5),
            OMBezierPathWithRoundedRect(rect.adjusted(1, 1, -1, -1), 4));
    }
    const OMEdgeInsets& padding = content.padding;
    rect.adjust(padding.left, padding.top, -padding.right, -padding.bottom);

    // Side by side, centred; vertically the image rounds down and the title
    // up from the centre line, measured from the bottom edge.
    const QSizeF imageSize = content.imageSize, titleSize = content.titleSize;
    const double titleStart =
        imageSize.width() + (!isZero(imageSize) && !isZero(titleSize) ? kImageTitleGap : 0);
    const double x = rect.x() + std::floor((rect.width() - (titleStart + titleSize.width())) / 2);
    const double centreFromBottom = (boundsHeight - rect.bottom()) + rect.height() / 2;
    const double imageBottom = std::floor(centreFromBottom - imageSize.height() / 2);
    const double titleBottom = std::ceil(centreFromBottom - titleSize.height() / 2);
    const QRectF imageRect(x, boundsHeight - imageBottom - imageSize.height(), imageSize.width(),
                           imageSize.height());
    const QRectF titleRect(x + titleStart, boundsHeight - titleBottom - titleSize.height(),
                           titleSize.width(), titleSize.height());

    std::shared_ptr<const OMImage> image = content.image;
    if (content.imageBlock && !imageSize.isEmpty())
        image = imageFromBlock(content, progress, OMDeviceScale(painter));
    if (image) effect.drawImage(painter, *image, imageRect);
    if (!content.title.text.isEmpty())
        effect.drawAttributedString(painter, content.title, titleRect);
}

}  // namespace

QFWindowButton::QFWindowButton(QWidget* parent)
    : QAbstractButton(parent), clock_(OMCurrentAbsoluteTime) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    title_.font = QFWindowStyle::buttonTitleAttributes();
    title_.flags = kTitleFlags;
    updateAlignmentRectInsets();
}

QFWindowButton::~QFWindowButton() = default;

void QFWindowButton::setAnimationClock(Clock clock) {
    clock_ = clock ? std::move(clock) : Clock(OMCurrentAbsoluteTime);
}

uint64_t QFWindowButton::now() const {
    return clock_();
}

void QFWindowButton::contentChanged(bool sizeChanged) {
    drawCache_.invalidate();
    if (sizeChanged) updateGeometry();
    update();
}

void QFWindowButton::setImage(std::shared_ptr<const OMImage> image) {
    image_ = std::move(image);
    imageSize_ = image_ ? image_->size() : QSizeF(0, 0);
    imageBlock_ = nullptr;
    contentChanged(true);
}

void QFWindowButton::setImageWithSize(QSizeF size, ImageBlock block) {
    imageSize_ = size;
    imageBlock_ = std::move(block);
    image_.reset();
    contentChanged(true);
}

void QFWindowButton::setTitle(const QString& title) {
    if (title == title_.text) return;
    title_.text = title;
    titleSize_ = QFTextBoundingSize(title, title_.font, kTitleFlags);
    contentChanged(true);
}

void QFWindowButton::setBordered(bool bordered) {
    isBordered_ = bordered;
    updateAlignmentRectInsets();
    contentChanged(false);
}

void QFWindowButton::setPadding(OMEdgeInsets padding) {
    padding_ = padding;
    updateAlignmentRectInsets();
    contentChanged(false);
}

void QFWindowButton::updateAlignmentRectInsets() {
    if (isBordered_) {
        alignmentRectInsets_ = {2, 2, 2, 2};
        return;
    }
    // The glyph's shadows at their largest never count towards alignment.
    const QRectF room = QFWindowStyle::windowButtonGlyphEffectWithMask(
                            QFStyleMaskActive | QFStyleMaskMouseInside | QFStyleMaskHighlighted)
                            .applyEffectToAlignmentRect(QRectF());
    alignmentRectInsets_ = {2 + room.bottom(), 2 - room.left(), 2 - room.top(), 2 + room.right()};
}

OMTemplateEffect QFWindowButton::contentEffectWithStyleMask(unsigned mask) const {
    return isBordered_ ? QFWindowStyle::buttonContentEffectWithMask(mask)
                       : QFWindowStyle::windowButtonGlyphEffectWithMask(mask);
}

QSizeF QFWindowButton::intrinsicContentSize() const {
    const bool hasTitle = !title_.text.isEmpty();
    double width = imageSize_.width(), height = imageSize_.height();
    if (hasTitle) {
        width += std::ceil(titleSize_.width());
        if (image_ || imageBlock_) width += kImageTitleGap;
        height = std::max(height, std::ceil(titleSize_.height()));
    }
    return {width + padding_.left + padding_.right, height + padding_.top + padding_.bottom};
}

QSize QFWindowButton::sizeHint() const {
    const QSizeF size = intrinsicContentSize();
    return {static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height()))};
}

void QFWindowButton::sizeToFit() {
    resize(sizeHint());
}

unsigned QFWindowButton::drawingStyleMask() const {
    return QFStyleMaskForWindow(this) | QFStyleMaskButton |
           (isMouseInside_ ? QFStyleMaskMouseInside : 0u) |
           (isDown() ? QFStyleMaskHighlighted : 0u);
}

void QFWindowButton::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (drawCache_.needsDrawImplementation()) {
        ButtonContent content{title_,     image_,   imageBlock_, titleSize_,
                              imageSize_, padding_, isBordered_, {}};
        // The cache, and its drawing block, go with the button.
        content.contentEffect = [this](unsigned mask) { return contentEffectWithStyleMask(mask); };
        drawCache_.implementDraw([content = std::move(content)](QPainter& canvas,
                                                                const QRectF& bounds,
                                                                double progress, unsigned mask) {
            drawButtonContent(canvas, content, bounds, progress, mask);
        });
    }
    drawCache_.drawRect(painter, event->rect(), this, animationProgress_, drawingStyleMask());
}

void QFWindowButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    mouseEntered();
}

void QFWindowButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    mouseExited();
}

void QFWindowButton::mouseEntered() {
    if (isMouseInside_ || QFWindowHasAttachedSheet(window())) return;
    isMouseInside_ = true;
    // A bordered body does not react to hover.
    if (!isBordered_) update();
    if (mouseInsideHandler_) mouseInsideHandler_(true);
}

void QFWindowButton::mouseExited() {
    if (!isMouseInside_) return;
    isMouseInside_ = false;
    if (!isBordered_) update();
    if (mouseInsideHandler_) mouseInsideHandler_(false);
}

void QFWindowButton::startAnimation() {
    if (animation_.isEnding) {
        // Carries on from where the ending loop stands.
        animation_.isEnding = false;
        animation_.initialProgress = animationProgress_;
        animation_.token = 0;
    }
    if (animation_.token != 0) return;
    const uint64_t token = nextAnimationToken();
    const uint64_t start = now();
    animation_.token = token;
    animation_.suspendedTime = start;
    animation_.previouslySuspendedTimeInterval = 0;
    OMAddAnimationBlock([button = QPointer<QFWindowButton>(this), token, start] {
        return button && button->animationFrame(token, start);
    });
}

void QFWindowButton::stopAnimation() {
    if (animation_.token == 0) return;
    animation_.isEnding = true;
    animation_.endingTime = now();
}

void QFWindowButton::toggleAnimation() {
    if (animation_.token != 0 && !animation_.isEnding)
        stopAnimation();
    else
        startAnimation();
}

void QFWindowButton::suspendAnimation() {
    if (animation_.suspendedLevel++ == 0) animation_.suspendedTime = now();
}

void QFWindowButton::resumeAnimation() {
    if (animation_.suspendedLevel <= 0) return;
    if (animation_.suspendedLevel == 1)
        animation_.previouslySuspendedTimeInterval +=
            OMSecondsBetweenAbsoluteTimes(animation_.suspendedTime, now());
    --animation_.suspendedLevel;
}

bool QFWindowButton::animationFrame(uint64_t token, uint64_t startTime) {
    if (animation_.token != token) return false;
    const uint64_t time = now();
    double elapsed = OMSecondsBetweenAbsoluteTimes(startTime, time);
    if (animation_.suspendedLevel > 0)
        elapsed -= OMSecondsBetweenAbsoluteTimes(animation_.suspendedTime, time);
    elapsed = std::max(0.0, elapsed - animation_.previouslySuspendedTimeInterval);
    const double t = std::fmod(elapsed, kAnimationPeriod);
    if (!animation_.isEnding) {
        animationProgress_ = std::fmod(t / kAnimationPeriod + animation_.initialProgress, 1.0);
    } else {
        // The rest of the loop runs faster, towards the rest position.
        const double hurried = std::min(
            t + kAnimationPeriod * OMSecondsBetweenAbsoluteTimes(animation_.endingTime, time),
            kAnimationPeriod);
        const double progress =
            std::fmod(hurried / kAnimationPeriod + animation_.initialProgress, 1.0);
        if (progress < animationProgress_) {
            animation_ = Animation{.suspendedLevel = animation_.suspendedLevel,
                                   .suspendedTime = animation_.suspendedTime};
            animationProgress_ = 0;
        } else {
            animationProgress_ = progress;
        }
    }
    if (animation_.suspendedLevel == 0) OMDisplayViewInAnimationFrame(this);
    return true;
}
