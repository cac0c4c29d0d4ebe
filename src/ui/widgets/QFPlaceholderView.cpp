#include "ui/widgets/QFPlaceholderView.h"

#include "ui/widgets/QFEtchedTextField.h"
#include "ui/widgets/QFPlaceholderButton.h"
#include "ui/widgets/QFSimpleImageView.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFTextMeasure.h"
#include "ui/window/QFWindowStyle.h"

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
    // An error's title may name a file: a long one goes on to a second
    // line instead of being cut at the text's width.
    titleView_->setWraps(true);
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

QFPlaceholderView::Stack QFPlaceholderView::stack() const {
    const bool hasTitle = !titleView_->isHidden();
    const bool hasSubtitle = !subtitleView_->isHidden();
    const bool hasButtons = !buttonContainer_->isHidden();
    Stack stack;
    auto add = [&](QWidget* view, QSize size, double y) {
        stack.parts.push_back({view, QRectF(QPointF(0, y), size)});
    };
    double y = 0;
    add(imageView_, imageView_->size(), y);
    y = imageView_->height();
    if (hasTitle || hasSubtitle) y += kImageToText;
    if (hasTitle) {
        add(titleView_, titleView_->size(), y);
        y += titleView_->height();
        if (hasSubtitle) y += kTitleToSubtitle;
    }
    if (hasSubtitle) {
        add(subtitleView_, subtitleView_->size(), y);
        y += subtitleView_->height();
    }
    if (hasButtons) {
        const QSize size = buttonContainerFittingSize();
        const double top = y + (hasSubtitle ? kSubtitleToButtons : kTitleToButtons);
        add(buttonContainer_, size, top);
        y = top + size.height();
    }
    stack.height = y;
    return stack;
}

void QFPlaceholderView::resizeSubviews() {
    const Stack stack = this->stack();
    const double centre = std::ceil(width() / 2.0);
    const double shift = std::floor((height() - stack.height) / 2);
    for (const StackedPart& part : stack.parts) {
        const double x = std::ceil(centre - part.frame.width() / 2.0);
        part.view->setGeometry(part.frame.translated(x, shift).toRect());
    }
}

QSize QFPlaceholderView::minimumSizeHint() const {
    const Stack stack = this->stack();
    double width = 0;
    for (const StackedPart& part : stack.parts)
        width = std::max(width, part.frame.width());
    return QSize(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(stack.height)));
}

void QFPlaceholderView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    resizeSubviews();
}
