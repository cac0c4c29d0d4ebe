// The canvas fits every record into its bounds less a margin of 20 points
// and draws the newest: the scale and centring, the mapping of the mouse
// back into path coordinates, and what a finished and an unfinished record
// put on screen (painted offscreen, probed pixel by pixel).

#include "GeometryTestSupport.h"
#include "debugger/QFBooleanCanvas.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cmath>

using namespace geometry_test;

namespace {

std::shared_ptr<QFVisualBooleanPath> recordWithBounds(VKRect bounds) {
    return std::make_shared<QFVisualBooleanPath>(VKBooleanOperationAdd, nullptr, nullptr, bounds);
}

QImage paint(QFBooleanCanvas& canvas) {
    QImage image(canvas.size(), QImage::Format_RGB32);
    canvas.render(&image);
    return image;
}

// Antialiased edges may blend a little; the colours told apart here differ
// by far more.
void expectColor(const QImage& image, int x, int y, QColor expected) {
    const QColor actual = image.pixelColor(x, y);
    const int tolerance = 8;
    EXPECT_TRUE(std::abs(actual.red() - expected.red()) <= tolerance &&
                std::abs(actual.green() - expected.green()) <= tolerance &&
                std::abs(actual.blue() - expected.blue()) <= tolerance)
        << "at (" << x << ", " << y << "): " << actual.name().toStdString() << " instead of "
        << expected.name().toStdString();
}

const QColor kLightGrey = QColor::fromRgbF(0.8, 0.8, 0.8);

}  // namespace

TEST(QFBooleanCanvas, FitsAndCentresTheBoundsInsideTheMargin) {
    QFBooleanCanvas canvas;
    canvas.resize(440, 240);
    auto record = recordWithBounds(VKRectMake(0, 0, 100, 50));
    canvas.addVisualBooleanPath(record);
    EXPECT_EQ(record->canvas(), &canvas);
    EXPECT_EQ(record->pixelScale(), 0.25);
    EXPECT_EQ(record->centeringOffset(), (VKPoint{0, 0}));

    // Wider bounds: the width decides and the height is centred.
    auto wide = recordWithBounds(VKRectMake(0, 0, 400, 100));
    canvas.addVisualBooleanPath(wide);
    EXPECT_EQ(canvas.maxPathBounds(), VKRectMake(0, 0, 400, 100));
    for (const auto& r : {record, wide}) {
        EXPECT_EQ(r->pixelScale(), 1.0) << "every record fits the bounds of all";
        EXPECT_EQ(r->centeringOffset(), (VKPoint{0, 50}));
    }
    EXPECT_EQ(wide->convertPointToPathCoordinates({20, 70}), (VKPoint{0, 0}));
    EXPECT_EQ(wide->convertPointToPathCoordinates({420, 170}), (VKPoint{400, 100}));
    EXPECT_EQ(wide->frameForLocation({10, 10}), VKRectMake(7, 7, 6, 6));

    // A resized canvas refits its records.
    canvas.show();
    canvas.resize(840, 240);
    EXPECT_EQ(wide->pixelScale(), 0.5);
    EXPECT_EQ(wide->centeringOffset(), (VKPoint{0, 0}));
}

TEST(QFBooleanCanvas, BoundsOffTheOriginMapTheSameWayForDrawingAndTheMouse) {
    QFBooleanCanvas canvas;
    canvas.resize(240, 240);
    auto record = recordWithBounds(VKRectMake(-50, -50, 100, 100));
    canvas.addVisualBooleanPath(record);
    EXPECT_EQ(record->pixelScale(), 0.5);
    EXPECT_EQ(record->convertPointToPathCoordinates({20, 20}), (VKPoint{-50, -50}));

    record->addIntersectionPoint({-40, -40}, 0, {});
    EXPECT_TRUE(record->hasAnnotationInCanvasLocation({40, 40}));
    EXPECT_FALSE(record->hasAnnotationInCanvasLocation({60, 60}));
    const QImage image = paint(canvas);
    expectColor(image, 40, 40, Qt::black);  // the intersection's square
}

TEST(QFBooleanCanvas, EmptyBoundsOrATinyCanvasKeepAFiniteScaleAndDrawNothing) {
    QFBooleanCanvas canvas;
    canvas.resize(440, 240);
    auto empty = recordWithBounds(VKRectNull);
    canvas.addVisualBooleanPath(empty);
    EXPECT_TRUE(std::isfinite(empty->pixelScale()));
    EXPECT_GT(empty->pixelScale(), 0);
    empty->addExtraneousPoint({0, 0});
    EXPECT_TRUE(std::isfinite(empty->frameForLocation({0, 0}).size.width));
    QImage image = paint(canvas);
    expectColor(image, 20, 20, Qt::white);

    QFBooleanCanvas tiny;
    tiny.resize(30, 30);
    auto record = recordWithBounds(VKRectMake(0, 0, 100, 50));
    tiny.addVisualBooleanPath(record);
    EXPECT_TRUE(std::isfinite(record->pixelScale()));
    EXPECT_GT(record->pixelScale(), 0);
    image = paint(tiny);  // draws without a fault
    EXPECT_EQ(image.size(), QSize(30, 30));
}

TEST(QFBooleanCanvas, AFinishedRecordDrawsOnlyItsResultAndWhatWasTyped) {
    // Path (x, y) lies at canvas (20 + 2x, 20 + 2y).
    QFBooleanCanvas canvas;
    canvas.resize(240, 140);
    auto record = std::make_shared<QFVisualBooleanPath>(
        VKBooleanOperationSubtract, booleanPath(rectangle(0, 0, 100, 50)),
        booleanPath(rectangle(60, 10, 20, 20)), VKRectMake(0, 0, 100, 50));
    canvas.addVisualBooleanPath(record);
    ASSERT_EQ(record->pixelScale(), 0.5);
    record->addIntersectionPoint({100, 5}, 0, {});
    record->willTraceFromIntersectionPoint({100, 5}, 0);
    record->addExtraneousPoint({20, 25});

    QImage image = paint(canvas);
    expectColor(image, 220, 70, kLightGrey);  // operand A's right edge
    expectColor(image, 220, 30, Qt::blue);    // traced along B: a blue mark
    expectColor(image, 217, 27, Qt::black);   // around it the intersection's square
    expectColor(image, 60, 70, Qt::black);    // the typed point
    expectColor(image, 100, 70, Qt::white);

    record->setResult(booleanPath(rectangle(0, 0, 40, 50)));
    image = paint(canvas);
    expectColor(image, 220, 70, Qt::white);
    expectColor(image, 220, 30, Qt::white);
    expectColor(image, 100, 70, kLightGrey);  // the result's right edge
    expectColor(image, 60, 70, Qt::black);
}

TEST(QFBooleanCanvas, AnnotationsShowUnderTheMouse) {
    QFBooleanCanvas canvas;
    canvas.resize(240, 140);
    auto record = recordWithBounds(VKRectMake(0, 0, 100, 50));
    canvas.addVisualBooleanPath(record);
    record->addExtraneousPoint({20, 25});

    QImage image(canvas.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    record->drawAnnotationsInContext(painter, {200, 120});
    record->drawAnnotationsInContext(painter, {60, 70});
    painter.end();
    // A black label from the square's corner, white elsewhere.
    expectColor(image, 58, 68, Qt::black);
    expectColor(image, 56, 66, Qt::white);
    expectColor(image, 200, 120, Qt::white);
}
