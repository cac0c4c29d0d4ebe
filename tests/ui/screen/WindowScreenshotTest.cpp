#include "ScreenTestSupport.h"
#include "support/TestSupport.h"
#include "ui/widgets/QFPlaceholderView.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFWindow.h"
#include "ui/window/QFWindowLabel.h"
#include "ui/window/QFWindowStyle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

constexpr QPoint kWindowOrigin(100, 80);

int brightness(const QImage& image, int x, int y) {
    const QRgb pixel = image.pixel(x, y);
    return qRed(pixel) + qGreen(pixel) + qBlue(pixel);
}

// The mean brightness of row `y` from `left` to `right`, which evens out the
// texture's grain.
double rowBrightness(const QImage& image, int y, int left, int right) {
    double sum = 0;
    for (int x = left; x < right; ++x)
        sum += brightness(image, x, y);
    return sum / (right - left);
}

class PlaceholderController : public QFViewController {
protected:
    QWidget* loadView() override {
        auto* view = new QFPlaceholderView;
        view->setImage(QFResources::shared()->imageNamed(QFImageName::DropHere));
        view->setTitle("Drop a Photoshop document here");
        view->setSubtitle("Every tagged layer becomes an image.");
        return view;
    }
};

// A real window on a real X server: the title bar is as high as the
// logotype says (its shadow starts right below it), the
// three buttons sit where the layout puts them, and the top corners are cut.
TEST(QFWindowOnScreen, TitleBarAndButtonsWhereTheyBelong) {
    LF_REQUIRE_SCREEN();
    QFWindow window;
    window.setDefaultTitleView(new QFWindowLabel);
    window.setTitleView(nullptr);
    window.pushContentViewController(std::make_shared<PlaceholderController>(), false);
    window.setGeometry(QRect(kWindowOrigin, QSize(600, 400)));
    ASSERT_TRUE(lf::test::showAndWaitForExposure(window));
    ASSERT_EQ(window.geometry().topLeft(), kWindowOrigin) << "a window manager moved it";

    const QImage shot = lf::test::takeScreenshot();
    ASSERT_FALSE(shot.isNull());
    ASSERT_EQ(shot.size(), QSize(800, 600));
    shot.save("ui-window-screenshot.png");  // for a person to look at

    const int top = kWindowOrigin.y(), left = kWindowOrigin.x();
    const int titlebarHeight = static_cast<int>(QFWindowStyle::windowTitleHeight());

    // Outside the rounded corner the root window shows; inside, the window.
    EXPECT_EQ(brightness(shot, left, top), 0);
    EXPECT_GT(brightness(shot, left + 5, top + 5), 300);

    // Around the bar's bottom edge the darkest row is the first of the
    // shadow it casts, right below it; the light etched line two rows up is
    // brighter than its neighbours.
    std::vector<double> rows;
    const int from = top + titlebarHeight - 12, to = top + titlebarHeight + 12;
    for (int y = from; y < to; ++y)
        rows.push_back(rowBrightness(shot, y, left + 90, left + 510));
    const auto darkest = std::min_element(rows.begin(), rows.end()) - rows.begin();
    EXPECT_EQ(from + darkest, top + titlebarHeight);
    const size_t etched = titlebarHeight - 2 - (titlebarHeight - 12);
    EXPECT_GT(rows[etched], rows[etched - 1]);
    EXPECT_GT(rows[etched], rows[etched + 1]);
    // The sheen brightens the bar above the content below it.
    EXPECT_GT(rowBrightness(shot, top + 4, left + 10, left + 80),
              rowBrightness(shot, top + titlebarHeight + 20, left + 10, left + 80) + 10);

    // Each etched button's ring is darker than the texture between them.
    for (auto kind : {QFStandardWindowButton::Close, QFStandardWindowButton::Miniaturize,
                      QFStandardWindowButton::Zoom}) {
        SCOPED_TRACE(kind);
        const QRect frame = window.standardWindowButton(kind)->geometry();
        const QPoint centre = kWindowOrigin + frame.center();
        const int gap = brightness(shot, left + frame.right() + 3, centre.y());
        int ring = brightness(shot, centre.x(), centre.y());
        for (int x = centre.x() - 7; x <= centre.x() + 7; ++x)
            ring = std::min(ring, brightness(shot, x, centre.y()));
        EXPECT_LT(ring, gap - 20);
        EXPECT_EQ(
            frame.topLeft(),
            window.adjustedDeltaFromTopLeftForStandardButton(*window.standardWindowButton(kind))
                .toPoint());
    }
}

}  // namespace
