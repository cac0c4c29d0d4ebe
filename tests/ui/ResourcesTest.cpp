#include "UiTestSupport.h"
#include "ui/window/QFResources.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<QFResources> sourceResources() {
    return std::make_shared<QFResources>(
        std::make_shared<const lf::Bundle>(LF_SOURCE_RESOURCES_DIR));
}

// Every picture the interface names is there at 1x and 2x, the 2x one twice
// as dense; template pictures are shapes (black, only their alpha counts);
// the window texture is a 512-point tile of 32-bit RGBA.
TEST(QFResources, EveryNamedImageIsThereAtBothDensities) {
    const auto resources = sourceResources();
    for (const char* name : QFImageName::kAll) {
        SCOPED_TRACE(name);
        const QImage one = resources->bitmapFileNamed(name);
        const QImage two = resources->bitmapFileNamed(std::string(name) + "@2x");
        ASSERT_FALSE(one.isNull());
        ASSERT_FALSE(two.isNull());
        EXPECT_EQ(two.size(), one.size() * 2);
        const auto image = resources->imageNamed(name);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), QSizeF(one.size()));
        EXPECT_EQ(image->representations().size(), 2u);
        if (!QFImageName::isTemplateImageName(name)) continue;
        const QImage straight = two.convertToFormat(QImage::Format_ARGB32);
        bool anyOpaque = false;
        for (int y = 0; y < straight.height(); ++y) {
            for (int x = 0; x < straight.width(); ++x) {
                const QRgb pixel = straight.pixel(x, y);
                ASSERT_EQ(pixel & 0xffffff, 0u) << x << "," << y;
                anyOpaque |= qAlpha(pixel) == 255;
            }
        }
        EXPECT_TRUE(anyOpaque);
    }
    const QImage texture = resources->bitmapFileNamed(QFImageName::WindowBackground);
    EXPECT_EQ(texture.size(), QSize(512, 512));
    EXPECT_EQ(texture.depth(), 32);
    EXPECT_TRUE(texture.hasAlphaChannel());
    const auto logotype = resources->imageNamed(QFImageName::WindowLogotype);
    EXPECT_EQ(logotype->size().height(), 40);
}

TEST(QFResources, ReadsTheInfoDictionaryAndTheStringTable) {
    const auto resources = sourceResources();
    EXPECT_EQ(resources->productName(), "layerflow");
    for (const char* key : {"CFBundleName", "CFBundleDisplayName", "CFBundleVersion",
                            "CFBundleShortVersionString", "AppFeedbackEmailAddress"})
        EXPECT_TRUE(resources->infoString(key)) << key;
    EXPECT_EQ(resources->localizedString("\"%@\""), "“%@”");
    EXPECT_EQ(resources->localizedString("no.such.key"), "no.such.key");
}

// An empty folder is no failure: no images, no property list, keys shown
// as they are; a damaged Info.json counts as empty.
TEST(QFResources, AMissingOrDamagedResourceIsNone) {
    lf::test::ScopedResources folder;
    folder.file("Info.json", "[1, 2");
    folder.install();
    const auto resources = QFResources::shared();
    EXPECT_EQ(resources->imageNamed(QFImageName::DropHere), nullptr);
    EXPECT_TRUE(resources->bitmapFileNamed(QFImageName::WindowBackground).isNull());
    EXPECT_TRUE(resources->infoDictionary().empty());
    EXPECT_EQ(resources->productName(), "layerflow");
    EXPECT_EQ(resources->localizedString("export-flow.title"), "export-flow.title");
}

}  // namespace
