#include "ui/QFPlaceholderView.h"

#include "ui/QFEtchedTextField.h"
#include "ui/QFPlaceholderButton.h"
#include "ui/QFResources.h"
#include "ui/QFSimpleImageView.h"
#include "ui/QFTextMeasure.h"
#include "ui/QFWindowStyle.h"

#include <algorithm>
#include <cmath>
#include <vector>

QFPlaceholderView::QFPlaceholderView(QWidget* parent)
    : QWidget(parent),
      imageView_(new QFSimpleImageView(this)),
      titleView_(new QFEtchedTextField(this)),
      subtitleView_(new QFEtchedTextField(this)),
      buttonContainer_(new QWidget(this)) {
    titleView_->setFont(QFWindowStyle::boldSystemFontOfSize(14));
    subtitleView_->setFont(QFWindowStyle::systemFontOfSize(14));
    subtitleView_->setWraps(true);
    primaryButton_ = new QFPlaceholderButton(buttonContainer_);
    secondaryButton_ = new QFPlaceholderButton(buttonContainer_);
    connect(primaryButton_, &QAbstractButton::clicked, this,
            &QFPlaceholderView::dispatchPrimaryButton);
    connect(secondaryButton_, &QAbstractButton::clicked, this,
            &QFPlaceholderView::dispatchSecondaryButton);
    imageView_->resize(0, 0);
    updateViews();
}

QFPlaceholderView::~QFPlaceholderView() = default;

QString QFPlaceholderView::title() const {
    return titleView_->stringValue();
}

QString QFPlaceholderView::subtitle() const {
    return subtitleView_->stringValue();
}

const std::shared_ptr<const OMImage>& QFPlaceholderView::image() const {
    return imageView_->image();
}

QString QFPlaceholderView::primaryButtonTitle() const {
    return primaryButton_->text();
}

QString QFPlaceholderView::secondaryButtonTitle() const {
    return secondaryButton_->text();
}

void QFPlaceholderView::sizeTextField(QFEtchedTextField& field) {
    const QSizeF size = field.cellSizeForBounds(QRectF(0, 0, kTextWidth, kQFUnlimitedTextLength));
    field.resize(static_cast<int>(std::ceil(size.width())),
                 static_cast<int>(std::ceil(size.height())));
}

void QFPlaceholderView::setTitle(const QString& title) {
    titleView_->setStringValue(title);
    sizeTextField(*titleView_);
    updateViews();
}

void QFPlaceholderView::setSubtitle(const QString& subtitle) {
    subtitleView_->setStringValue(subtitle);
    sizeTextField(*subtitleView_);
    updateViews();
}

void QFPlaceholderView::setImage(std::shared_ptr<const OMImage> image) {
    imageView_->setImage(std::move(image));
    const QSize size = imageView_->sizeHint();
    imageView_->resize(size.isValid() ? size : QSize(0, 0));
    updateViews();
}

void QFPlaceholderView::setPrimaryButtonTitle(const QString& title) {
    primaryButton_->setText(title);
    updateViews();
}

void QFPlaceholderView::setSecondaryButtonTitle(const QString& title) {
    secondaryButton_->setText(title);
    updateViews();
}

void QFPlaceholderView::dispatchPrimaryButton() {
    if (primaryButtonCallback_) primaryButtonCallback_();
}

void QFPlaceholderView::dispatchSecondaryButton() {
    if (secondaryButtonCallback_) secondaryButtonCallback_();
}

void QFPlaceholderView::reflectError(const lf::Error& error) {
    titleView_->setStringValue(QString::fromStdString(error.localizedDescription()));
    sizeTextField(*titleView_);
    subtitleView_->setStringValue(QString::fromStdString(error.localizedFailureReason()));
    sizeTextField(*subtitleView_);

    const std::string imageName = error.stringForKey(lf::kPlaceholderImageErrorKey);
    setImage(imageName.empty() ? nullptr : QFResources::shared()->imageNamed(imageName));

    const std::vector<std::string> options = error.localizedRecoveryOptions();
    secondaryButton_->setText(options.empty() ? QString()
                                              : QString::fromStdString(options.front()));
    secondaryButtonCallback_ = [error] {
        if (const auto attempter = error.recoveryAttempter()) attempter->attemptRecovery(error, 0);
    };
    primaryButton_->setText(QString());
    primaryButtonCallback_ = nullptr;
    updateViews();
}

QSize QFPlaceholderView::buttonContainerFittingSize() const {
    std::vector<const QFPlaceholderButton*> shown;
    for (const QFPlaceholderButton* button : {secondaryButton_, primaryButton_}) {
        if (!button->text().isEmpty()) shown.push_back(button);
    }
    double width = 0;
    for (const QFPlaceholderButton* button : shown)
        width += button->intrinsicContentSize().width();
    if (!shown.empty()) width += 2 * kButtonMargin + kButtonSpacing * double(shown.size() - 1);
    // Hidden buttons still hold the container's height.
    const double height = std::max(primaryButton_->intrinsicContentSize().height(),
                                   secondaryButton_->intrinsicContentSize().height()) +
                          kButtonContainerExtraHeight;
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
}

void QFPlaceholderView::layoutButtons() {
    const double height = buttonContainerFittingSize().height();
    double x = kButtonMargin;
    for (QFPlaceholderButton* button : {secondaryButton_, primaryButton_}) {
        if (button->text().isEmpty()) continue;
        const QSizeF size = button->intrinsicContentSize();
        // Centred in the container's height.
        const QRectF alignment(x, std::floor((height - size.height()) / 2), size.width(),
                               size.height());
        button->setGeometry(QFFrameForAlignmentRect(*button, alignment).toRect());
        x += size.width() + kButtonSpacing;
    }
}

void QFPlaceholderView::updateViews() {
    titleView_->setVisible(!titleView_->stringValue().isEmpty());
    subtitleView_->setVisible(!subtitleView_->stringValue().isEmpty());
    primaryButton_->setVisible(!primaryButton_->text().isEmpty());
    secondaryButton_->setVisible(!secondaryButton_->text().isEmpty());
    buttonContainer_->setVisible(!primaryButton_->isHidden() || !secondaryButton_->isHidden());
    layoutButtons();
    resizeSubviews();
}

void QFPlaceholderView::resizeSubviews() {
    const double centre = std::ceil(width() / 2.0);
    auto centred = [&](const QSize& size) { return std::ceil(centre - size.width() / 2.0); };
    const bool hasTitle = !titleView_->isHidden();
    const bool hasSubtitle = !subtitleView_->isHidden();
    const bool hasButtons = !buttonContainer_->isHidden();

    struct Placed {
        QWidget* view;
        QRectF frame;
    };
    std::vector<Placed> stack;
    double y = 0;
    stack.push_back({imageView_, QRectF(centred(imageView_->size()), y, imageView_->width(),
                                        imageView_->height())});
    y = imageView_->height();
    if (hasTitle || hasSubtitle) y += kImageToText;
    if (hasTitle) {
        stack.push_back({titleView_, QRectF(centred(titleView_->size()), y, titleView_->width(),
                                            titleView_->height())});
        y += titleView_->height();
        if (hasSubtitle) y += kTitleToSubtitle;
    }
    if (hasSubtitle) {
        stack.push_back({subtitleView_, QRectF(centred(subtitleView_->size()), y,
                                               subtitleView_->width(), subtitleView_->height())});
        y += subtitleView_->height();
    }
    if (hasButtons) {
        const QSize size = buttonContainerFittingSize();
        const double top = y + (hasSubtitle ? kSubtitleToButtons : kTitleToButtons);
        stack.push_back(
            {buttonContainer_, QRectF(centred(size), top, size.width(), size.height())});
        y = top + size.height();
    }
    const double shift = std::floor((height() - y) / 2);
    for (const Placed& placed : stack)
        placed.view->setGeometry(placed.frame.translated(0, shift).toRect());
}

void QFPlaceholderView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    resizeSubviews();
}
