// The image recipe: pixel buffers (cuts, halving, scaling), joint trimming,
// the down-sampling rectangle, and runs over built documents: one render
// per scale, resampled percentages, outputs that are refused or empty, the
// JPEG quality from the user defaults, and a render the tiled renderer
// refuses.

#include "FlowsTestSupport.h"
#include "flows/recipes/QFImageExportRecipe.h"
#include "platform/core/Log.h"
#include "platform/images/ImageEncoder.h"

#include <gtest/gtest.h>

namespace {

using namespace flows_test;
using PixelBuffer = QFImageExportRecipePixelBuffer;

// An image whose pixel (x, y) is (x, y, 7, 255), premultiplied, or
// transparent outside `opaque` (pixel coordinates).
std::shared_ptr<QFRGBAImage> gradientImage(uint64_t width, uint64_t height,
                                           VKRect opaque = VKRectInfinite) {
    auto image = QFRGBAImage::create(width, height);
    for (uint64_t y = 0; y < height; ++y)
        for (uint64_t x = 0; x < width; ++x)
            if (VKRectContainsPoint(opaque, {x + 0.5, y + 0.5})) {
                uint8_t* p = image->mutableRow(y) + x * 4;
                p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = 7, p[3] = 255;
            }
    return image;
}

const uint8_t* pixel(const PixelBuffer& buffer, uint64_t x, uint64_t y) {
    return buffer.pixelData() + y * buffer.rowBytes() + x * 4;
}

TEST(ImageRecipePixelBuffer, CutsHalvesAndScales) {
    PixelBuffer render(gradientImage(40, 30), VKRectMake(-5, 10, 20, 15), 2.0);
    auto cut = render.subBufferWithRect(VKRectMake(0, 12, 5, 3));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->widthInPixels(), 10u);
    EXPECT_EQ(cut->heightInPixels(), 6u);
    EXPECT_EQ(pixel(*cut, 0, 0)[0], 10);  // (0 - -5) * 2 columns in
    EXPECT_EQ(pixel(*cut, 0, 0)[1], 4);
    EXPECT_FALSE(render.subBufferWithRect(VKRectMake(-6, 10, 2, 2)));
    EXPECT_FALSE(render.subBufferWithRect(VKRectMake(10, 20, 6, 2)));

    // Each byte the sum of its 2 by 2 block shifted right by 2; an odd last
    // row and column are dropped.
    PixelBuffer odd(gradientImage(5, 3), VKRectMake(0, 0, 5, 3), 1.0);
    auto half = odd.downSampledPixelBuffer();
    ASSERT_TRUE(half);
    EXPECT_EQ(half->widthInPixels(), 2u);
    EXPECT_EQ(half->heightInPixels(), 1u);
    EXPECT_EQ(pixel(*half, 1, 0)[0], (2 + 3 + 2 + 3) >> 2);
    EXPECT_EQ(pixel(*half, 1, 0)[1], (0 + 0 + 1 + 1) >> 2);
    EXPECT_EQ(half->rect(), odd.rect());

    auto scaled = render.scaledPixelBuffer(30, 7);
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->widthInPixels(), 30u);
    EXPECT_EQ(scaled->heightInPixels(), 7u);
    EXPECT_EQ(pixel(*scaled, 0, 0)[3], 255);
    EXPECT_FALSE(render.scaledPixelBuffer(0, 7));
}

TEST(ImageRecipePixelBuffer, LimitingToTheCanvasClearsWhatLiesOutside) {
    PixelBuffer render(gradientImage(6, 4), VKRectMake(-1, -1, 6, 4), 1.0);
    auto limited = render.pixelBufferLimitedToRect(VKRectMake(0, 0, 4, 100));
    ASSERT_TRUE(limited);
    EXPECT_EQ(pixel(*limited, 0, 1)[3], 0);
    EXPECT_EQ(pixel(*limited, 1, 0)[3], 0);
    EXPECT_EQ(pixel(*limited, 5, 2)[3], 0);
    EXPECT_EQ(pixel(*limited, 4, 3)[0], 4);
    EXPECT_EQ(pixel(*limited, 4, 3)[3], 255);
}

TEST(ImageRecipe, DownSamplingRectanglesHaveEvenSides) {
    EXPECT_EQ(QFImageExportRecipe::downSamplingRect(VKRectMake(0, 0, 101, 55)),
              VKRectMake(0, -1, 102, 56));
    EXPECT_EQ(QFImageExportRecipe::downSamplingRect(VKRectMake(3, 4, 10, 20)),
              VKRectMake(3, 4, 10, 20));
    EXPECT_EQ(QFImageExportRecipe::renderScaleForScale(0.25), 0.5);
    EXPECT_EQ(QFImageExportRecipe::renderScaleForScale(0.6), 1.0);
    EXPECT_EQ(QFImageExportRecipe::renderScaleForScale(1.0), 1.0);
    EXPECT_EQ(QFImageExportRecipe::renderScaleForScale(1.5), 2.0);
    EXPECT_EQ(QFImageExportRecipe::renderScaleForScale(3.0), 2.0);
}

TEST(ImageRecipe, TrimsTheOutputsOfOneRectangleByTheSameDocumentAmounts) {
    // Opaque from document (3, 5) to (8, 9) of a rectangle (0, 0, 10, 10).
    PixelBuffer at1(gradientImage(10, 10, VKRectMake(3, 5, 5, 4)), VKRectMake(0, 0, 10, 10), 1.0);
    PixelBuffer at2(gradientImage(20, 20, VKRectMake(6, 10, 10, 8)), VKRectMake(0, 0, 10, 10), 2.0);
    auto trimmed = QFImageExportRecipe::trimTransparencyFromPixelBuffers({at1, at2}, false);
    ASSERT_EQ(trimmed.size(), 2u);
    EXPECT_EQ(trimmed[0].rect(), VKRectMake(3, 5, 5, 4));
    EXPECT_EQ(trimmed[1].rect(), VKRectMake(3, 5, 5, 4));
    EXPECT_EQ(trimmed[1].widthInPixels(), 10u);
    EXPECT_EQ(pixel(trimmed[1], 0, 0)[0], 6);
    // Alone, an output at 2x loses the same document amounts.
    const PixelBuffer lone = QFImageExportRecipe::trimTransparencyFromPixelBuffer(at2, false);
    EXPECT_EQ(lone.rect(), VKRectMake(3, 5, 5, 4));
    EXPECT_EQ(lone.widthInPixels(), 10u);
    EXPECT_EQ(lone.heightInPixels(), 8u);
    EXPECT_EQ(pixel(lone, 0, 0)[0], 6);
    EXPECT_EQ(pixel(lone, 0, 0)[1], 10);

    // Halved outputs lose even amounts only, and fully transparent ones
    // nothing.
    EXPECT_EQ(QFImageExportRecipe::trimTransparencyFromPixelBuffer(at1, true).rect(),
              VKRectMake(2, 4, 6, 6));
    PixelBuffer clear(QFRGBAImage::create(8, 8), VKRectMake(0, 0, 8, 8), 1.0);
    EXPECT_EQ(QFImageExportRecipe::trimTransparencyFromPixelBuffers({clear}, false)[0].rect(),
              VKRectMake(0, 0, 8, 8));
}

TEST(ImageRecipe, AnEntryDisplacesOneOfTheSamePathOnlyWhenItReplaces) {
    QFImageExportRecipe recipe({});
    recipe.addRect(VKRectMake(0, 0, 1, 1), "a.png", 1.0, false, true);
    recipe.addRect(VKRectMake(0, 0, 2, 2), "a.png", 2.0, false, false);
    EXPECT_EQ(recipe.entries()[0].scaleFactor, 1.0);
    recipe.addRect(VKRectMake(0, 0, 3, 3), "b.png", 1.0, false, false);
    recipe.addRect(VKRectMake(0, 0, 4, 4), "b.png", 1.0, true, true);
    ASSERT_EQ(recipe.entries().size(), 2u);
    EXPECT_EQ(recipe.entries()[1].rect, VKRectMake(0, 0, 4, 4));
    EXPECT_TRUE(recipe.shouldReplaceExistingItemsForPath("b.png"));
    EXPECT_FALSE(recipe.shouldReplaceExistingItemsForPath("c.png"));
}

TEST(ImageRecipe, TakesTheJPEGQualityFromTheUserDefaults) {
    PixelBuffer pixels(gradientImage(40, 24), VKRectMake(0, 0, 40, 24), 1.0);
    auto encoded = [&](double quality) {
        return *lf::encodeImage(pixels.buffer(), lf::ImageType::JPEG, {quality, {}});
    };
    const std::pair<nlohmann::json, double> cases[] = {
        {nlohmann::json::object(), 1.0},          {{{"QFCompressionQuality", 1.7}}, 1.0},
        {{{"QFCompressionQuality", -3}}, 0.0},    {{{"QFCompressionQuality", 0.5}}, 0.5},
        {{{"QFCompressionQuality", "0.5"}}, 0.5},
    };
    for (const auto& [defaults, quality] : cases) {
        ScopedUserDefaults scoped(defaults);
        QFImageExportRecipe recipe({});
        EXPECT_EQ(recipe.createFileDataForPixelBuffer(pixels, "x.jpg"), encoded(quality))
            << defaults.dump();
    }
}

// A quality put into the settings file while the application runs, between
// two of its writes of the settings, outlives the second and sets the next
// export's quality; so does one put in after the last write.
TEST(ImageRecipe, TakesTheJPEGQualityPutIntoTheFileMeanwhile) {
    PixelBuffer pixels(gradientImage(40, 24), VKRectMake(0, 0, 40, 24), 1.0);
    ScopedUserDefaults scoped(nlohmann::json{{"QFAuto2xEnabled", true}});
    const auto defaults = lf::UserDefaults::standard();
    const auto edit = [&](double quality) {
        auto edited = nlohmann::json::parse(lf::test::readFile(defaults->path()));
        edited["QFCompressionQuality"] = quality;
        lf::test::writeFile(defaults->path(), edited.dump());
    };
    const auto exported = [&] {
        return QFImageExportRecipe({}).createFileDataForPixelBuffer(pixels, "x.jpg");
    };
    const auto encoded = [&](double quality) {
        return *lf::encodeImage(pixels.buffer(), lf::ImageType::JPEG, {quality, {}});
    };
    edit(0.3);
    defaults->setObject("QFAuto1xDisabled", true);
    EXPECT_EQ(exported(), encoded(0.3));
    EXPECT_EQ(nlohmann::json::parse(lf::test::readFile(defaults->path()))["QFCompressionQuality"],
              0.3);
    edit(0.6);
    EXPECT_EQ(exported(), encoded(0.6));
}

class ImageRecipeRun : public ::testing::Test {
protected:
    // A 60 by 40 document: a red layer at (10, 10) of 21 by 15 pixels.
    void SetUp() override {
        document_ = buildDocument(60, 40, {layer("art", 10, 10, 21, 15, {200, 0, 0, 255})});
        ASSERT_TRUE(document_);
        recipe_ = std::make_shared<QFImageExportRecipe>(document_->layers());
        recipe_->setShouldTrimTransparency(true);
    }
    std::optional<TestImage> result(const std::string& path) {
        auto found = recipe_->results().find(path);
        if (found == recipe_->results().end()) return std::nullopt;
        return decodeImageData(found->second, "png");
    }

    ScopedUserDefaults defaults_;
    std::shared_ptr<OMPSDDocument> document_;
    std::shared_ptr<QFImageExportRecipe> recipe_;
    const VKRect art_ = VKRectMake(10, 10, 21, 15);
};

TEST_F(ImageRecipeRun, CutsEveryOutputOfARectangleFromOneEvenRectangle) {
    recipe_->addRect(art_, "icon@2x.png", 1.0, false, true);
    recipe_->addRect(art_, "icon.png", 1.0, true, false);
    recipe_->addRect(art_, "big.png", 2.0, false, true);
    recipe_->run();
    auto full = result("icon@2x.png"), half = result("icon.png"), big = result("big.png");
    ASSERT_TRUE(full && half && big);
    // Cut from the down-sampling rectangle, a column right and a row above;
    // its transparent row and column are not an even amount to trim.
    EXPECT_EQ(full->width, 22u);
    EXPECT_EQ(full->height, 16u);
    EXPECT_EQ(half->width, 11u);
    EXPECT_EQ(half->height, 8u);
    EXPECT_EQ(big->width, 44u);  // the same rectangle at scale 2
    EXPECT_EQ(big->height, 32u);
    EXPECT_EQ(full->pixels[(1 * 22 + 0) * 4], 200);  // row 0 is the transparent row above
    EXPECT_EQ(full->pixels[3], 0);
}

TEST_F(ImageRecipeRun, ResamplesScalesTheGraphCannotRenderToTheirExactSize) {
    recipe_->addRect(art_, "third.png", 2 * 0.3, true, true);  // "30% third.png"
    recipe_->addRect(VKRectMake(10, 10, 20, 14), "large.png", 1.5, false, true);
    recipe_->run();
    auto third = result("third.png"), large = result("large.png");
    ASSERT_TRUE(third && large);
    // Rendered at 1 from a 22 by 16 cut, scaled to 0.6 of it, halved.
    EXPECT_EQ(third->width, 13u / 2);
    EXPECT_EQ(third->height, 9u / 2);
    // Rendered at 2, scaled to 1.5.
    EXPECT_EQ(large->width, 30u);
    EXPECT_EQ(large->height, 21u);
    EXPECT_EQ(large->pixels[(10 * large->width + 10) * 4], 200);
}

TEST_F(ImageRecipeRun, LeavesOutWhatCannotOrNeedNotBeWritten) {
    lf::LogCapture log;
    recipe_->addRect(art_, "a.PNG", 1.0, false, true);
    recipe_->addRect(art_, "a.gif", 1.0, false, true);
    recipe_->addRect(art_, "notes.pdf", 1.0, false, true);
    recipe_->addRect(art_, "tiny.png", 1e-6, true, true);
    recipe_->addRect(art_, "huge.png", 1e5, false, true);
    recipe_->addRect(VKRectNull, "empty.png", 1.0, false, true);
    recipe_->run();
    EXPECT_TRUE(result("a.PNG"));
    EXPECT_EQ(recipe_->results().size(), 1u);
    EXPECT_TRUE(log.contains("\"a.gif\""));
    EXPECT_TRUE(log.contains("\"notes.pdf\""));
    EXPECT_TRUE(log.contains("\"huge.png\""));
    EXPECT_FALSE(log.contains("tiny.png"));
}

TEST_F(ImageRecipeRun, EndsWhenTheTiledRendererRefusesARender) {
    lf::LogCapture log;
    // Together the two outputs at scale 1 would make a render far over the
    // pixel budget, which the tiled renderer refuses; the scale 2 output
    // still comes.
    recipe_->addRect(art_, "near.png", 1.0, false, true);
    recipe_->addRect(VKRectMake(20000, 20000, 4, 4), "far.png", 1.0, false, true);
    recipe_->addRect(art_, "double.png", 2.0, false, true);
    recipe_->run();
    EXPECT_EQ(recipe_->results().size(), 1u);
    EXPECT_TRUE(result("double.png"));
    EXPECT_TRUE(log.contains("Render refused"));
}

TEST_F(ImageRecipeRun, RestoresEveryLayersVisibilityAfterBuilding) {
    auto document = buildDocument(
        20, 20,
        {group("g", {layer("a", 0, 0, 5, 5), layer("b", 0, 0, 5, 5)}), layer("c", 0, 0, 1, 1)});
    auto& top = document->layers();
    top[0]->sublayers()[1]->setIsVisible(false);
    QFImageExportRecipe recipe({top[0]});
    recipe.setLayersToHide({top[0]->sublayers()[0]});
    recipe.setLayersToShow({top[0]->sublayers()[1]});
    top[0]->setIsVisible(false);
    EXPECT_TRUE(recipe.createRenderNodeForLayers({top[0]}));
    EXPECT_FALSE(top[0]->isVisible());
    EXPECT_TRUE(top[0]->sublayers()[0]->isVisible());
    EXPECT_FALSE(top[0]->sublayers()[1]->isVisible());
    EXPECT_EQ(recipe.plistRepresentation()["rendering"]["hideLayerIDs"].size(), 1u);
}

}  // namespace
