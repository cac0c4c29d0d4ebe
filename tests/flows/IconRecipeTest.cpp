// The icon recipe: art fitted to an icon size by each sizing behaviour, the
// colour profile icons are stored in, and a run over a built document.

#include "FlowsTestSupport.h"
#include "flows/recipes/QFIconExportRecipe.h"

#include <gtest/gtest.h>

namespace {

using namespace flows_test;

// Opaque art of one colour, premultiplied.
struct Art {
    uint64_t width, height;
    std::vector<uint8_t> pixels;
    Art(uint64_t w, uint64_t h, std::array<uint8_t, 4> colour = {40, 120, 200, 255})
        : width(w), height(h) {
        for (uint64_t i = 0; i < w * h; ++i)
            pixels.insert(pixels.end(), colour.begin(), colour.end());
    }
    lf::RGBABuffer buffer() const { return {pixels.data(), height, width, width * 4}; }
};

std::array<uint8_t, 4> pixelAt(const lf::Data& data, uint64_t width, uint64_t x, uint64_t y) {
    const uint8_t* p = data.bytes() + (y * width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

class IconRecipe : public ::testing::Test {
protected:
    // A recipe of a document with the main display's profile, or none.
    std::shared_ptr<QFIconExportRecipe> recipe(VKSize size, int64_t behavior, bool withProfile) {
        lf::Data profile =
            withProfile ? lf::ColorProfile::mainDisplayProfile()->iccData() : lf::Data();
        document_ = buildDocument(2000, 2000, {layer("a.icns", 0, 0, 10, 10)}, profile);
        auto made = std::make_shared<QFIconExportRecipe>(
            document_->layers(), VKRectMake(0, 0, 10, 10), std::vector{size}, "a.icns");
        made->setSizingBehaviors({behavior});
        return made;
    }
    ScopedUserDefaults defaults_;
    std::shared_ptr<OMPSDDocument> document_;
};

TEST_F(IconRecipe, FitsArtByTheSizingBehaviours) {
    Art square(512, 512);
    lf::Data copied = recipe({512, 512}, QFIconExportRecipe::automatic, true)
                          ->fitPixelData(square.buffer(), {512, 512});
    EXPECT_EQ(copied, lf::Data(square.pixels));

    // The art covers columns left..right and rows top..bottom, nothing else.
    auto expectArtWithin = [](const lf::Data& icon, int left, int top, int right, int bottom) {
        ASSERT_EQ(icon.size(), 128u * 128 * 4);
        EXPECT_EQ(pixelAt(icon, 128, left - 1, top)[3], 0);
        EXPECT_EQ(pixelAt(icon, 128, left, top - 1)[3], 0);
        EXPECT_EQ(pixelAt(icon, 128, left, top)[3], 255);
        EXPECT_EQ(pixelAt(icon, 128, right, bottom)[3], 255);
        EXPECT_EQ(pixelAt(icon, 128, right + 1, bottom)[3], 0);
        EXPECT_EQ(pixelAt(icon, 128, right, bottom + 1)[3], 0);
    };
    // Centred: 14 pixels from the left, 34 rows from the top.
    expectArtWithin(recipe({128, 128}, QFIconExportRecipe::centre, true)
                        ->fitPixelData(Art(100, 60).buffer(), {128, 128}),
                    14, 34, 113, 93);
    // An odd difference puts the odd pixel right of the art and above it:
    // 27 columns leave 13 on the left, 67 rows leave 34 on the top.
    expectArtWithin(recipe({128, 128}, QFIconExportRecipe::centre, true)
                        ->fitPixelData(Art(101, 61).buffer(), {128, 128}),
                    13, 34, 113, 94);

    // Scaled: made square first, so the proportions stay.
    lf::Data scaled = recipe({1024, 1024}, QFIconExportRecipe::scale, true)
                          ->fitPixelData(Art(1200, 600).buffer(), {1024, 1024});
    ASSERT_EQ(scaled.size(), 1024u * 1024 * 4);
    EXPECT_EQ(pixelAt(scaled, 1024, 512, 200)[3], 0);
    EXPECT_EQ(pixelAt(scaled, 1024, 512, 512), (std::array<uint8_t, 4>{40, 120, 200, 255}));
    EXPECT_EQ(pixelAt(scaled, 1024, 512, 800)[3], 0);

    // Automatic: smaller art centred, larger art scaled down.
    EXPECT_EQ(recipe({32, 32}, QFIconExportRecipe::automatic, true)
                  ->fitPixelData(Art(50, 29).buffer(), {32, 32})
                  .size(),
              32u * 32 * 4);
    // Larger art does not fit centred.
    EXPECT_TRUE(recipe({16, 16}, QFIconExportRecipe::centre, true)
                    ->fitPixelData(Art(30, 30).buffer(), {16, 16})
                    .empty());
}

TEST_F(IconRecipe, StoresSmallIconsAndIconsWithoutAProfileInGenericRGB) {
    Art art(256, 256, {200, 100, 50, 255});
    auto generic = lf::ColorProfile::genericRGBProfile();
    auto converted =
        lf::convertRGBA(art.buffer(), *lf::ColorProfile::mainDisplayProfile(), *generic);
    ASSERT_TRUE(converted);

    // Without a profile: converted from device RGB (the main display's).
    auto withoutProfile = recipe({256, 256}, QFIconExportRecipe::automatic, false);
    EXPECT_EQ(withoutProfile->fitPixelData(art.buffer(), {256, 256}), lf::Data(*converted));
    // With one: the document's colours for large icons, Generic RGB up to 128.
    auto withProfile = recipe({256, 256}, QFIconExportRecipe::automatic, true);
    EXPECT_EQ(withProfile->fitPixelData(art.buffer(), {256, 256}), lf::Data(art.pixels));
    Art small(128, 128, {200, 100, 50, 255});
    auto smallConverted =
        lf::convertRGBA(small.buffer(), *lf::ColorProfile::mainDisplayProfile(), *generic);
    EXPECT_EQ(recipe({128, 128}, QFIconExportRecipe::automatic, true)
                  ->fitPixelData(small.buffer(), {128, 128}),
              lf::Data(*smallConverted));

    withoutProfile->run();
    const auto& elements = withoutProfile->results().at("a.icns");
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_EQ(elements[0]->ICCProfileData(), generic->iccData());
    withProfile->run();
    EXPECT_EQ(withProfile->results().at("a.icns")[0]->ICCProfileData(),
              lf::ColorProfile::mainDisplayProfile()->iccData());
}

TEST_F(IconRecipe, RendersOnceAndFitsEverySize) {
    auto made = recipe({16, 16}, QFIconExportRecipe::automatic, false);
    made->setIconSizes({{16, 16}, {32, 32}});
    made->setSizingBehavior(QFIconExportRecipe::scale, {32, 32});
    made->setSizingBehavior(QFIconExportRecipe::scale, {48, 48});  // not a size of the list
    EXPECT_EQ(made->sizingBehaviors(), (std::vector<int64_t>{0, 2}));
    made->setSizingBehaviors({1});  // not one per size: none at all
    EXPECT_EQ(made->sizingBehaviors(), (std::vector<int64_t>{0, 0}));
    made->run();
    const auto& elements = made->results().at("a.icns");
    ASSERT_EQ(elements.size(), 2u);
    EXPECT_TRUE(elements[0]->hasPayloads());
    EXPECT_TRUE(elements[1]->hasPayloads());
    // The red 10 by 10 art centred on 16: opaque in the middle.
    EXPECT_EQ(pixelAt(elements[0]->pixelData(), 16, 8, 8)[3], 255);
    EXPECT_EQ(pixelAt(elements[0]->pixelData(), 16, 0, 0)[3], 0);

    // Art without pixels makes elements without pixel data.
    auto empty = std::make_shared<QFIconExportRecipe>(document_->layers(), VKRectNull,
                                                      std::vector<VKSize>{{16, 16}}, "e.icns");
    empty->run();
    EXPECT_FALSE(empty->results().at("e.icns")[0]->hasPayloads());
}

}  // namespace
