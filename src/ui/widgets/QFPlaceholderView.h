#pragma once
// QFPlaceholderView: the empty-state and error view of a flow window: an
// image, a bold title, a wrapping subtitle and up to two buttons, stacked
// and centred. Parts without text are hidden and take no room; the image
// always keeps its place (zero high without an image).
//
// Layout, y downwards, each part centred horizontally: the image; 15 below
// it the title (when there is a title or subtitle); 6 below that the
// subtitle; the buttons 20 below the subtitle (16 below the title without
// one); then the whole stack centred vertically. Texts are at most 350
// points wide.
//
// reflectError fills it from an error: its description, failure reason,
// placeholder image, and a button for its first recovery option.
//
// Threads: main thread only.

#include "platform/core/Error.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class OMImage;
class QFEtchedTextField;
class QFPlaceholderButton;
class QFSimpleImageView;

class QFPlaceholderView : public QWidget {
    Q_OBJECT

public:
    static constexpr double kTextWidth = 350;
    static constexpr double kImageToText = 15;
    static constexpr double kTitleToSubtitle = 6;
    static constexpr double kSubtitleToButtons = 20;
    static constexpr double kTitleToButtons = 16;
    // Around the buttons in their container: 20 at each end, 12 between,
    // 6 in height.
    static constexpr double kButtonMargin = 20;
    static constexpr double kButtonSpacing = 12;
    static constexpr double kButtonContainerExtraHeight = 6;

    using Callback = std::function<void()>;

    explicit QFPlaceholderView(QWidget* parent = nullptr);
    ~QFPlaceholderView() override;

    QString title() const;
    void setTitle(const QString& title);
    QString subtitle() const;
    void setSubtitle(const QString& subtitle);
    const std::shared_ptr<const OMImage>& image() const;
    void setImage(std::shared_ptr<const OMImage> image);
    QString primaryButtonTitle() const;
    void setPrimaryButtonTitle(const QString& title);
    QString secondaryButtonTitle() const;
    void setSecondaryButtonTitle(const QString& title);
    void setPrimaryButtonCallback(Callback callback) {
        primaryButtonCallback_ = std::move(callback);
    }
    void setSecondaryButtonCallback(Callback callback) {
        secondaryButtonCallback_ = std::move(callback);
    }
    const Callback& primaryButtonCallback() const { return primaryButtonCallback_; }
    const Callback& secondaryButtonCallback() const { return secondaryButtonCallback_; }

    void dispatchPrimaryButton();
    void dispatchSecondaryButton();

    // Shows `error`: the primary button is cleared for the caller to set.
    void reflectError(const lf::Error& error);

    // The parts, for the window that hosts the view and for tests.
    QFSimpleImageView* imageView() const { return imageView_; }
    QFEtchedTextField* titleView() const { return titleView_; }
    QFEtchedTextField* subtitleView() const { return subtitleView_; }
    QFPlaceholderButton* primaryButton() const { return primaryButton_; }
    QFPlaceholderButton* secondaryButton() const { return secondaryButton_; }
    QWidget* buttonContainer() const { return buttonContainer_; }

    // The buttons' container at its smallest, with the buttons in it.
    QSize buttonContainerFittingSize() const;

    // The stack's size: as wide as its widest part, as high as it is.
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The visible parts, each at x 0 and at its place from the stack's top.
    struct StackedPart {
        QWidget* view;
        QRectF frame;
    };
    struct Stack {
        std::vector<StackedPart> parts;
        double height = 0;
    };
    Stack stack() const;

    void updateViews();
    void layoutButtons();
    void resizeSubviews();
    void sizeTextField(QFEtchedTextField& field);

    QFSimpleImageView* imageView_;
    QFEtchedTextField* titleView_;
    QFEtchedTextField* subtitleView_;
    QFPlaceholderButton* primaryButton_;
    QFPlaceholderButton* secondaryButton_;
    QWidget* buttonContainer_;
    Callback primaryButtonCallback_;
    Callback secondaryButtonCallback_;
};
