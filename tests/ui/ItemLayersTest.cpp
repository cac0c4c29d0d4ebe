#include "ui/layers/QFIconLayer.h"
#include "ui/layers/QFLabelLayer.h"
#include "ui/layers/QFPreviewLayer.h"
#include "ui/layers/QFTextBackgroundPath.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

std::shared_ptr<const OMImage> solidImage(QSize size, const QColor& color) {
    QImage bitmap(size, QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(color);
    return std::make_shared<const OMImage>(OMImage::fromBitmap(bitmap));
}

QImage drawn(const OMImage& image) {
    QImage bitmap(image.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(Qt::transparent);
    QPainter painter(&bitmap);
    image.draw(painter, QRectF(QPointF(0, 0), image.size()));
    return bitmap;
}

}  // namespace

// A long name takes two centred lines, the second cut short with "…"; a
// point beside a short line is no hit; no text, no hit area.
TEST(QFLabelLayer, LinesTruncationAndHits) {
    QFLabelLayer label;
    label.setFrame(QRectF(10, 0, 140, std::ceil(2 * label.lineHeight())));
    label.setString("a rather long output name that goes on and on and does not fit.png");
    label.displayIfNeeded();
    ASSERT_EQ(label.lines().size(), 2u);
    EXPECT_TRUE(label.lines().back().text.endsWith(QChar(0x2026)));
    for (const auto& line : label.lines()) {
        EXPECT_NEAR(line.rect.center().x(), 70, 0.5);
        EXPECT_LE(line.rect.width(), 140 - 2 * label.selectionCornerRadius() + 0.5);
    }

    label.setString("wide name iiii");
    label.setFrame(QRectF(10, 0, 60, std::ceil(2 * label.lineHeight())));
    label.displayIfNeeded();
    ASSERT_EQ(label.lines().size(), 2u);
    const QRectF shortLine = label.lines().back().rect;
    ASSERT_LT(shortLine.right() + 2, 60);
    // Hit tests take the superlayer's coordinates: the layer sits at x 10.
    EXPECT_TRUE(label.contentContainsPoint(shortLine.center() + QPointF(10, 0)));
    EXPECT_FALSE(
        label.contentContainsPoint(QPointF(shortLine.right() + 12, shortLine.center().y())));

    label.setString("");
    label.displayIfNeeded();
    EXPECT_TRUE(label.lines().empty());
    EXPECT_FALSE(label.contentIntersectsRect(QRectF(0, 0, 200, 200)));
    EXPECT_TRUE(label.bezierPathForTextBackground().isEmpty());

    label.setFontSize(0);
    EXPECT_EQ(label.normalizedFont().pixelSize(), 36);
}

// Neighbouring lines a little different in width share one; a large step
// stays, with a concave corner under the wider line's end.
TEST(QFLabelLayer, SelectionOutline) {
    const std::vector<QRectF> close =
        QFMergedTextLineRects({QRectF(10, 16, 100, 16), QRectF(11.5, 0, 97, 16)});
    EXPECT_EQ(close[0], QRectF(10, 16, 100, 16));
    EXPECT_EQ(close[1], QRectF(10, 0, 100, 16));

    const std::vector<QRectF> stepped{QRectF(0, 16, 100, 16), QRectF(30, 0, 40, 16)};
    EXPECT_EQ(QFMergedTextLineRects(stepped), stepped);
    const QPainterPath path = QFTextBackgroundPath(stepped);
    EXPECT_TRUE(path.contains(QPointF(105, 24)));   // the wide line's round end
    EXPECT_TRUE(path.contains(QPointF(75, 8)));     // the short line's round end
    EXPECT_FALSE(path.contains(QPointF(95, 8)));    // beside the short line
    EXPECT_FALSE(path.contains(QPointF(109, 24)));  // beyond the wide line's end
    EXPECT_TRUE(path.contains(QPointF(72, 15.5)));  // the concave corner's fill
}

// A 96-point icon makes a 160-point tile with its picture at x 32 and its
// name at x 10, 140 wide; squash widens and lowers the picture on its
// bottom line, moved down, and moves the name; -1 does the opposite.
TEST(QFIconLayer, TileGeometryAndSquash) {
    QFIconLayer tile;
    EXPECT_EQ(tile.bounds().size(), QSizeF(160, 160));
    const QRectF content = tile.contentLayer()->frame();
    const QRectF label = tile.labelLayer()->frame();
    EXPECT_EQ(content.x(), 32);
    EXPECT_EQ(content.size(), QSizeF(96, 96));
    EXPECT_EQ(label.x(), 10);
    EXPECT_EQ(label.width(), 140);
    EXPECT_EQ(label.top(), content.bottom() + 14);

    for (double squash : {1.0, -1.0}) {
        tile.setSquashAmount(squash);
        tile.displayIfNeeded();
        const QRectF squashed = tile.contentLayer()->frame();
        EXPECT_NEAR(squashed.width(), 96 * (1 + 0.1 * squash), 1e-4);
        EXPECT_NEAR(squashed.height(), 96 * (1 - 0.1 * squash), 1e-4);
        EXPECT_NEAR(squashed.bottom(), content.bottom() + 5 * squash, 1e-4);
        EXPECT_NEAR(squashed.center().x(), content.center().x(), 1e-9);
        EXPECT_NEAR(tile.labelLayer()->frame().center().y(), label.center().y() + 3 * squash, 1e-4);
    }
}

// Two icons stack as 86-point squares, three as 76-point ones, each a step
// nearer the bottom left, the last in front.
TEST(QFIconLayer, StackedIcons) {
    EXPECT_EQ(QFIconLayer::stackedIconRects(2, QSizeF(96, 96)),
              (std::vector<QRectF>{QRectF(10, 10, 86, 86), QRectF(0, 0, 86, 86)}));
    EXPECT_EQ(QFIconLayer::stackedIconRects(3, QSizeF(96, 96)),
              (std::vector<QRectF>{QRectF(20, 20, 76, 76), QRectF(10, 10, 76, 76),
                                   QRectF(0, 0, 76, 76)}));

    QFIconLayer tile;
    tile.setIcons({solidImage(QSize(8, 8), Qt::red), solidImage(QSize(8, 8), Qt::blue)});
    const QImage picture = drawn(*tile.contentLayer()->contents());
    EXPECT_EQ(picture.pixelColor(94, 1), QColor(Qt::red));   // top right: the first
    EXPECT_EQ(picture.pixelColor(1, 94), QColor(Qt::blue));  // bottom left: the last
    EXPECT_EQ(picture.pixelColor(50, 50), QColor(Qt::blue));
    EXPECT_EQ(picture.pixelColor(94, 94).alpha(), 0);
}

// Hits are the picture and the name's lines, not the rest of the tile; a
// drag shows the picture and the name where they are.
TEST(QFIconLayer, HitsAndDragImages) {
    auto host = std::make_shared<QFLayer>();
    auto tile = std::make_shared<QFIconLayer>();
    host->addSublayer(tile);
    tile->setPosition(QPointF(200, 100));  // the tile spans 120...280, 20...180
    tile->setLabel("icon.png");
    tile->commit();
    const QRectF content = host->convertRect(tile->contentLayer()->frame(), tile.get());
    EXPECT_TRUE(tile->contentContainsPoint(content.center()));
    EXPECT_FALSE(tile->contentContainsPoint(QPointF(125, 25)));
    EXPECT_FALSE(tile->contentContainsPoint(QPointF(300, 100)));
    EXPECT_TRUE(tile->contentIntersectsRect(QRectF(content.right() - 2, 0, 50, 50)));

    tile->setSelected(true);
    const auto components = tile->draggingImageComponents();
    ASSERT_EQ(components.size(), 2u);
    EXPECT_EQ(components[0].kind, QFIconLayer::DraggingImageComponent::Kind::Icon);
    EXPECT_EQ(components[0].frame, content.adjusted(-10, -10, 10, 10));
    EXPECT_EQ(
        components[1].frame,
        host->convertRect(tile->labelLayer()->frame(), tile.get()).adjusted(-10, -10, 10, 10));
    ASSERT_TRUE(components[1].image);
    EXPECT_EQ(components[1].image->size(), components[1].frame.size());
    EXPECT_TRUE(tile->isSelected());
}

// Images are shrunk to fit 10 points inside the layer, never enlarged; the
// card is 10 larger, the selection plate 6 more, shown while selected.
TEST(QFPreviewLayer, FitsTheImage) {
    QFPreviewLayer preview;
    preview.setFrame(QRectF(0, 0, 96, 96));
    preview.setImage(solidImage(QSize(40, 30), Qt::green));
    EXPECT_EQ(preview.imageRect(), QRectF(28, 33, 40, 30));
    preview.setImage(solidImage(QSize(1000, 10), Qt::green));
    EXPECT_EQ(preview.imageRect(), QRectF(10, 47, 76, 1));
    EXPECT_EQ(preview.backgroundLayer()->frame(), QRectF(0, 37, 96, 21));
    EXPECT_EQ(preview.selectionLayer()->frame(), QRectF(-6, 31, 108, 33));
    EXPECT_TRUE(preview.selectionLayer()->isHidden());
    preview.setSelected(true);
    EXPECT_FALSE(preview.selectionLayer()->isHidden());
}
