#include "UiTestSupport.h"
#include "ui/widgets/QFEtchedTextField.h"
#include "ui/widgets/QFPlaceholderButton.h"
#include "ui/widgets/QFPlaceholderView.h"
#include "ui/widgets/QFSimpleImageView.h"
#include "ui/window/QFAlignmentRect.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Placeholder {
    QFPlaceholderView view;
    Placeholder() { view.resize(500, 400); }
    QRect frame(QWidget* part) const { return part->geometry(); }
    int centredX(QWidget* part) const {
        return static_cast<int>(std::ceil(250 - part->width() / 2.0));
    }
};

// A title without image still starts 15 below the image's empty place, and
// the stack of 15 plus the title is centred.
TEST(QFPlaceholderView, TitleWithoutImage) {
    Placeholder p;
    p.view.setTitle("Drop a Photoshop document here");
    auto* title = p.view.titleView();
    ASSERT_FALSE(title->isHidden());
    EXPECT_TRUE(p.view.subtitleView()->isHidden());
    EXPECT_TRUE(p.view.buttonContainer()->isHidden());
    const int stack = 15 + title->height();
    const int shift = (400 - stack) / 2;
    EXPECT_EQ(p.frame(title),
              QRect(p.centredX(title), 15 + shift, title->width(), title->height()));
    EXPECT_EQ(p.view.imageView()->geometry(), QRect(250, shift, 0, 0));
}

// A title longer than the text's width (an error naming its file) wraps
// at 350 points, as the subtitle does, instead of being cut.
TEST(QFPlaceholderView, LongTitlesWrap) {
    Placeholder p;
    p.view.setTitle("Short");
    const int line = p.view.titleView()->height();
    p.view.setTitle("“a-document-with-a-rather-long-name.psd” Is Not a Photoshop Document");
    auto* title = p.view.titleView();
    EXPECT_LE(title->width(), 350);
    EXPECT_GE(title->height(), 2 * line - 2);
}

// Subtitle 6 below the title, buttons 20 below the subtitle (16 below the
// title without one), all centred; long subtitles wrap at 350 points.
TEST(QFPlaceholderView, StacksTitleSubtitleAndButtons) {
    Placeholder p;
    auto image = std::make_shared<OMImage>(QSizeF(128, 96));
    p.view.setImage(image);
    p.view.setTitle("No tagged layers");
    p.view.setSubtitle(
        "Name layers with the files to make, such as icon.png or app.icns, and drop the "
        "document again; each tagged layer becomes one file.");
    p.view.setSecondaryButtonTitle("Open Examples");
    p.view.setPrimaryButtonTitle("Done");

    auto* title = p.view.titleView();
    auto* subtitle = p.view.subtitleView();
    auto* buttons = p.view.buttonContainer();
    EXPECT_LE(subtitle->width(), 350);
    EXPECT_GT(subtitle->height(), title->height());  // wrapped

    const QSize container = p.view.buttonContainerFittingSize();
    const int stack = 96 + 15 + title->height() + 6 + subtitle->height() + 20 + container.height();
    const int shift = (400 - stack) / 2;
    EXPECT_EQ(p.view.imageView()->geometry(), QRect(186, shift, 128, 96));
    EXPECT_EQ(title->y(), shift + 96 + 15);
    EXPECT_EQ(subtitle->y(), title->geometry().bottom() + 1 + 6);
    EXPECT_EQ(buttons->geometry(),
              QRect(p.centredX(buttons), subtitle->geometry().bottom() + 1 + 20, container.width(),
                    container.height()));

    // |-[secondary]-12-[primary]-| with 20 at the ends; 26 high in 32.
    auto* secondary = p.view.secondaryButton();
    auto* primary = p.view.primaryButton();
    const double ws = secondary->intrinsicContentSize().width();
    const double wp = primary->intrinsicContentSize().width();
    EXPECT_EQ(container, QSize(static_cast<int>(20 + ws + 12 + wp + 20), 32));
    EXPECT_EQ(secondary->geometry(), QRect(19, 2, static_cast<int>(ws) + 2, 30));
    EXPECT_EQ(primary->geometry().x(), static_cast<int>(20 + ws + 12) - 1);

    p.view.setSubtitle("");
    EXPECT_EQ(buttons->y(), title->geometry().bottom() + 1 + 16);
}

// The button's width grows with its title beyond 22 points; its title sits
// in the body above the bottom edge's 3 points.
TEST(QFPlaceholderButton, SizesItselfToItsTitle) {
    QFPlaceholderButton button;
    EXPECT_EQ(button.intrinsicContentSize(), QSizeF(24, 26));  // max(22, 0 + 24)
    button.setText("Open Examples");
    const QFontMetricsF metrics(button.font());
    EXPECT_EQ(button.intrinsicContentSize().width(),
              std::ceil(metrics.horizontalAdvance("Open Examples")) + 24);
    EXPECT_EQ(button.sizeHint().height(), 30);
    const QRectF title = button.titleRectForFrame(QRectF(0, 0, 100, 30), 16);
    EXPECT_EQ(title, QRectF(13, 4, 74, 16));
}

// With the focus a ring in the focus colour surrounds the body; the body
// itself stays as it is without the focus.
TEST(QFPlaceholderButton, TheFocusRingSurroundsTheBodyWithoutFillingIt) {
    lf::test::ScopedResources resources;
    for (const char* name : {"PlaceholderButtonNormal", "PlaceholderButtonMask"}) {
        const QImage image(QString(LF_SOURCE_RESOURCES_DIR "/%1.png").arg(name));
        ASSERT_FALSE(image.isNull()) << name;
        resources.image(name, image);
    }
    resources.install();
    QWidget window;
    window.resize(200, 60);
    auto* button = new QFPlaceholderButton(&window);
    button->setText("Open Examples");
    button->setGeometry(QRect(QPoint(20, 10), button->sizeHint()));
    window.show();
    auto drawn = [&] {
        QImage image(button->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        button->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    };
    const QImage unfocused = drawn();
    QApplication::setActiveWindow(&window);
    button->setFocus();
    ASSERT_TRUE(button->hasFocus());
    const QImage focused = drawn();

    const QRect body = QFAlignmentRectForFrame(*button, QRectF(button->rect())).toRect();
    auto blueness = [](QRgb pixel) { return qBlue(pixel) - qRed(pixel); };
    // Well inside the body: the same with the focus and without.
    for (QPoint at : {body.center(), QPoint(body.left() + 6, body.center().y()),
                      QPoint(body.right() - 6, body.center().y())})
        EXPECT_EQ(focused.pixel(at), unfocused.pixel(at)) << at.x() << ", " << at.y();
    // Along its edge, on each side: the ring, bluer than the body.
    for (QPoint at :
         {QPoint(body.left() + 1, body.center().y()), QPoint(body.right() - 1, body.center().y()),
          QPoint(body.center().x(), body.top()), QPoint(body.center().x(), body.bottom() - 1)}) {
        EXPECT_GT(blueness(focused.pixel(at)), blueness(unfocused.pixel(at)) + 40)
            << at.x() << ", " << at.y();
    }
}

class RecordingAttempter : public lf::ErrorRecoveryAttempter {
public:
    bool attemptRecovery(const lf::Error& error, int optionIndex) override {
        attempts.emplace_back(error.code, optionIndex);
        return true;
    }
    std::vector<std::pair<int64_t, int>> attempts;
};

// An error shows its description, reason and placeholder image, and a
// button for its first recovery option that runs its attempter with option
// 0; the primary button is cleared for the caller.
TEST(QFPlaceholderView, ReflectsAnError) {
    lf::test::ScopedResources resources;
    QImage picture(64, 48, QImage::Format_ARGB32);
    picture.fill(Qt::gray);
    resources.image("DocumentErrorPlaceholder", picture).install();

    Placeholder p;
    p.view.setPrimaryButtonTitle("Close");
    p.view.setPrimaryButtonCallback([] {});
    auto attempter = std::make_shared<RecordingAttempter>();
    lf::Error error(
        "QFExportFlowErrorDomain", -30,
        {{lf::kLocalizedDescriptionKey, std::string("No tagged layers")},
         {lf::kLocalizedFailureReasonErrorKey, std::string("Name a layer icon.png.")},
         {lf::kPlaceholderImageErrorKey, std::string("DocumentErrorPlaceholder")},
         {lf::kLocalizedRecoveryOptionsErrorKey,
          std::vector<std::string>{"Open Examples", "Later"}},
         {lf::kRecoveryAttempterErrorKey, std::shared_ptr<lf::ErrorRecoveryAttempter>(attempter)}});
    p.view.reflectError(error);
    EXPECT_EQ(p.view.title(), "No tagged layers");
    EXPECT_EQ(p.view.subtitle(), "Name a layer icon.png.");
    ASSERT_TRUE(p.view.image());
    EXPECT_EQ(p.view.imageView()->size(), QSize(64, 48));
    EXPECT_EQ(p.view.secondaryButtonTitle(), "Open Examples");
    EXPECT_TRUE(p.view.primaryButtonTitle().isEmpty());
    EXPECT_FALSE(p.view.primaryButtonCallback());
    EXPECT_TRUE(p.view.primaryButton()->isHidden());
    p.view.secondaryButton()->click();
    EXPECT_EQ(attempter->attempts, (std::vector<std::pair<int64_t, int>>{{-30, 0}}));

    p.view.reflectError(lf::Error("QFExportFlowErrorDomain", -10));
    EXPECT_TRUE(p.view.secondaryButton()->isHidden());
    EXPECT_TRUE(p.view.buttonContainer()->isHidden());
    EXPECT_FALSE(p.view.image());
    p.view.dispatchSecondaryButton();  // no attempter: nothing happens
    EXPECT_EQ(attempter->attempts.size(), 1u);
}

}  // namespace
