#include "flows/icns/QFICNSContainer.h"
#include "platform/images/ImageEncoder.h"
#include "support/TestSupport.h"
#include "ui/iconview/QFExportDisplayItem.h"
#include "ui/iconview/QFOutputImage.h"
#include "ui/iconview/QFTemporaryItemFolder.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr QSize kTile(96, 96);

// `width` by `height` opaque pixels of one colour, straight RGBA.
std::vector<uint8_t> solidPixels(int width, int height, QColor color) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < width * height; ++i)
        pixels.insert(pixels.end(),
                      {uint8_t(color.red()), uint8_t(color.green()), uint8_t(color.blue()), 255});
    return pixels;
}

lf::Data encoded(lf::ImageType type) {
    const std::vector<uint8_t> pixels = solidPixels(4, 3, Qt::red);
    const lf::RGBABuffer buffer{pixels.data(), 3, 4, 16, lf::RGBAAlpha::Last};
    return *lf::encodeImage(buffer, type);
}

QColor centreOf(const OMImage& image) {
    QImage bitmap(image.size().toSize(), QImage::Format_ARGB32);
    bitmap.fill(Qt::transparent);
    QPainter painter(&bitmap);
    image.draw(painter, QRectF(QPointF(0, 0), image.size()));
    painter.end();
    return bitmap.pixelColor(bitmap.width() / 2, bitmap.height() / 2);
}

}  // namespace

// Every format the export writes gives its picture back; other bytes none.
TEST(QFImageWithData, ReadsEveryOutputFormat) {
    for (lf::ImageType type : {lf::ImageType::PNG, lf::ImageType::JPEG, lf::ImageType::TIFF}) {
        const auto image = QFImageWithData(encoded(type), kTile);
        ASSERT_TRUE(image) << int(type);
        EXPECT_EQ(image->size(), QSizeF(4, 3));
        const QColor centre = centreOf(*image);
        EXPECT_GT(centre.red(), 240);
        EXPECT_LT(centre.green(), 15);
    }

    QFICNSContainer icon;
    for (int side : {16, 32}) {
        auto element = std::make_shared<QFICNSElement>();
        element->setSize(VKSize{double(side), double(side)});
        element->setPixelData(lf::Data(solidPixels(side, side, side == 32 ? Qt::blue : Qt::red)));
        icon.addElement(element);
    }
    const auto image = QFImageWithData(icon.ICNSRepresentation(), kTile);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSizeF(32, 32));
    EXPECT_EQ(centreOf(*image), QColor(Qt::blue));

    EXPECT_FALSE(QFImageWithData(lf::Data::fromString("II*\0 not really a TIFF"), kTile));
    EXPECT_FALSE(QFImageWithData(lf::Data(), kTile));
}

// A new output drops the picture and the temporary file of the last one.
TEST(QFExportDisplayItem, NewOutputStartsAfresh) {
    QFExportDisplayItem item("a/icon.png");
    EXPECT_EQ(item.label(), "a/icon.png");
    EXPECT_FALSE(item.image(kTile));
    auto output = std::make_shared<QFFlowOutputItem>(std::vector<std::string>{"a", "icon.png"});
    output->setData(encoded(lf::ImageType::PNG));
    item.setOutputItem(output);
    const auto first = item.image(kTile);
    ASSERT_TRUE(first);
    EXPECT_EQ(item.image(kTile), first);  // made once
    item.setTemporaryFile("/tmp/somewhere/a/icon.png");
    item.setOutputItem(output);
    EXPECT_FALSE(item.temporaryFile());
    EXPECT_NE(item.image(kTile), first);
}

// The folder lies in the process's folder and goes with its owner.
TEST(QFTemporaryItemFolder, RemovedWithItsOwner) {
    std::filesystem::path path;
    {
        QFTemporaryItemFolder folder;
        path = folder.path();
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(path.parent_path(), QFTemporaryItemFolder::processFolder());
        std::filesystem::create_directories(path / "a");
        lf::test::writeFile(path / "a" / "icon.png", "bytes");
        folder.remove();
        EXPECT_FALSE(std::filesystem::exists(path));
        path = folder.path();
        std::filesystem::create_directories(path);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(std::filesystem::is_directory(QFTemporaryItemFolder::processFolder()));
}
